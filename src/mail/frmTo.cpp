#include "mail/frmTo.h"

#include <QGuiApplication>
#include <QResizeEvent>
#include <QScreen>

#include "controls/MSFlexGrid.h"
#include "controls/Twips.h"
#include "kit/StoreAccess.h"
#include "store/Contacts.h"

namespace {
const QString kCaption = QStringLiteral("To");

constexpr int kNumberCol = 0;
constexpr int kFirstNameCol = 1;
constexpr int kEmailCol = 2;

// The grid sits at (50, 50) and is 200 narrower and lower than the window.
constexpr int kGridLeft = 50;
constexpr int kGridTop = 50;
constexpr int kGridInset = 200;
}  // namespace

frmTo::frmTo()
{
    setObjectName(QStringLiteral("frmTo"));
    setWindowTitle(kCaption);
    resize(twips(11160), twips(1890));

    gridTo = new MSFlexGrid(this);
    gridTo->setObjectName(QStringLiteral("gridTo"));
    gridTo->setCols(3);
    gridTo->setFixedCols(0);
    gridTo->setRows(1);
    gridTo->setFixedRows(1);
    gridTo->setSortable(true);
    gridTo->setAccessibleName(kCaption);

    connect(gridTo, &MSFlexGrid::Click, this, &frmTo::gridTo_Click);
}

void frmTo::Form_Load()
{
    if (connectStore(Con))
        LoadContact();
    gridTo->setTextMatrix(0, kNumberCol, QStringLiteral("No."));
    gridTo->setTextMatrix(0, kFirstNameCol, QStringLiteral("First Name"));
    gridTo->setTextMatrix(0, kEmailCol, QStringLiteral("Email"));
    gridTo->setColWidth(kNumberCol, 710);
    gridTo->setColWidth(kFirstNameCol, 3710);
    gridTo->setColWidth(kEmailCol, 6010);
    gridTo->setColAlignment(kNumberCol, 0);
    gridTo->setRow(qMin(1, gridTo->Rows() - 1));
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void frmTo::Form_Unload()
{
    // The rows not read yet go with the file.
    gridTo->setRows(1);
    Con.Close();
}

void frmTo::LoadContact()
{
    gridTo->setRows(1);
    // Numbered in table order; the rows are read as they come into view.
    storeGuard([&] {
        gridTo->addNumberedQuery(Contacts::pages(Con, {QStringLiteral("FirstName"), QStringLiteral("Email")}));
    });
}

void frmTo::resizeEvent(QResizeEvent* event)
{
    Form::resizeEvent(event);
    const int width = event->size().width() - twips(kGridInset);
    const int height = event->size().height() - twips(kGridInset);
    // Too small a window leaves the grid as it was.
    if (width > 0 && height > 0)
        gridTo->setGeometry(twips(kGridLeft), twips(kGridTop), width, height);
}

void frmTo::gridTo_Click()
{
    // Only a contact's row carries an address; the heading names the columns.
    if (gridTo->Row() < gridTo->FixedRows())
        return;
    gridTo->setCol(kEmailCol);
    const QString address = gridTo->Text();
    emit picked(address);
    Screens::unload<frmTo>();
}
