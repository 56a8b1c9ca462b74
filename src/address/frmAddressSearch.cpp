#include "address/frmAddressSearch.h"

#include <QApplication>
#include <QEvent>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

#include "address/ContactBoxes.h"
#include "controls/Accessible.h"
#include "controls/Anchors.h"
#include "controls/Controls.h"
#include "controls/ListView.h"
#include "controls/Twips.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"
#include "store/Contacts.h"

namespace {
const QString kCaption = QStringLiteral("Search");
const QString kNotFoundTitle = QStringLiteral("Not Found");
// What a screen reader calls the picture that runs a search.
const QString kSearchName = QStringLiteral("Search %1");

struct FieldInfo {
    const char* buttonName;
    const char* caption;
    QRect button;
    const char* boxName;
    QRect box;
    const char* pictureName;
    QRect picture;
    const char* found;     // Label1 while the field is chosen
    const char* column;    // the field of tblAddress compared
    const char* notFound;  // each begins with a blank
    bool greyedStaysEnabled;
    bool enterSearches;
};

const FieldInfo kFields[] = {
    {"cmdFirstName",
     "First Name",
     {120, 240, 1455, 375},
     "txtsearchFirstName",
     {1800, 240, 1695, 405},
     "imgFirstName",
     {3480, 240, 480, 480},
     "Number: First Name Found",
     "FirstName",
     " First Name Not Found",
     false,
     true},
    {"cmdLastName",
     "Last Name",
     {120, 840, 1455, 375},
     "txtsearchLastName",
     {1800, 840, 1695, 405},
     "imgLastName",
     {3480, 840, 480, 480},
     "Number: Last Name Found",
     "LastName",
     " Last Name Not Found",
     false,
     true},
    {"cmdPhone",
     "Phone",
     {4200, 240, 1455, 375},
     "txtsearchPhone",
     {5760, 240, 1695, 375},
     "imgPhone",
     {7440, 240, 480, 480},
     "Number: Phone Number Found",
     "HomePhone",
     " Home Phone Not Found",
     true,
     true},
    {"cmdEmail",
     "Email",
     {4200, 840, 1455, 375},
     "txtsearchEmail",
     {5760, 840, 1695, 375},
     "imgEmail",
     {7440, 720, 480, 480},
     "Number: Email Found",
     "Email",
     " Email Not Found",
     true,
     true},
    {"cmdICQ",
     "Icq",
     {8160, 240, 1095, 375},
     "txtsearchIcq",
     {9360, 240, 1695, 375},
     "imgIcq",
     {11040, 240, 480, 480},
     "Number: ICQ Found",
     "ICQ",
     " Icq Number Not Found",
     true,
     true},
    {"cmdMobile",
     "Mobile",
     {8160, 840, 1095, 375},
     "txtsearchMobile",
     {9360, 840, 1695, 375},
     "imgMobile",
     {11040, 840, 480, 480},
     "Number: Mobile number Found",
     "Mobile",
     " Mobile Number Not Found",
     true,
     false},
};
constexpr int kFieldCount = int(std::size(kFields));

// The list view's own default column width.
constexpr int kDefaultColumnTwips = 1440;

QRect inTwips(const QRect& r)
{
    return twipsRect(r.x(), r.y(), r.width(), r.height());
}

void setBackground(QLineEdit* box, QPalette::ColorRole systemColour)
{
    QPalette palette = box->palette();
    const QColor colour = QApplication::palette().color(systemColour);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, colour);
    box->setPalette(palette);
}
}  // namespace

frmAddressSearch::frmAddressSearch()
{
    setObjectName(QStringLiteral("frmAddressSearch"));
    setWindowTitle(kCaption);
    resize(twips(11865), twips(5835));

    Frame2 = makeControl<QGroupBox>(this, "Frame2", twipsRect(0, 0, 11775, 1455), QStringLiteral("Option"));

    QPushButton** const buttons[] = {&cmdFirstName, &cmdLastName, &cmdPhone, &cmdEmail, &cmdICQ, &cmdMobile};
    QLineEdit** const boxes[] = {&txtsearchFirstName, &txtsearchLastName, &txtsearchPhone,
                                 &txtsearchEmail,     &txtsearchIcq,      &txtsearchMobile};
    QLabel** const pictures[] = {&imgFirstName, &imgLastName, &imgPhone, &imgEmail, &imgIcq, &imgMobile};
    const QPixmap searchPicture = QIcon(QStringLiteral(":/icons/search.svg")).pixmap(32, 32);
    QFont nameFont(QStringLiteral("MS Sans Serif"));
    nameFont.setPointSizeF(9.75);

    for (int i = 0; i < kFieldCount; ++i) {
        const FieldInfo& info = kFields[i];
        const auto field = Field(i);

        QPushButton* button =
            makeCommandButton(Frame2, info.buttonName, QLatin1String(info.caption), inTwips(info.button));
        connect(button, &QPushButton::clicked, this, [this, field] { cmdField_Click(field); });
        *buttons[i] = button;

        QLineEdit* box = makeTextBox(Frame2, info.boxName, inTwips(info.box));
        box->setAccessibleName(button->text());
        if (field == FirstName || field == LastName)
            box->setFont(nameFont);
        if (info.enterSearches)
            connect(box, &QLineEdit::returnPressed, this, [this, field] { imgField_Click(field); });
        *boxes[i] = box;

        QLabel* picture = makeLabel(Frame2, info.pictureName, QString(), inTwips(info.picture));
        picture->setAlignment(Qt::AlignCenter);
        picture->setPixmap(searchPicture);
        picture->setCursor(Qt::PointingHandCursor);
        picture->installEventFilter(this);
        Accessible::actAsButton(picture, kSearchName.arg(button->text()));
        *pictures[i] = picture;
    }

    Frame1 = makeControl<QGroupBox>(this, "Frame1", twipsRect(0, 1560, 11895, 4215), QStringLiteral("Result"));
    Label1 = makeLabel(Frame1, "Label1", QString(), twipsRect(240, 240, 2295, 255));
    // Wider than its 495 twips: a count of 100000 must show whole.
    lblPhoneTotal = makeLabel(Frame1, "lblPhoneTotal", QString(), twipsRect(2520, 240, 1215, 255));
    lstv = makeControl<ListView>(Frame1, "lstv", twipsRect(120, 600, 11775, 3495));
    lstv->setAccessibleName(Frame1->title());

    // Nothing can be searched until a field is chosen.
    for (int i = 0; i < kFieldCount; ++i) {
        box(Field(i))->setEnabled(false);
        setBackground(box(Field(i)), QPalette::Window);
        picture(Field(i))->hide();
    }

    QWidget* const order[] = {txtsearchMobile,   txtsearchIcq,       cmdMobile, cmdICQ,      txtsearchEmail,
                              txtsearchPhone,    cmdEmail,           cmdPhone,  cmdLastName, cmdFirstName,
                              txtsearchLastName, txtsearchFirstName, lstv};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    // Grown, the result takes the room.
    auto* anchors = new Anchors(this);
    for (QWidget* result : std::initializer_list<QWidget*>{Frame1, lstv})
        anchors->pin(result, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);
}

void frmAddressSearch::Form_Load()
{
    for (const ContactField& field : kContactFieldTable)
        lstv->addColumn(QLatin1String(field.heading), kDefaultColumnTwips);
    connectStore(Con);
}

void frmAddressSearch::Form_Unload()
{
    // The rows not read yet go with the file.
    lstv->clearItems();
    Con.Close();
}

QLineEdit* frmAddressSearch::box(Field field) const
{
    QLineEdit* const boxes[] = {txtsearchFirstName, txtsearchLastName, txtsearchPhone,
                                txtsearchEmail,     txtsearchIcq,      txtsearchMobile};
    return boxes[field];
}

QLabel* frmAddressSearch::picture(Field field) const
{
    QLabel* const pictures[] = {imgFirstName, imgLastName, imgPhone, imgEmail, imgIcq, imgMobile};
    return pictures[field];
}

void frmAddressSearch::enableField(Field field)
{
    QLineEdit* b = box(field);
    b->setEnabled(true);
    setBackground(b, QPalette::Base);
    b->setFocus();
    picture(field)->show();
}

void frmAddressSearch::disableField(Field field)
{
    // The phone, e-mail, ICQ and mobile boxes only look inactive: they still
    // take typing, and Enter in them still searches their own field.
    QLineEdit* b = box(field);
    b->setEnabled(kFields[field].greyedStaysEnabled);
    setBackground(b, QPalette::Window);
    b->clear();
    picture(field)->hide();
}

void frmAddressSearch::EnableFirstLame()
{
    enableField(FirstName);
}
void frmAddressSearch::DisableFirstName()
{
    disableField(FirstName);
}
void frmAddressSearch::EnableLastName()
{
    enableField(LastName);
}
void frmAddressSearch::DisableLastName()
{
    disableField(LastName);
}
void frmAddressSearch::EnablePhone()
{
    enableField(Phone);
}
void frmAddressSearch::disablePhone()
{
    disableField(Phone);
}
void frmAddressSearch::EnableEmail()
{
    enableField(Email);
}
void frmAddressSearch::disableEmail()
{
    disableField(Email);
}
void frmAddressSearch::EnableICQ()
{
    enableField(Icq);
}
void frmAddressSearch::disableIcq()
{
    disableField(Icq);
}
void frmAddressSearch::EnableMobile()
{
    enableField(Mobile);
}
void frmAddressSearch::DisableMobile()
{
    disableField(Mobile);
}

void frmAddressSearch::cmdField_Click(Field field)
{
    lstv->clearItems();
    for (int i = 0; i < kFieldCount; ++i)
        if (Field(i) != field)
            disableField(Field(i));
    enableField(field);
    Label1->setText(QLatin1String(kFields[field].found));
    lblPhoneTotal->setText(QStringLiteral("0"));
}

void frmAddressSearch::imgField_Click(Field field)
{
    const FieldInfo& info = kFields[field];
    QStringList columns;
    for (const ContactField& contactField : kContactFieldTable)
        columns << QLatin1String(contactField.name);
    // The list is not cleared: searches add up until a field button is pressed.
    // The rows found are read as they come into view.
    storeGuard([&] {
        QueryPages found = Contacts::pages(Con, columns, QLatin1String(info.column), box(field)->text());
        if (found.count() == 0)
            MsgBox(QLatin1String(info.notFound), MsgButtons::OKOnly, MsgIcon::Exclamation, kNotFoundTitle);
        lstv->addQuery(std::move(found));
        lblPhoneTotal->setText(QString::number(lstv->itemCount()));
    });
    lstv->resizeColumnsToContents();
}

bool frmAddressSearch::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        for (int i = 0; i < kFieldCount; ++i) {
            if (watched == picture(Field(i))) {
                imgField_Click(Field(i));
                return true;
            }
        }
    }
    return Form::eventFilter(watched, event);
}
