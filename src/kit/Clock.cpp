#include "kit/Clock.h"

#include <QLocale>

namespace {
std::optional<QDateTime>& fixedNow()
{
    static std::optional<QDateTime> fixed;
    return fixed;
}
}  // namespace

QDateTime Clock::now()
{
    return fixedNow() ? *fixedNow() : QDateTime::currentDateTime();
}

QDate Clock::today()
{
    return now().date();
}

void Clock::setFixed(std::optional<QDateTime> fixed)
{
    fixedNow() = std::move(fixed);
}

QString Clock::dateText(QDate date)
{
    return QLocale().toString(date, QLocale::ShortFormat);
}

QString Clock::timeText(QTime time)
{
    // The short form drops the seconds and the long form adds the zone; keep
    // the short form's order and separators and put the seconds back.
    QString format = QLocale().timeFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1Char('s'))) {
        const int minutes = format.lastIndexOf(QLatin1String("mm"));
        if (minutes >= 0)
            format.insert(minutes + 2, QStringLiteral(":ss"));
    }
    return QLocale().toString(time, format);
}
