#pragma once

#include "store/Connection.h"
#include "window/Screens.h"

class asxPowerButton;
class MonthView;

// A small window with a month calendar, for looking dates up. It opens on
// today each time and stores nothing; the days that hold an appointment
// show in bold.
class frmCalendar : public Form {
    Q_OBJECT
public:
    frmCalendar();
    void Form_Load() override;
    void Form_Unload() override;

    void cmdExit_Click();

    MonthView* MonthView1;
    asxPowerButton* cmdExit;

private:
    Connection Con;
};
