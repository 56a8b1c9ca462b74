#include "controls/MonthView.h"

#include "controls/Accessible.h"

#include <QTextCharFormat>

namespace {
// What a screen reader calls the calendar and the parts that show no words.
const QString kCalendarName = QStringLiteral("Month calendar");
const char* const kPartNames[][2] = {{"qt_calendar_prevmonth", "Previous month"},
                                     {"qt_calendar_nextmonth", "Next month"},
                                     {"qt_calendar_yearedit", "Year"}};
}  // namespace

MonthView::MonthView(QWidget* parent)
    : QCalendarWidget(parent)
{
    Accessible::install();
    setAccessibleName(kCalendarName);
    for (const auto& [part, name] : kPartNames)
        if (auto* widget = findChild<QWidget*>(QLatin1String(part)))
            widget->setAccessibleName(QLatin1String(name));
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

void MonthView::setBoldDays(const QSet<QDate>& days)
{
    for (const QDate d : m_bold)
        if (!days.contains(d))
            setDateTextFormat(d, QTextCharFormat());
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    for (const QDate d : days)
        setDateTextFormat(d, bold);
    m_bold = days;
}
