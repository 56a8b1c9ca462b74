#pragma once

#include "store/Connection.h"
#include "window/Screens.h"

class MSFlexGrid;

// Lists every contact with its number, first name and e-mail address. A
// click on a contact hands its address on (picked) and closes the picker.
class frmTo : public Form {
    Q_OBJECT
public:
    frmTo();
    void Form_Load() override;
    void Form_Unload() override;

    void gridTo_Click();

    MSFlexGrid* gridTo;

signals:
    void picked(const QString& address);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void LoadContact();

    Connection Con;
};
