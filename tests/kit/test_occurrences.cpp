#include <QFile>
#include <QLocale>
#include <QTest>

#include <ctime>
#include <tuple>

#include <QTemporaryDir>

#include <sqlite3.h>

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

    // Each series' occurrences are kept between readings; whatever changes
    // the series, its zone or the clock's zone, the next reading shows it.
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
            const QDate from = QDate::fromString(f[1], u"yyyy-MM");
            QStringList days;
            for (const Occurrences::Entry& e : Occurrences::between(con, from, from.addMonths(1).addDays(-1)))
                days << QStringLiteral("%1 %2").arg(e.date.day()).arg(e.start);
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
