#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <QTest>

#include <ctime>
#include <tuple>

#include <QTemporaryDir>

#include <sqlite3.h>

#include "kit/Clock.h"
#include "kit/Occurrences.h"
#include "store/Connection.h"
#include "support/Golden.h"

// The expansion of repeat rules, against what python3-dateutil makes of the
// same rules (scripts/make-recur-expected.py wrote rules.expected).
class TestOccurrences : public QObject {
    Q_OBJECT

    // The lines of a table file, each split at "|" and trimmed; "#" starts a comment line.
    static QList<QStringList> rowsOf(const QString& path)
    {
        QFile file(path);
        QList<QStringList> rows;
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            qFatal("cannot read %s", qPrintable(path));
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.isEmpty() || line.startsWith(u'#'))
                continue;
            QStringList f = line.split(u'|');
            for (QString& v : f)
                v = v.trimmed();
            rows << f;
        }
        return rows;
    }

private slots:
    void initTestCase()
    {
        // A zone with a change of the clocks, whatever the machine runs on.
        qputenv("TZ", "America/New_York");
        tzset();
    }

    void againstDateutil()
    {
        const QString input = Golden::folder(QStringLiteral("recur")) + QStringLiteral("/rules.txt");
        QStringList out;
        for (const QStringList& f : rowsOf(input)) {
            Occurrences::Series s;
            s.start = f[1];
            s.finish = f[2];
            s.zone = f[3];
            s.rule = f[4];
            s.rdates = f[5].split(u',', Qt::SkipEmptyParts);
            // A replaced occurrence drops out of its series as an excluded one does.
            QSet<QString> replaced;
            for (const QString& d : f[6].split(u',', Qt::SkipEmptyParts)) {
                if (d.startsWith(u'~'))
                    replaced.insert(d.mid(1));
                else
                    s.exdates << d;
            }
            out << QStringLiteral("[%1]").arg(f[0]);
            const QString form = s.start.size() == 8 ? QStringLiteral("yyyyMMdd") : QStringLiteral("yyyyMMdd'T'HHmmss");
            for (const Occurrences::Occurrence& o : Occurrences::expand(s, QDate::fromString(f[7], u"yyyyMMdd"),
                                                                        QDate::fromString(f[8], u"yyyyMMdd"), replaced))
                out << o.start.toString(form) + QStringLiteral(" - ") + o.finish.toString(form);
        }
        Golden::compare(input, out.join(u'\n') + u'\n');
    }

    // Plain rules (every n days, weeks on weekdays, months on dates or on
    // weekdays of the month, years on dates; a count, an end or neither)
    // fall on the days libical gives them, far from their start too. A
    // BYSECOND the start has already, or the start again as an extra date
    // (libical gives it twice then), has libical walk the rule.
    void plainRulesAsLibicalWalksThem()
    {
        QRandomGenerator random(2002);
        const auto pick = [&](const QStringList& from) { return from[int(random.bounded(from.size()))]; };
        const QStringList days = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};
        for (int n = 0; n < 600; ++n) {
            const QDate day = QDate(2018, 1, 1).addDays(random.bounded(3000));
            const QTime time(int(random.bounded(24)), 30 * int(random.bounded(2)), 0);
            QStringList rule{pick({"FREQ=DAILY", "FREQ=WEEKLY", "FREQ=MONTHLY", "FREQ=YEARLY"})};
            const QString today = days[day.dayOfWeek() - 1];
            const int interval = random.bounded(2) ? 1 + int(random.bounded(4)) : 0;
            if (interval)
                rule << QStringLiteral("INTERVAL=%1").arg(interval);
            QStringList weekdays{today, pick(days), pick(days)};
            weekdays.removeDuplicates();
            if (rule[0] == "FREQ=WEEKLY" && random.bounded(2))
                rule << "BYDAY=" + weekdays.join(u',') << "WKST=" + (interval > 1 ? "MO" : pick(days));
            if (rule[0] == "FREQ=DAILY" && random.bounded(3) == 0)
                rule << "BYDAY=" + weekdays.join(u',');
            if (rule[0] == "FREQ=MONTHLY") {
                const int week = (day.day() - 1) / 7 + 1, fromEnd = -((day.daysInMonth() - day.day()) / 7 + 1);
                // Days and weekdays counted from the month's end beside the start's own.
                const int other = int(random.bounded(31)) + 1, sign = random.bounded(2) ? 1 : -1;
                rule << QStringList{"",
                                    QStringLiteral("BYMONTHDAY=%1,%2").arg(day.day()).arg(sign * other),
                                    QStringLiteral("BYMONTHDAY=%1").arg(day.day() - day.daysInMonth() - 1),
                                    QStringLiteral("BYDAY=%1%2,%3%4")
                                        .arg(week)
                                        .arg(today)
                                        .arg(-1 - int(random.bounded(2)))
                                        .arg(pick(days)),
                                    QStringLiteral("BYDAY=%1%2").arg(fromEnd).arg(today),
                                    "BYDAY=" + today}
                            .value(int(random.bounded(6)));
            }
            if (rule[0] == "FREQ=YEARLY" && random.bounded(2))
                rule << QStringLiteral("BYMONTH=%1,%2").arg(day.month()).arg(1 + random.bounded(12));
            // Whole days too, which libical walks when the start is also an extra date.
            const bool allDay = random.bounded(4) == 0;
            const QString form = allDay ? QStringLiteral("yyyyMMdd") : QStringLiteral("yyyyMMdd'T'HHmmss");
            rule << QStringList{"", QStringLiteral("COUNT=%1").arg(1 + random.bounded(80)),
                                "UNTIL=" + day.addDays(random.bounded(900)).toString(u"yyyyMMdd")
                                    + (allDay ? "" : "T235959Z")}
                        .value(int(random.bounded(3)));
            rule.removeAll(QString());
            Occurrences::Series plain;
            plain.start = QDateTime(day, time).toString(form);
            plain.finish = QDateTime(day, time).addSecs(3600 * (1 + random.bounded(30))).toString(form);
            plain.zone = allDay ? QString() : pick({"", "Europe/Berlin", "America/New_York"});
            plain.rule = rule.join(u';');
            if (random.bounded(3) == 0)
                plain.exdates << QDateTime(day.addDays(7), time).toString(form);
            Occurrences::Series walked = plain;
            if (allDay)
                walked.rdates << plain.start;
            else
                walked.rule += QStringLiteral(";BYSECOND=0");
            const QDate from = day.addDays(random.bounded(1600) - 40), to = from.addDays(random.bounded(70));
            const auto starts = [&](const Occurrences::Series& s) {
                QStringList out;
                for (const Occurrences::Occurrence& o : Occurrences::expand(s, from, to))
                    out << o.start.toString(Qt::ISODate) + u'/' + o.finish.toString(Qt::ISODate);
                return out;
            };
            QStringList got = starts(plain), libical = starts(walked);
            if (allDay) {
                got.removeDuplicates();
                libical.removeDuplicates();
            }
            QVERIFY2(got == libical,
                     qPrintable(QStringLiteral("%1 %2 %3 %4..%5: %6 | %7")
                                    .arg(plain.start, plain.zone, plain.rule, from.toString(Qt::ISODate),
                                         to.toString(Qt::ISODate), got.join(u' '), libical.join(u' '))));
        }
    }

    // The zone file held for the C library is read again once it changes;
    // a TZ of the user's own is left as it is.
    void heldZoneFollowsItsFile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("localtime"));
        const auto pointTo = [&](const char* zone) {
            QFile::remove(file);
            return QFile::link(QStringLiteral("/usr/share/zoneinfo/") + QLatin1String(zone), file);
        };
        const auto offset = [] { return QDateTime(QDate(2026, 1, 15), QTime(12, 0)).offsetFromUtc(); };
        QVERIFY(pointTo("Europe/Berlin"));
        qunsetenv("TZ");
        Clock::holdZone(file);
        QCOMPARE(qgetenv("TZ"), ':' + file.toLocal8Bit());
        QCOMPARE(offset(), 3600);
        QVERIFY(!Clock::followZone());
        QVERIFY(pointTo("America/New_York"));
        QVERIFY(Clock::followZone());
        QCOMPARE(offset(), -5 * 3600);
        QVERIFY(!Clock::followZone());

        qputenv("TZ", "Asia/Tokyo");
        Clock::holdZone(file);
        QVERIFY(pointTo("Europe/Berlin"));
        QVERIFY(!Clock::followZone());
        QCOMPARE(qgetenv("TZ"), QByteArray("Asia/Tokyo"));
        initTestCase();
    }

    // Each series' occurrences are kept between readings; whatever changes
    // the series, its zone or the clock's zone, the next reading shows it,
    // and the days in bold are the days it lists.
    void keptOccurrencesFollowChanges()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));  // the rows' date texts
        QTemporaryDir dir;
        Connection con, other;
        con.Open(dir.filePath(QStringLiteral("t.db")));
        other.Open(dir.filePath(QStringLiteral("t.db")));
        const QString input = Golden::folder(QStringLiteral("recur")) + QStringLiteral("/kept.txt");
        QStringList out;
        for (const QStringList& f : rowsOf(input)) {
            if (f[0].startsWith(u"TZ=")) {
                qputenv("TZ", f[0].mid(3).toUtf8());
                tzset();
            } else {
                QCOMPARE(sqlite3_exec(other.handle(), f[0].toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
            }
            const QDate from = QDate::fromString(f[1], u"yyyy-MM"), to = from.addMonths(1).addDays(-1);
            QStringList days;
            QSet<QDate> dates;
            for (const Occurrences::Entry& e : Occurrences::between(con, from, to)) {
                days << QStringLiteral("%1 %2").arg(e.date.day()).arg(e.start);
                dates.insert(e.date);
            }
            QCOMPARE(Occurrences::busyDays(con, from, to), dates);
            out << days.join(u'|');
        }
        initTestCase();
        Golden::compare(input, out.join(u'\n') + u'\n');
    }

    // The occurrence a search names: the next from a day, none when all are past or the row does not repeat.
    void nextFrom()
    {
        QTemporaryDir dir;
        Connection con;
        con.Open(dir.filePath(QStringLiteral("t.db")));
        const auto seriesOf = [](qint64 row, const char* start, const char* finish, const char* rule) {
            Occurrences::Series s;
            std::tie(s.row, s.start, s.finish, s.rule) = std::tuple(row, start, finish, rule);
            return s;
        };
        const std::pair<Occurrences::Series, QString> rows[] = {
            {seriesOf(1, "20190506T090000", "", "FREQ=WEEKLY"), "2026-05-18"},
            {seriesOf(2, "20190506T090000", "", "FREQ=WEEKLY;UNTIL=20200101T000000Z"), ""},
            {seriesOf(3, "20261224", "", "FREQ=YEARLY"), "2026-12-24"},
            {seriesOf(4, "20260514T230000", "20260516T010000", "FREQ=YEARLY"), "2026-05-14"},  // lasts into the day
            {seriesOf(5, "20190506T090000", "20190506T100000", ""), ""},
        };
        for (const auto& [series, next] : rows) {
            Occurrences::write(con, series);
            QCOMPARE(Occurrences::nextFrom(con, series.row, QDate(2026, 5, 15)).value_or(QDate()).toString(Qt::ISODate),
                     next);
        }
    }

    // Rules too large to expand keep their first occurrence; the ones
    // just within the budget expand whole.
    void budget()
    {
        const QString input = Golden::folder(QStringLiteral("recur")) + QStringLiteral("/budget.txt");
        QStringList out;
        for (const QStringList& f : rowsOf(input)) {
            Occurrences::Series s;
            s.start = f[1];
            s.finish = f[2];
            s.zone = f[3];
            s.rule = f[4];
            out << QStringLiteral("[%1] %2").arg(f[0], Occurrences::withinBudget(s) ? u"within" : u"beyond");
            const QString form = s.start.size() == 8 ? QStringLiteral("yyyyMMdd") : QStringLiteral("yyyyMMdd'T'HHmmss");
            const QList<Occurrences::Occurrence> all =
                Occurrences::expand(s, QDate::fromString(f[5], u"yyyyMMdd"), QDate::fromString(f[6], u"yyyyMMdd"));
            for (const Occurrences::Occurrence& o : all)
                out << o.start.toString(form) + QStringLiteral(" - ") + o.finish.toString(form);
        }
        Golden::compare(input, out.join(u'\n') + u'\n');
    }

    void rulesThatRead()
    {
        QVERIFY(Occurrences::ruleReads(QString()));
        QVERIFY(Occurrences::ruleReads(QStringLiteral("FREQ=WEEKLY;BYDAY=TU")));
        QVERIFY(!Occurrences::ruleReads(QStringLiteral("FREQ=FORTNIGHTLY")));
    }
};

QTEST_GUILESS_MAIN(TestOccurrences)
#include "test_occurrences.moc"
