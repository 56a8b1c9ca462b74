// Calendars written to hurt: time zones that change every second or are
// worked out from the year 1, and repeat rules that multiply (lists by the
// hour, minute and second, a billion hours, hours of a day that never
// comes). For 1, 4 and 16 of each in one file: the import
// (SyncFiles::importAppointments into an empty store), then the expansion
// of what it stored for a month page (Occurrences::between over the month,
// as the month calendar and BusyDays ask) and for the reminders (one day,
// as AppointmentReminders asks at start), each cold. Next to it,
// bench/hostile_icalendar.py: python3-icalendar reading the same file and
// recurring_ical_events expanding the same month, stopped after 20 s
// (once a row; ours, the median of the rounds).
//
//   build-bench/bench/bench_hostile [rounds]   (3 by default; medians)

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>

#include <algorithm>
#include <cstdio>

#include "kit/AppFolder.h"
#include "kit/Occurrences.h"
#include "store/Connection.h"
#include "sync/SyncFiles.h"

#include "SideBySide.h"

namespace {

const char* const kZones[] = {"Europe/Berlin",   "Europe/Paris",    "Europe/Rome",    "Europe/Madrid",
                              "Europe/Vienna",   "Europe/Prague",   "Europe/Warsaw",  "Europe/Oslo",
                              "Europe/London",   "America/Chicago", "America/Denver", "America/New_York",
                              "Australia/Perth", "Asia/Tokyo",      "Africa/Cairo",   "America/Sao_Paulo"};

QString numbers(int from, int to)
{
    QStringList n;
    for (int i = from; i <= to; ++i)
        n << QString::number(i);
    return n.join(u',');
}

struct Kind {
    const char* name;
    QString (*zone)(int i);  // a VTIMEZONE, or none
    QString (*rule)();
};

QString everySecond(int i)
{
    return QStringLiteral("BEGIN:VTIMEZONE\r\nTZID:%1\r\nBEGIN:STANDARD\r\nDTSTART:19701025T030000\r\n"
                          "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nRRULE:FREQ=SECONDLY\r\nEND:STANDARD\r\n"
                          "END:VTIMEZONE\r\n")
        .arg(QLatin1String(kZones[i]));
}

QString fromYearOne(int i)
{
    return QStringLiteral(
               "BEGIN:VTIMEZONE\r\nTZID:%1\r\nBEGIN:STANDARD\r\nDTSTART:00010101T030000\r\n"
               "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\n"
               "END:STANDARD\r\nBEGIN:DAYLIGHT\r\nDTSTART:00010101T020000\r\nTZOFFSETFROM:+0100\r\n"
               "TZOFFSETTO:+0200\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n")
        .arg(QLatin1String(kZones[i]));
}

const Kind kKinds[] = {
    {"VTIMEZONE RRULE:FREQ=SECONDLY", everySecond, nullptr},
    {"VTIMEZONE from the year 1", fromYearOne, nullptr},
    {"RRULE FREQ=DAILY;BYHOUR=0..23;BYMINUTE=0..59", nullptr,
     [] { return QStringLiteral("FREQ=DAILY;BYHOUR=%1;BYMINUTE=%2").arg(numbers(0, 23), numbers(0, 59)); }},
    {"RRULE ... and BYSECOND=0..59", nullptr,
     [] { return QStringLiteral("FREQ=DAILY;BYHOUR=%1;BYMINUTE=%2;BYSECOND=%2").arg(numbers(0, 23), numbers(0, 59)); }},
    {"RRULE FREQ=HOURLY;COUNT=1000000000 from 2000", nullptr,
     [] { return QStringLiteral("FREQ=HOURLY;COUNT=1000000000"); }},
    {"RRULE FREQ=HOURLY;BYMONTH=2;BYMONTHDAY=30", nullptr,
     [] { return QStringLiteral("FREQ=HOURLY;BYMONTH=2;BYMONTHDAY=30"); }},
};

// `n` events, each with its own zone or rule; the month asked for is
// December 2026. `round` moves every start by an hour, so that nothing
// expanded in an earlier round is found kept.
QByteArray calendar(const Kind& kind, int n, int round)
{
    QString text = QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//hostile//EN\r\n");
    const bool early = kind.rule && kind.rule().contains(QLatin1String("COUNT"));
    for (int i = 0; i < n && kind.zone; ++i)
        text += kind.zone(i);
    for (int i = 0; i < n; ++i) {
        const QString at = QStringLiteral("%1T%2%3%4")
                               .arg(QLatin1String(early ? "20000101" : "20261201"))
                               .arg(9 + round, 2, 10, QLatin1Char('0'))
                               .arg(i, 2, 10, QLatin1Char('0'))
                               .arg(QLatin1String("00"));
        const QString zone = kind.zone ? QStringLiteral(";TZID=%1").arg(QLatin1String(kZones[i])) : QString();
        text += QStringLiteral("BEGIN:VEVENT\r\nUID:hostile-%1\r\nDTSTAMP:20260101T000000Z\r\nDTSTART%2:%3\r\n")
                    .arg(i)
                    .arg(zone, at);
        if (kind.rule)
            text += QStringLiteral("RRULE:%1\r\n").arg(kind.rule());
        text += QStringLiteral("SUMMARY:Hostile %1\r\nEND:VEVENT\r\n").arg(i);
    }
    return (text + QStringLiteral("END:VCALENDAR\r\n")).toUtf8();
}

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

QString ms(double seconds)
{
    return seconds < 0 ? QStringLiteral("> 20 s (stopped)") : QStringLiteral("%1 ms").arg(seconds * 1000, 0, 'f', 1);
}

struct Peer {
    double read = -1, month = -1;
};

Peer peer(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(TESSALY_BENCH_DIR "/hostile_icalendar.py"), file,
                                                 QStringLiteral("2026"), QStringLiteral("12")});
    p.waitForFinished(20000);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
    }
    Peer out;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() >= 2 && f[0] == "read")
            out.read = f[1].toDouble();
        if (f.size() >= 2 && f[0] == "month")
            out.month = f[1].toDouble();
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    qputenv("TZ", "Europe/Berlin");
    const QString work = QDir::temp().filePath(QStringLiteral("bench_hostile"));
    QDir(work).removeRecursively();
    QDir().mkpath(work);
    AppFolder::setPath(work);
    QDir().mkpath(QFileInfo(AppFolder::databaseFile()).path());
    std::printf("load average at the start: %s\n\n", qPrintable(loadAverage()));
    std::printf("| input | n | import (ours) | month page | reminders' day | peak RSS (ours) | python3-icalendar read "
                "| recurring_ical_events month |\n|---|---|---|---|---|---|---|---|\n");
    for (const Kind& kind : kKinds) {
        for (const int n : {1, 4, 16}) {
            QList<double> imported, month, day, peerRead, peerMonth;
            QString line;
            restartPeak();
            for (int round = 0; round < rounds; ++round) {
                const QString db = AppFolder::databaseFile();
                for (const QString& f : {db, db + QStringLiteral("-wal"), db + QStringLiteral("-shm")})
                    QFile::remove(f);
                const QString file = QDir(work).filePath(QStringLiteral("hostile.ics"));
                QFile out(file);
                if (!out.open(QIODevice::WriteOnly))
                    return 1;
                out.write(calendar(kind, n, round));
                out.close();
                QElapsedTimer t;
                t.start();
                line = SyncFiles::importAppointments(file).message;
                imported << t.nsecsElapsed() / 1e9;
                Connection con;
                con.Open(db);
                t.restart();
                const qsizetype shown = Occurrences::between(con, QDate(2026, 12, 1), QDate(2026, 12, 31)).size();
                month << t.nsecsElapsed() / 1e9;
                t.restart();
                // Outside the months the page kept: expanded afresh, as at a start.
                Occurrences::between(con, QDate(2029, 6, 1), QDate(2029, 6, 1));
                day << t.nsecsElapsed() / 1e9;
                (void)shown;
                if (round > 0)
                    continue;  // the peer once a row: its slow rows run into the stop every time
                const Peer p = peer(file);
                peerRead << p.read;
                peerMonth << p.month;
            }
            const auto peerText = [](const QList<double>& v) {
                return std::any_of(v.begin(), v.end(), [](double x) { return x < 0; }) ? ms(-1) : ms(median(v));
            };
            const long peak = statusKilobytes("VmHWM:");
            std::printf("| %s | %d | %s | %s | %s | %s | %s | %s |\n", kind.name, n, qPrintable(ms(median(imported))),
                        qPrintable(ms(median(month))), qPrintable(ms(median(day))), qPrintable(megabytes(peak)),
                        qPrintable(peerText(peerRead)), qPrintable(peerText(peerMonth)));
            std::fflush(stdout);
            if (n == 1)
                std::fprintf(stderr, "%s: %s\n", kind.name, qPrintable(line));
        }
    }
    std::printf("\nload average at the end: %s\n", qPrintable(loadAverage()));
    return 0;
}
