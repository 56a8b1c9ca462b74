#pragma once

#include <array>

#include "planner/RepeatRule.h"
#include "window/Screens.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

// The Repeat box's "Custom repeat..." entry: every N days, weeks, months or
// years, on chosen weekdays, by day of month or by weekday of month, until
// a date or N times. Modal; OK hands the choices on through `chosen`.
class frmRepeat : public Form {
    Q_OBJECT
public:
    frmRepeat();
    // Opens on a plain weekly rule from today, until told otherwise.
    void Form_Load() override;
    // Opens on `choices` for a series whose first day is `first`.
    void setChoices(const RepeatRule::Choices& choices, QDate first);
    RepeatRule::Choices choices() const;

    void cmdOK_Click();
    void cmdCancel_Click();

    QLabel* lblFrequency;
    QComboBox* cboFrequency;
    QLabel* lblInterval;
    QSpinBox* spnInterval;
    QLabel* lblUnit;
    std::array<QCheckBox*, 7> chkDay;  // Monday first
    QRadioButton* optMonthDay;
    QRadioButton* optMonthPosition;
    QGroupBox* fraEnd;
    QRadioButton* optNever;
    QRadioButton* optUntil;
    QDateEdit* dtpUntil;
    QRadioButton* optCount;
    QSpinBox* spnCount;
    QLabel* lblTimes;
    QLabel* lblSummary;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

signals:
    void chosen(const RepeatRule::Choices& choices);

private:
    // Shows what belongs to the chosen frequency and the rule in words.
    void showChoices();

    QDate m_first;
    // Day of month and weekday of month as the rule had them, else the first day's.
    int m_monthDay = 0;
    int m_position = 0;
    int m_weekday = 0;
};
