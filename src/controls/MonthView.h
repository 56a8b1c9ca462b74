#pragma once

#include <QCalendarWidget>

// A month calendar with one selected date. Setting the date also brings its
// month into view; a click on a day reports the day, already selected.
class MonthView : public QCalendarWidget {
    Q_OBJECT
public:
    explicit MonthView(QWidget* parent = nullptr);
    QDate Value() const { return selectedDate(); }
    void setValue(QDate date);

signals:
    void DateClick(QDate date);
};
