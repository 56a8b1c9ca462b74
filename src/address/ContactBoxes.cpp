#include "address/ContactBoxes.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "controls/Controls.h"
#include "controls/Twips.h"
#include "store/Recordset.h"

namespace {
struct Box {
    QLineEdit* ContactBoxes::*box;
    const char* name;
    QLabel* ContactBoxes::*label;
    const char* labelName;
    const char* caption;
    QRect entryLabel, entryBox;
    QRect browseLabel, browseBox;
};

// Captions stand beside their boxes; on the browse screens each caption is
// 120 twips lower than its box.
const Box kBoxes[] = {
    {&ContactBoxes::txtFirstName,
     "txtFirstName",
     &ContactBoxes::Label1,
     "Label1",
     "FirstName",
     {0, 240, 855, 255},
     {1080, 120, 2895, 375},
     {120, 240, 855, 255},
     {960, 120, 2895, 375}},
    {&ContactBoxes::txtLastName,
     "txtLastName",
     &ContactBoxes::Label2,
     "Label2",
     "Last Name",
     {0, 720, 855, 255},
     {1080, 600, 2895, 375},
     {120, 720, 855, 255},
     {960, 600, 2895, 375}},
    {&ContactBoxes::txthomeAddress,
     "txthomeAddress",
     &ContactBoxes::Label3,
     "Label3",
     "HOME",
     {0, 1200, 855, 255},
     {1080, 1080, 2895, 375},
     {120, 1200, 855, 255},
     {960, 1080, 2895, 375}},
    {&ContactBoxes::txtSuburb,
     "txtSuburb",
     &ContactBoxes::Label4,
     "Label4",
     "SUBURB",
     {0, 1680, 975, 255},
     {1080, 1680, 2895, 375},
     {120, 1800, 975, 255},
     {960, 1680, 2895, 375}},
    {&ContactBoxes::txtemail,
     "txtemail",
     &ContactBoxes::Label7,
     "Label7",
     "EMAIL",
     {0, 2280, 735, 255},
     {1080, 2160, 2895, 375},
     {120, 2280, 735, 255},
     {960, 2160, 2895, 375}},
    {&ContactBoxes::txtICQ,
     "txtICQ",
     &ContactBoxes::Label10,
     "Label10",
     "ICQ",
     {0, 2760, 855, 255},
     {1080, 2640, 2895, 375},
     {120, 2760, 855, 255},
     {960, 2640, 2895, 375}},
    {&ContactBoxes::txtHomePhone,
     "txtHomePhone",
     &ContactBoxes::Label6,
     "Label6",
     "HOME No",
     {4320, 240, 855, 255},
     {5280, 120, 2895, 375},
     {4080, 360, 855, 255},
     {5040, 240, 2895, 375}},
    {&ContactBoxes::txtFax,
     "txtFax",
     &ContactBoxes::Label8,
     "Label8",
     "FAX",
     {4320, 840, 495, 255},
     {5280, 720, 2895, 375},
     {4080, 960, 495, 255},
     {5040, 840, 2895, 375}},
    {&ContactBoxes::txtMobile,
     "txtMobile",
     &ContactBoxes::Label9,
     "Label9",
     "MOBILE",
     {4320, 1440, 855, 255},
     {5280, 1320, 2895, 375},
     {4080, 1560, 855, 255},
     {5040, 1440, 2895, 375}},
    {&ContactBoxes::txtpostcode,
     "txtpostcode",
     &ContactBoxes::Label5,
     "Label5",
     "POSTCODE",
     {4200, 2160, 975, 255},
     {5280, 2040, 1455, 375},
     {3960, 2280, 975, 255},
     {5040, 2160, 1455, 375}},
    {&ContactBoxes::txtWebPage,
     "txtWebPage",
     &ContactBoxes::Label12,
     "Label12",
     "Web Page",
     {4200, 2760, 975, 255},
     {5280, 2640, 2775, 375},
     {3960, 2880, 975, 255},
     {5040, 2760, 2775, 375}},
};

constexpr int kPostCodeLength = 4;

QRect inTwips(const QRect& r)
{
    return twipsRect(r.x(), r.y(), r.width(), r.height());
}
}  // namespace

const QString kCommentsCaption = QStringLiteral("Comments : Max 255 character include spaces");
const QString kCountCaption = QStringLiteral("Chr count");

void paintLightYellow(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, bgrColor(0x00C0FFFF));
    widget->setPalette(palette);
}

void ContactBoxes::createContactBoxes(QWidget* parent, Layout layout)
{
    for (const Box& b : kBoxes) {
        const bool entry = layout == Layout::Entry;
        this->*b.label =
            makeLabel(parent, b.labelName, QLatin1String(b.caption), inTwips(entry ? b.entryLabel : b.browseLabel));

        QLineEdit* box = makeTextBox(parent, b.name, inTwips(entry ? b.entryBox : b.browseBox));
        paintLightYellow(box);
        (this->*b.label)->setBuddy(box);
        this->*b.box = box;
    }
    txtpostcode->setMaxLength(kPostCodeLength);
}

QPlainTextEdit* makeCommentsBox(QWidget* parent, const QRect& geometry)
{
    auto* box = makeControl<QPlainTextEdit>(parent, "txtComments", geometry);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setTabChangesFocus(true);
    return box;
}

const std::array<ContactField, kContactFieldCount> kContactFieldTable = {{
    {"FirstName", &ContactBoxes::txtFirstName, "First Name"},
    {"LastName", &ContactBoxes::txtLastName, "Last Name"},
    {"HomeAddress", &ContactBoxes::txthomeAddress, "Home Address"},
    {"Suburb", &ContactBoxes::txtSuburb, "Suburb"},
    {"PostCode", &ContactBoxes::txtpostcode, "Post Code"},
    {"Email", &ContactBoxes::txtemail, "Email"},
    {"HomePhone", &ContactBoxes::txtHomePhone, "Home Phone"},
    {"Mobile", &ContactBoxes::txtMobile, "Mobile"},
    {"ICQ", &ContactBoxes::txtICQ, "ICQ"},
    {"WebAddress", &ContactBoxes::txtWebPage, "Web Page"},
    {"Comments", nullptr, "Comments"},
}};

ContactValues typedContact(const ContactBoxes& boxes, const QPlainTextEdit* txtComments)
{
    ContactValues contact;
    for (std::size_t i = 0; i < kContactFieldTable.size(); ++i)
        contact[i] =
            kContactFieldTable[i].box ? (boxes.*kContactFieldTable[i].box)->text() : txtComments->toPlainText();
    return contact;
}

void showContact(const Recordset& rs, ContactBoxes& boxes, QLineEdit* txtID, QPlainTextEdit* txtComments)
{
    const ContactValues contact = Contacts::read(rs);
    txtID->setText(rs.Fields(QStringLiteral("Org_ID")).toString());
    for (std::size_t i = 0; i < kContactFieldTable.size(); ++i) {
        if (kContactFieldTable[i].box)
            (boxes.*kContactFieldTable[i].box)->setText(contact[i]);
        else
            txtComments->setPlainText(contact[i]);
    }
}
