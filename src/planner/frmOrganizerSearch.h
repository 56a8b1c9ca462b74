#pragma once

#include "store/Connection.h"
#include "window/Screens.h"

class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;
class ListView;
class MonthView;

// Finds stored appointments by date, start time or finish time, or by a day
// clicked in the calendar, and lists them. Each search appends its rows.
class frmOrganizerSearch : public Form {
    Q_OBJECT
public:
    frmOrganizerSearch();
    void Form_Load() override;
    void Form_Unload() override;

    void cmdDate_Click();
    void cmdStart_Click();
    void cmdFinished_Click();
    void cmdCalendar_Click();
    void cmdQuickSearchMonth_Click();
    void imgDate_Click();
    void imgStartTime_Click();
    void imgFinishTime_Click();
    void MonthView1_DateClick();
    void lstQuickMonth_Click();

    QGroupBox* Frame1;
    QPushButton *cmdFinished, *cmdDate, *cmdStart, *cmdCalendar, *cmdQuickSearchMonth;
    QLineEdit *txtFinishTime, *txtDate, *txtStartTime;
    QToolButton *imgFinishTime, *imgDate, *imgStartTime;
    QListWidget* lstQuickMonth;
    MonthView* MonthView1;
    ListView* lstv;

private:
    void LoadMonth();
    // Lists every appointment whose `field` equals `value` exactly.
    void Search(const QString& field, const QString& value);
    void showCalendarAtLeft();

    Connection Con;
    // Kept open from one search to the next, like the list it filled.
};
