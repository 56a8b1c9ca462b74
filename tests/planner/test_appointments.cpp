#include <QCoreApplication>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>

#include "planner/Appointments.h"
#include "store/Connection.h"
#include "store/RecordsChanged.h"
#include "support/Fixture.h"

using Scope = Appointments::Scope;

namespace {
// A weekly standup from Tuesday 3/31/26 at 8:30AM, a dentist on 4/30/26, and
// the standup of 4/21/26 moved to its own row (3) at 10:00AM.
const char* const kDays =
    "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES ('3/31/26', '8:30AM', '9:00 AM', "
    "'Standup'), ('4/30/26', '8:30AM', '9:00 AM', 'Dentist'), ('4/21/26', '10:00AM', '10:30 AM', 'Late standup');"
    "INSERT INTO tblOrginizeSeries (OrgRow, Start, Finish, Rule) VALUES (1, '20260331T083000', '20260331T090000', "
    "'FREQ=WEEKLY');INSERT INTO tblOrginizeSeries (OrgRow, Start, SeriesRow, RecurrenceId) VALUES (3, "
    "'20260421T100000', 1, '20260421T083000')";
const QStringList kStored = {"1|3/31/26|8:30AM|9:00 AM|Standup", "2|4/30/26|8:30AM|9:00 AM|Dentist",
                             "3|4/21/26|10:00AM|10:30 AM|Late standup"};
const QStringList kSeries = {"1|20260331T083000|20260331T090000|FREQ=WEEKLY||0|",
                             "3|20260421T100000||||1|20260421T083000"};
}  // namespace

// What a save or a delete of the planner's pages stores, row by row.
class TestAppointments : public QObject {
    Q_OBJECT
    using Op = std::function<void(Appointments&, const std::function<Occurrences::Entry(int, const char*)>&)>;
    QList<Op> m_ops;

private slots:
    void table_data()
    {
        QTest::addColumn<int>("op");
        // The rows of tblOrginize and of tblOrginizeSeries that differ from
        // kDays afterwards, by key: written ("n|..."), or gone ("-n").
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("series");
        QTest::addColumn<QString>("keys");  // the rows the notice names
        const auto row = [this](const char* name, const Op& op, QStringList stored, QStringList series, QString keys) {
            QTest::newRow(name) << int(m_ops.size()) << stored << series << keys;
            m_ops << op;
        };
        row(
            "new, trimmed, repeating from its day",
            [](Appointments& a, auto) {
                a.save({{2026, 4, 6}, " 8:30AM ", " 9:00 AM ", " Course ", "FREQ=DAILY"}, {});
            },
            {"4|4/6/26|8:30AM|9:00 AM|Course"}, {"4|20260406T083000|20260406T090000|FREQ=DAILY||0|"}, "4");
        row(
            "new without a time: whole days",
            [](Appointments& a, auto) {
                a.save({{2026, 4, 6}, "PM", "--------", "Fair", "FREQ=YEARLY"}, {});
            },
            {"4|4/6/26|PM|--------|Fair"}, {"4|20260406||FREQ=YEARLY||0|"}, "4");
        row(
            "new, not repeating",
            [](Appointments& a, auto) {
                a.save({{2026, 4, 6}, "1:00PM", "", "Call", ""}, {});
            },
            {"4|4/6/26|1:00PM||Call"}, {}, "4");
        row(
            "changed, on the page's day",
            [](Appointments& a, auto at) {
                a.save({{2026, 5, 1}, "9:00AM", "9:30 AM", "Dentist!", {}}, at(30, "Dentist"));
            },
            {"2|5/1/26|8:30AM|9:30 AM|Dentist!"}, {}, "2");
        row(
            "one occurrence changed keeps its start",
            [](Appointments& a, auto at) {
                a.save({{2026, 4, 14}, "x", "9:30 AM", "Standup 2", {}}, at(14, "Standup"), Scope::One);
            },
            {"4|4/14/26|8:30AM|9:30 AM|Standup 2"}, {"4|20260414T083000|20260414T093000|||1|20260414T083000"}, "4");
        row(
            "the whole series keeps its first day",
            [](Appointments& a, auto at) {
                a.save({{2026, 4, 14}, "x", "9:30 AM", "Team", "FREQ=DAILY"}, at(14, "Standup"));
            },
            {"1|3/31/26|8:30AM|9:30 AM|Team"}, {"1|20260331T083000|20260331T093000|FREQ=DAILY||0|"}, "1");
        row(
            "a rule for one that did not repeat",
            [](Appointments& a, auto at) {
                a.changeRule(at(30, "Dentist"), "FREQ=MONTHLY", {2026, 4, 30});
            },
            {}, {"2|20260430T083000|20260430T090000|FREQ=MONTHLY||0|"}, "2");
        row(
            "no rule for one that did not repeat",
            [](Appointments& a, auto at) {
                a.changeRule(at(30, "Dentist"), "", {2026, 4, 30});
            },
            {}, {}, "");
        row(
            "deleted", [](Appointments& a, auto at) { a.remove(at(30, "Dentist")); }, {"-2"}, {}, "2");
        row(
            "one occurrence left out", [](Appointments& a, auto at) { a.remove(at(7, "Standup"), Scope::One); }, {},
            {"1|20260331T083000|20260331T090000|FREQ=WEEKLY|20260407T083000|0|"}, "1");
        row(
            "the whole series", [](Appointments& a, auto at) { a.remove(at(7, "Standup"), Scope::Whole); }, {"-1"},
            {"-1", "3|20260421T100000||||0|"}, "1,3");
        row(
            "a moved occurrence leaves its day empty",
            [](Appointments& a, auto at) { a.remove(at(21, "Late standup")); }, {"-3"},
            {"1|20260331T083000|20260331T090000|FREQ=WEEKLY|20260421T083000|0|", "-3"}, "1,3");
    }
    void table()
    {
        QFETCH(int, op);
        QFETCH(QStringList, stored);
        QFETCH(QStringList, series);
        QFETCH(QString, keys);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QTemporaryDir dir;
        const QString db = dir.filePath("t.db");
        Connection con;
        con.Open(db);
        Db::exec(db, kDays);
        Appointments appointments(con);
        QCoreApplication::processEvents();
        QStringList named;
        QObject listening;
        connect(&RecordsChanged::instance(), &RecordsChanged::changed, &listening, [&](const RecordsChange& c) {
            for (const qint64 key : c.appointments)
                named << QString::number(key);
        });
        m_ops[op](appointments, [&](int day, const char* note) {
            for (const Occurrences::Entry& e : appointments.onDay({2026, 4, day}))
                if (e.note == QLatin1String(note))
                    return e;
            qFatal("no %s on %d", note, day);
        });
        const auto expect = [](QStringList rows, const QStringList& changes) {
            for (const QString& c : changes) {
                const QString key = c.startsWith('-') ? c.mid(1) : c.section('|', 0, 0);
                const auto at =
                    std::find_if(rows.begin(), rows.end(), [&](auto& r) { return r.section('|', 0, 0) == key; });
                at == rows.end() ? void(rows << c) : c.startsWith('-') ? void(rows.erase(at)) : void(*at = c);
            }
            rows.sort();
            return rows;
        };
        const auto sorted = [&](const char* table, const QStringList& fields) {
            QStringList rows = Db::joined(db, table, fields);
            rows.sort();
            return rows;
        };
        QCOMPARE(sorted("tblOrginize", {"OrgRow", "DateValue", "TimeStart", "TimeFinished", "Note"}),
                 expect(kStored, stored));
        QCOMPARE(
            sorted("tblOrginizeSeries", {"OrgRow", "Start", "Finish", "Rule", "ExDates", "SeriesRow", "RecurrenceId"}),
            expect(kSeries, series));
        QCoreApplication::processEvents();
        named.sort();
        QCOMPARE(named.join(','), keys);
    }
};

QTEST_GUILESS_MAIN(TestAppointments)
#include "test_appointments.moc"
