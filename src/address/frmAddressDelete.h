#pragma once

#include "address/ContactBrowser.h"

class asxToolButton;

// Browses the contacts by first name and deletes the shown one after asking.
class frmAddressDelete : public ContactBrowser {
    Q_OBJECT
public:
    frmAddressDelete();

    void cmdDelete_Click();
    // Deletes the shown contact's row; false when nothing was deleted.
    bool Deleting();

    asxToolButton* cmdDelete;
};

extern const QString kConfirmDelete;
