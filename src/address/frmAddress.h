#pragma once

#include "address/ContactBoxes.h"
#include "store/Connection.h"
#include "window/Screens.h"

class QLabel;
class QPlainTextEdit;
class asxGenericContainer;

// The new-contact screen: what is typed here becomes a new row of tblAddress.
// It has no buttons of its own; the main window's address panel drives it.
class frmAddress : public Form, public ContactBoxes {
    Q_OBJECT
public:
    frmAddress();
    bool isChildWindow() const override { return true; }
    void Form_Load() override;
    void Form_Unload() override;

    // Stores the boxes as a new contact; false (after saying why) when the
    // database refused it.
    bool SavingAddress();
    // Prints the contact that stands in the boxes as a one-page sheet.
    void AddressPrinting();
    void txtComments_Change();

    asxGenericContainer* asxGenericContainer1;
    QLabel *Label13, *Label11, *lblCount;
    QPlainTextEdit* txtComments;

private:
    Connection Con;
};

// Empties every box of the new-contact screen, creating the screen first when
// it does not exist.
void ClearAddressForm();

// Ends a save of a contact: the progress window loaded before it fills and
// closes when the contact was written, and goes unseen when it was not.
void showSaveProgress(bool saved);

extern const QString kCommentsFull;
