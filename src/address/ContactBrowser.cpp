#include "address/ContactBrowser.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>

#include "controls/Anchors.h"
#include "controls/Controls.h"
#include "controls/ListView.h"
#include "controls/Twips.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"
#include "store/Contacts.h"
#include "store/RecordsChanged.h"

const QString kChooseContact = QStringLiteral("Choose a contact from the list first.");
const QString kContactGone = QStringLiteral("This contact no longer exists.");
const QString kMoreOnCard = QStringLiteral("Also on the card, kept as it came:");

ContactBrowser::ContactBrowser(const QString& caption, QSize clientTwips)
{
    setWindowTitle(caption);
    resize(twips(clientTwips.width()), twips(clientTwips.height()));

    Frame1 = makeControl<QGroupBox>(this, "Frame1", twipsRect(0, 0, 8055, 3255));
    createContactBoxes(Frame1, Layout::Browse);

    Frame2 = makeControl<QGroupBox>(this, "Frame2", twipsRect(5280, 3360, 2775, 3615), QStringLiteral("Name List"));
    lstName = makeControl<NameList>(Frame2, "lstName", twipsRect(120, 240, 2415, 3180));
    lstName->setAccessibleName(Frame2->title());
    paintLightYellow(lstName);

    // Choosing an entry by mouse or keyboard shows its contact, and so does a
    // second click on the entry already chosen, which reads the contact anew.
    connect(lstName, &NameList::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            lstName_Click();
    });
    connect(lstName, &NameList::rowClicked, this, [this](int row) {
        if (row == m_rowBeforePress)
            lstName_Click();
    });
    lstName->viewport()->installEventFilter(this);
    connect(&RecordsChanged::instance(), &RecordsChanged::changed, this, &ContactBrowser::recordsChanged);
}

void ContactBrowser::recordsChanged(const RecordsChange& change)
{
    if (!change.touches(RecordsChange::Contacts) || !Con.isOpen())
        return;
    if (Screens::waitForAnswer(this, [this, change] { recordsChanged(change); }))
        return;
    const int row = lstName->currentRow();
    const QString name = row >= 0 ? lstName->text(row) : QString();
    {
        // Choosing the row again is no click: the boxes are not read from it.
        const QSignalBlocker quiet(lstName);
        lstName->clear();
        LoadContact();
        if (row >= 0 && row < lstName->count() && lstName->text(row) == name)
            lstName->setCurrentRow(row);
    }
    namesLoaded();
    const std::optional<qint64> key = parseKey(txtID->text());
    if (key && change.mayTouch(RecordsChange::Contacts, *key) && !boxesTyped())
        showContactOf(*key);
}

bool ContactBrowser::boxesTyped() const
{
    for (const ContactField& field : kContactFieldTable)
        if (field.box && (this->*field.box)->isModified())
            return true;
    return txtFax->isModified() || txtComments->document()->isModified();
}

bool ContactBrowser::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lstName->viewport() && event->type() == QEvent::MouseButtonPress)
        m_rowBeforePress = lstName->currentRow();
    return Form::eventFilter(watched, event);
}

void ContactBrowser::finishLayout()
{
    QWidget* const order[] = {txtHomePhone, txtFax,      txtMobile,  txtLastName,    txtFirstName,
                              txtemail,     txtpostcode, txtSuburb,  txthomeAddress, txtICQ,
                              txtWebPage,   lstName,     txtComments};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    txtID->hide();
    // Grown, the name list and the comments take the room; what lies below
    // them keeps to the bottom.
    auto* anchors = new Anchors(this);
    anchors->pin(Frame1, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge);
    anchors->pin(Frame2, Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);
    for (QWidget* box : std::initializer_list<QWidget*>{lstName, Frame4, txtComments})
        anchors->pin(box, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->y() >= Frame4->geometry().bottom())
            anchors->pin(child, Qt::LeftEdge | Qt::BottomEdge);
}

void ContactBrowser::Form_Load()
{
    if (connectStore(Con))
        LoadContact();
}

void ContactBrowser::Form_Unload()
{
    // The names not read yet go with the file.
    lstName->clear();
    rst.Close();
    Con.Close();
}

void ContactBrowser::LoadContact()
{
    // Only the names in view are read; the others as the list is scrolled.
    storeGuard([&] { lstName->addQuery(Contacts::pages(Con, {QStringLiteral("FirstName")})); });
}

void ContactBrowser::Display()
{
    showContact(rst, *this, txtID, txtComments);
    txtComments->document()->setModified(false);
    // Read-only beside the comments, so it never travels back as a note.
    const QString more = Contacts::moreOnCard(Con, rst.Fields(QStringLiteral("Org_ID")).value().toLongLong());
    txtComments->setToolTip(more.isEmpty() ? QString() : kMoreOnCard + u'\n' + more);
}

void ContactBrowser::showContactOf(qint64 key)
{
    storeGuard([&] {
        Contacts::open(rst, Con, key);
        if (!rst.isEOF()) {
            rst.MoveFirst();
            Display();
        }
    });
}

void ContactBrowser::lstName_Click()
{
    const int row = lstName->currentRow();
    if (row < 0)
        return;
    // Of several contacts with one first name, the first in table order is the one shown.
    bool found = false;
    const bool read = storeGuard([&] {
        Contacts::openByFirstName(rst, Con, lstName->text(row));
        if (rst.isEOF())
            return;
        rst.MoveFirst();
        Display();
        found = true;
    });
    if (!read)
        return;
    if (!found) {
        MsgBox(kContactGone, MsgButtons::OKOnly, MsgIcon::Exclamation);
        return;
    }
    contactShown(row);
}

bool ContactBrowser::openShownContact()
{
    const std::optional<qint64> key = parseKey(txtID->text());
    if (!key) {
        MsgBox(kChooseContact, MsgButtons::OKOnly, MsgIcon::Exclamation);
        return false;
    }
    bool found = false;
    const bool read = storeGuard([&] {
        Contacts::open(rst, Con, *key);
        found = !rst.isEOF();
    });
    if (read && !found)
        MsgBox(kContactGone, MsgButtons::OKOnly, MsgIcon::Exclamation);
    return read && found;
}
