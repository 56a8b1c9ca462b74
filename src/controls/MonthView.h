#pragma once

#include <QCalendarWidget>
#include <QSet>

// A month calendar with one selected date. Setting the date also brings its
// month into view; a click on a day reports the day, already selected.
class MonthView : public QCalendarWidget {
    Q_OBJECT
public:
    explicit MonthView(QWidget* parent = nullptr);
    QDate Value() const { return selectedDate(); }
    void setValue(QDate date);
    // The days shown in bold (the ones that hold something), in place of
    // the ones before.
    void setBoldDays(const QSet<QDate>& days);
    QSet<QDate> boldDays() const { return m_bold; }

signals:
    void DateClick(QDate date);

private:
    QSet<QDate> m_bold;
};
