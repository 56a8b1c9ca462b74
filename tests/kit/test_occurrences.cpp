#include <QFile>
#include <QLocale>
#include <QTest>

#include <ctime>

#include <QTemporaryDir>

#include <sqlite3.h>

#include "kit/Occurrences.h"
#include "store/Connection.h"
#include "support/Golden.h"

// The expansion of repeat rules, against what python3-dateutil makes of the
// same rules (tests/data/recur/make_expected.py wrote rules.expected).
class TestOccurrences : public QObject {
    Q_OBJECT

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
        QFile file(input);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QStringList out;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.isEmpty() || line.startsWith(u'#'))
                continue;
            QStringList f = line.split(u'|');
            for (QString& v : f)
                v = v.trimmed();
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

    // Each series' occurrences are kept between readings; whatever changes
    // the series (here another connection, as a sync or an import would),
    // the zone it is in or the clock's zone, the next reading shows it.
    void keptOccurrencesFollowChanges()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));  // the rows' date texts
        QTemporaryDir dir;
        Connection con, other;
        con.Open(dir.filePath(QStringLiteral("t.db")));
        other.Open(dir.filePath(QStringLiteral("t.db")));
        const auto run = [&other](const char* sql) {
            QCOMPARE(sqlite3_exec(other.handle(), sql, nullptr, nullptr, nullptr), SQLITE_OK);
        };
        run("INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES "
            "('4/7/26', '8:30AM', '9:00 AM', 'Standup');"
            "INSERT INTO tblOrginizeSeries (OrgRow, Start, Finish, Rule) "
            "VALUES (1, '20260407T083000', '20260407T090000', 'FREQ=WEEKLY')");
        const struct {
            const char* change;
            const char* tz;
            QDate from;
            const char* shown;
        } steps[] = {
            {"", nullptr, {2026, 4, 1}, "7 8:30AM|14 8:30AM|21 8:30AM|28 8:30AM"},
            {"UPDATE tblOrginizeSeries SET Rule = 'FREQ=WEEKLY;COUNT=2'", nullptr, {2026, 4, 1}, "7 8:30AM|14 8:30AM"},
            {"UPDATE tblOrginizeSeries SET Rule = 'FREQ=WEEKLY', ExDates = '20260414T083000'",
             nullptr,
             {2026, 4, 1},
             "7 8:30AM|21 8:30AM|28 8:30AM"},
            {"INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES "
             "('4/21/26', '10:00AM', '10:30 AM', 'Moved');"
             "INSERT INTO tblOrginizeSeries (OrgRow, Start, SeriesRow, RecurrenceId) "
             "VALUES (2, '20260421T100000', 1, '20260421T083000')",
             nullptr,
             {2026, 4, 1},
             "7 8:30AM|21 10:00AM|28 8:30AM"},
            {"", nullptr, {2028, 2, 1}, "1 8:30AM|8 8:30AM|15 8:30AM|22 8:30AM|29 8:30AM"},
            {"UPDATE tblOrginizeSeries SET Zone = 'Europe/London' WHERE OrgRow = 1",
             nullptr,
             {2026, 4, 1},
             "7 3:30AM|21 10:00AM|28 3:30AM"},
            {"", "Europe/London", {2026, 4, 1}, "7 8:30AM|21 10:00AM|28 8:30AM"},
        };
        for (const auto& step : steps) {
            if (*step.change)
                run(step.change);
            if (step.tz) {
                qputenv("TZ", step.tz);
                tzset();
            }
            QStringList shown;
            for (const Occurrences::Entry& e : Occurrences::between(con, step.from, step.from.addMonths(1).addDays(-1)))
                shown << QStringLiteral("%1 %2").arg(e.date.day()).arg(e.start);
            QCOMPARE(shown.join(u'|'), QLatin1String(step.shown));
        }
        initTestCase();
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
