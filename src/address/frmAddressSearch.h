#pragma once

#include <array>

#include "store/Connection.h"
#include "window/Screens.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class ListView;

// Finds contacts whose first name, last name, home phone, e-mail, ICQ or
// mobile number is exactly the typed value and lists them with all fields.
class frmAddressSearch : public Form {
    Q_OBJECT
public:
    enum Field { FirstName, LastName, Phone, Email, Icq, Mobile };

    frmAddressSearch();
    void Form_Load() override;
    void Form_Unload() override;

    // A field button: clears the result and makes that field the live one.
    void cmdField_Click(Field field);
    // A search picture, or Enter in a search box: appends the matches.
    void imgField_Click(Field field);

    void EnableFirstLame();
    void DisableFirstName();
    void EnableLastName();
    void DisableLastName();
    void EnablePhone();
    void disablePhone();
    void EnableEmail();
    void disableEmail();
    void EnableICQ();
    void disableIcq();
    void EnableMobile();
    void DisableMobile();

    QGroupBox *Frame2, *Frame1;
    QPushButton *cmdFirstName, *cmdLastName, *cmdPhone, *cmdEmail, *cmdICQ, *cmdMobile;
    QLineEdit *txtsearchFirstName, *txtsearchLastName, *txtsearchPhone, *txtsearchEmail, *txtsearchIcq,
        *txtsearchMobile;
    QLabel *imgFirstName, *imgLastName, *imgPhone, *imgEmail, *imgIcq, *imgMobile;
    QLabel *Label1, *lblPhoneTotal;
    ListView* lstv;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void enableField(Field field);
    void disableField(Field field);
    QLineEdit* box(Field field) const;
    QLabel* picture(Field field) const;

    Connection Con;
};
