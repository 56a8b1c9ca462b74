#include "controls/MonthView.h"

MonthView::MonthView(QWidget* parent)
    : QCalendarWidget(parent)
{
    setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    setGridVisible(false);
    connect(this, &QCalendarWidget::clicked, this, [this](QDate date) {
        setSelectedDate(date);
        emit DateClick(date);
    });
}

void MonthView::setValue(QDate date)
{
    setSelectedDate(date);
    setCurrentPage(date.year(), date.month());
}
