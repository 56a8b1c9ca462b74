#pragma once

#include "window/Screens.h"

class QLabel;

// Stands in the locked main window.
class frmNoPassword : public Form {
    Q_OBJECT
public:
    frmNoPassword();
    void Form_Load() override;
    bool isChildWindow() const override { return true; }

    QLabel *Label2, *Label1, *Label3;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
