#pragma once

#include "kit/Screens.h"

class asxPowerButton;
class MonthView;

// A small window with a month calendar, for looking dates up. It opens on
// today each time and stores nothing.
class frmCalendar : public Form {
    Q_OBJECT
public:
    frmCalendar();
    void Form_Load() override;

    void cmdExit_Click();

    MonthView* MonthView1;
    asxPowerButton* cmdExit;
};
