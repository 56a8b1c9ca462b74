#pragma once

#include <array>

#include "window/Screens.h"

class QLabel;

// The logo that fills the work area while no tool is in front.
class frmLoadingPic : public Form {
    Q_OBJECT
public:
    frmLoadingPic();
    bool isChildWindow() const override { return true; }

    QLabel* Image1;
    std::array<QLabel*, 3> Label1;
};
