#include "kit/Clock.h"

#include <ctime>

#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

namespace {
std::optional<QDateTime>& fixedNow()
{
    static std::optional<QDateTime> fixed;
    return fixed;
}

// The zone file held in TZ, and what it was when read; no file: TZ is the user's.
struct HeldZone {
    QString file;
    QString seen;
};

HeldZone& heldZone()
{
    static HeldZone held;
    return held;
}

QString stateOf(const QString& file)
{
    const QFileInfo info(file);
    return info.canonicalFilePath() + QLatin1Char(' ') + QString::number(info.lastModified().toMSecsSinceEpoch());
}

QString timeForm(QTime time, const char* between)
{
    const int hour = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    return QStringLiteral("%1:%2%3%4")
        .arg(hour)
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(QLatin1String(between), time.hour() < 12 ? QLatin1String("AM") : QLatin1String("PM"));
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

QString Clock::startText(QTime time)
{
    return timeForm(time, "");
}

QString Clock::finishText(QTime time)
{
    return timeForm(time, " ");
}

std::optional<QTime> Clock::parseTime(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d{1,2}):(\\d{2})\\s?([AaPp])[Mm]\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int hour = m.captured(1).toInt(), minute = m.captured(2).toInt();
    if (hour < 1 || hour > 12 || minute > 59)
        return std::nullopt;
    const bool pm = m.captured(3).compare(QLatin1String("p"), Qt::CaseInsensitive) == 0;
    return QTime(hour % 12 + (pm ? 12 : 0), minute);
}

std::optional<QDate> Clock::parseDate(const QString& text)
{
    const QString format = QLocale().dateFormat(QLocale::ShortFormat);
    QDate date = QLocale().toDate(text.trimmed(), format);
    if (!date.isValid())
        return std::nullopt;
    if (!format.contains(QLatin1String("yyyy"))) {
        // Qt puts a two-digit year in the 1900s; take the century that brings it nearest to today.
        const int now = today().year();
        const int year = now - now % 100 + date.year() % 100;
        date = date.addYears(year - date.year() + (year > now + 50 ? -100 : year <= now - 50 ? 100 : 0));
    }
    return date;
}

void Clock::holdZone(const QString& file)
{
    heldZone() = {};
    if (qEnvironmentVariableIsSet("TZ"))
        return;
    heldZone() = {file, stateOf(file)};
    qputenv("TZ", ':' + file.toLocal8Bit());
    tzset();
}

bool Clock::followZone()
{
    HeldZone& held = heldZone();
    if (held.file.isEmpty())
        return false;
    const QString now = stateOf(held.file);
    if (now == held.seen)
        return false;
    held.seen = now;
    // The C library reads the file again only for a TZ other than the last.
    qputenv("TZ", "UTC0");
    tzset();
    qputenv("TZ", ':' + held.file.toLocal8Bit());
    tzset();
    return true;
}
