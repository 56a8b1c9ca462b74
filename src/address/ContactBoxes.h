#pragma once

#include <array>

#include <QRect>
#include <QString>

#include "store/Contacts.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QWidget;
class Recordset;

// A contact's fields, in the order of tblAddress (Contact::Email, ...).
using Contact = ContactFields::Field;
constexpr int kContactFieldCount = ContactFields::Count;

// The contact's single-line boxes with their captions, which the entry, edit
// and delete screens all carry under the same names. The fax box is among
// them although no table has a field for it.
struct ContactBoxes {
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8, *Label9, *Label10, *Label12;
    QLineEdit *txtFirstName, *txtLastName, *txthomeAddress, *txtSuburb, *txtemail, *txtICQ, *txtHomePhone, *txtFax,
        *txtMobile, *txtpostcode, *txtWebPage;

    enum class Layout {
        Entry,   // the new-contact screen
        Browse,  // the edit and delete screens
    };
    // Creates the boxes and captions inside `parent` at the positions of `layout`.
    void createContactBoxes(QWidget* parent, Layout layout);
};

// What each stored field is: its name in tblAddress, the box of the contact
// screens that holds it (none for the comments: each screen has its own
// comments box) and its column heading in the search result.
struct ContactField {
    const char* name;
    QLineEdit* ContactBoxes::*box;
    const char* heading;
};
extern const std::array<ContactField, kContactFieldCount> kContactFieldTable;

// The values as they stand in the boxes.
ContactValues typedContact(const ContactBoxes& boxes, const QPlainTextEdit* txtComments);

// The captions over the comments boxes.
extern const QString kCommentsCaption;
extern const QString kCountCaption;

// The light yellow of the contact screens' boxes and name lists.
void paintLightYellow(QWidget* widget);

// The multi-line comments box of the contact screens.
QPlainTextEdit* makeCommentsBox(QWidget* parent, const QRect& geometry);

// Shows the current contact of `rs` in the boxes, the key in `txtID`.
void showContact(const Recordset& rs, ContactBoxes& boxes, QLineEdit* txtID, QPlainTextEdit* txtComments);
