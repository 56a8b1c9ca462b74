#pragma once

#include <array>

#include "calc/CalcEngine.h"
#include "window/Screens.h"

class QLineEdit;
class asxToolButton;

// The calculator window: a keypad over CalcEngine. Every press goes to the
// engine and the display shows what the engine says; the window keeps no
// arithmetic of its own.
class frmCal : public Form {
    Q_OBJECT
public:
    frmCal();
    void Form_Load() override;

    void cmdNum_Click(int Index);
    void cmdOp_Click(int Index);
    void cmdPt_Click();
    void cmdAC_Click();
    void cmdEQ_Click();

    QLineEdit* txtDisp;
    std::array<asxToolButton*, 10> cmdNum;
    std::array<asxToolButton*, 4> cmdOp;
    asxToolButton *cmdPt, *cmdAC, *cmdEQ;

private:
    void showDisplay();

    CalcEngine m_engine;
};
