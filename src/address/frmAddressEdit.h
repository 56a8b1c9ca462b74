#pragma once

#include "address/ContactBrowser.h"

class QFrame;
class asxToolButton;

// Browses the contacts by first name and writes changes to the shown one.
class frmAddressEdit : public ContactBrowser {
    Q_OBJECT
public:
    frmAddressEdit();
    void Form_Load() override;

    void cmdAddressSave_Click();
    // Writes the boxes to the shown contact's row; false when nothing was written.
    bool Saving();
    void txtComments_Change();

    QGroupBox* Frame3;
    QLabel *Label11, *lblCount;
    asxToolButton *cmdAddressSave, *cmdAddressPrint;
    QLabel *lblNo, *lblCurrent, *lblTotal;
    QFrame* Line1;

protected:
    void contactShown(int row) override;
    void namesLoaded() override;
};
