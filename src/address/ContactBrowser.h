#pragma once

#include "address/ContactBoxes.h"
#include "store/Connection.h"
#include "store/Recordset.h"
#include "window/Screens.h"

class QGroupBox;
class NameList;
struct RecordsChange;

// What the edit and delete screens share: every contact's first name in a
// list, and the contact of a clicked name shown in the boxes with its key in
// the hidden txtID.
class ContactBrowser : public Form, public ContactBoxes {
    Q_OBJECT
public:
    bool isChildWindow() const override { return true; }
    void Form_Load() override;
    void Form_Unload() override;

    // Fills the list with the first names, in table order.
    void LoadContact();
    // Shows the current row of rst.
    void Display();
    void lstName_Click();
    // The contact of that key, as if its name had been clicked.
    void showContactOf(qint64 key);

    QGroupBox *Frame1, *Frame2, *Frame4;
    NameList* lstName;
    QLabel* Label13;
    QPlainTextEdit* txtComments;
    QLineEdit* txtID;

protected:
    ContactBrowser(const QString& caption, QSize clientTwips);
    // The list was read again; the edit screen shows how many names it holds.
    virtual void namesLoaded() {}
    // Called by the derived screen once Frame4 with the comments box and the
    // hidden key box exist.
    void finishLayout();
    // The contact of the list entry `row` is now on view.
    virtual void contactShown(int row) { Q_UNUSED(row); }
    // Opens rst on the shown contact's row. False, after telling the user,
    // when no contact is shown or its row is gone.
    bool openShownContact();

    bool eventFilter(QObject* watched, QEvent* event) override;

    Connection Con;
    Recordset rst;

private:
    // Contacts stored elsewhere: the list is read again, the chosen name
    // stays chosen, and the contact shown is read again unless it is being typed over.
    void recordsChanged(const RecordsChange& change);
    bool boxesTyped() const;

    int m_rowBeforePress = -1;
};

extern const QString kChooseContact;
extern const QString kContactGone;
