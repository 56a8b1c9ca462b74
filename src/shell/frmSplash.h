#pragma once

#include "window/Screens.h"

class QLabel;
class QTimer;

// The opening screen: title, platforms and version for two and a half seconds.
class frmSplash : public Form {
    Q_OBJECT
public:
    frmSplash();
    void Form_Load() override;
    void Timer1_Timer();

    QLabel *lblProductName, *lblPlatform, *lblVersion, *lblCopyright, *imgLogo;
    QTimer* Timer1;
};
