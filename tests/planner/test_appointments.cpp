#include <memory>

#include <QCoreApplication>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include "planner/Appointments.h"
#include "store/Connection.h"
#include "store/RecordsChanged.h"
#include "store/StoreError.h"
#include "support/Fixture.h"

namespace {
// A weekly standup from Tuesday 3/31/26 at 8:30AM, a dentist on 4/30/26, and
// the standup of 4/21/26 moved to a row of its own (3) at 10:00AM.
const char* const kDays =
    "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES ('3/31/26', '8:30AM', '9:00 AM', "
    "'Standup'), ('4/30/26', '8:30AM', '9:00 AM', 'Dentist'), ('4/21/26', '10:00AM', '10:30 AM', 'Late standup');"
    "INSERT INTO tblOrginizeSeries (OrgRow, Start, Finish, Rule) VALUES (1, '20260331T083000', '20260331T090000', "
    "'FREQ=WEEKLY');INSERT INTO tblOrginizeSeries (OrgRow, Start, SeriesRow, RecurrenceId) VALUES (3, "
    "'20260421T100000', 1, '20260421T083000')";

enum Op { Save, SaveOne, Rule, Remove, RemoveOne };
struct Case {
    const char* name;
    Op op;
    const char* shown;  // the note of the appointment shown on typed.date, or none
    Appointment typed;
    // The rows that differ afterwards, by key, ";" between: of tblOrginize
    // ("n|DateValue|...") or of tblOrginizeSeries ("sn|Start|..."), or gone ("-n").
    const char* changed;
    const char* keys;  // the rows the records-changed notice names
};
// clang-format off
const Case kCases[] = {
    {"new, trimmed, repeating from its day", Save, "", {{2026, 4, 6}, " 8:30AM ", " 9:00 AM ", " Course ", "FREQ=DAILY"},
     "4|4/6/26|8:30AM|9:00 AM|Course;s4|20260406T083000|20260406T090000|FREQ=DAILY||0|", "4"},
    {"new without a time: whole days", Save, "", {{2026, 4, 6}, "PM", "--------", "Fair", "FREQ=YEARLY"},
     "4|4/6/26|PM|--------|Fair;s4|20260406||FREQ=YEARLY||0|", "4"},
    {"new, not repeating", Save, "", {{2026, 4, 6}, "1:00PM", "", "Call", ""}, "4|4/6/26|1:00PM||Call", "4"},
    {"changed, moved to the page's day", Save, "Dentist", {{2026, 4, 30}, "9:00AM", "9:30 AM", "Dentist!", {}},
     "2|4/30/26|8:30AM|9:30 AM|Dentist!", "2"},
    {"one occurrence changed keeps its start", SaveOne, "Standup", {{2026, 4, 14}, "x", "9:30 AM", "Standup 2", {}},
     "4|4/14/26|8:30AM|9:30 AM|Standup 2;s4|20260414T083000|20260414T093000|||1|20260414T083000", "4"},
    {"the whole series keeps its first day", Save, "Standup", {{2026, 4, 14}, "x", "9:30 AM", "Team", "FREQ=DAILY"},
     "1|3/31/26|8:30AM|9:30 AM|Team;s1|20260331T083000|20260331T093000|FREQ=DAILY||0|", "1"},
    {"a rule for one that did not repeat", Rule, "Dentist", {{2026, 4, 30}, {}, {}, {}, "FREQ=MONTHLY"},
     "s2|20260430T083000|20260430T090000|FREQ=MONTHLY||0|", "2"},
    {"no rule for one that did not repeat", Rule, "Dentist", {{2026, 4, 30}, {}, {}, {}, ""}, "", ""},
    {"deleted", Remove, "Dentist", {{2026, 4, 30}, {}, {}, {}, {}}, "-2", "2"},
    {"one occurrence left out", RemoveOne, "Standup", {{2026, 4, 7}, {}, {}, {}, {}},
     "s1|20260331T083000|20260331T090000|FREQ=WEEKLY|20260407T083000|0|", "1"},
    {"the whole series", Remove, "Standup", {{2026, 4, 7}, {}, {}, {}, {}}, "-1;-s1;s3|20260421T100000||||0|", "1,3"},
    {"a moved occurrence leaves its day empty", Remove, "Late standup", {{2026, 4, 21}, {}, {}, {}, {}},
     "-3;-s3;s1|20260331T083000|20260331T090000|FREQ=WEEKLY|20260421T083000|0|", "1,3"},
};
// clang-format on
}  // namespace

// What the planner's Save and Delete store, case by case.
class TestAppointments : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir;
    QString db;
    std::unique_ptr<Connection> store;

private slots:
    // Each case on the same few days, in a store of its own.
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        store.reset();  // the last case's store closes before its folder goes
        dir = std::make_unique<QTemporaryDir>();
        db = dir->filePath("t.db");
        store = std::make_unique<Connection>();
        store->Open(db);
        Db::exec(db, kDays);
    }
    void table_data()
    {
        QTest::addColumn<int>("n");
        for (int n = 0; n < int(std::size(kCases)); ++n)
            QTest::newRow(kCases[n].name) << n;
    }
    void table()
    {
        QFETCH(int, n);
        const Case& c = kCases[n];
        const auto rows = [&] {
            QStringList all =
                Db::joined(db, "tblOrginize", {"OrgRow", "DateValue", "TimeStart", "TimeFinished", "Note"});
            for (const QString& s :
                 Db::joined(db, "tblOrginizeSeries",
                            {"OrgRow", "Start", "Finish", "Rule", "ExDates", "SeriesRow", "RecurrenceId"}))
                all << 's' + s;
            all.sort();
            return all;
        };
        QStringList want = rows();
        for (const QString& change : QString(c.changed).split(';', Qt::SkipEmptyParts)) {
            const QString key = change.startsWith('-') ? change.mid(1) : change.section('|', 0, 0);
            want.removeIf([&](const QString& r) { return r.section('|', 0, 0) == key; });
            if (!change.startsWith('-'))
                want << change;
        }
        want.sort();
        Appointments appointments(*store);
        Occurrences::Entry shown;
        for (const Occurrences::Entry& e : appointments.onDay(c.typed.date))
            if (e.note == QLatin1String(c.shown))
                shown = e;
        QStringList keys;
        QObject listening;
        connect(&RecordsChanged::instance(), &RecordsChanged::changed, &listening, [&](const RecordsChange& change) {
            for (const qint64 key : change.appointments)
                keys << QString::number(key);
        });
        using Scope = Appointments::Scope;
        if (c.op == Save || c.op == SaveOne)
            appointments.save(c.typed, shown, c.op == SaveOne ? Scope::One : Scope::Whole);
        else if (c.op == Rule)
            appointments.changeRule(shown, *c.typed.rule, c.typed.date);
        else
            appointments.remove(shown, c.op == RemoveOne ? Scope::One : Scope::Whole);
        QCOMPARE(rows(), want);
        QCoreApplication::processEvents();
        keys.sort();
        QCOMPARE(keys.join(','), QLatin1String(c.keys));
    }

    // The appointment a page shows was deleted meanwhile (by a sync, another
    // window): Save says so and stores nothing; Delete finds nothing to delete.
    void goneMeanwhile()
    {
        Appointments appointments(*store);
        const Occurrences::Entry shown = appointments.onDay({2026, 4, 30}).value(0);
        QCOMPARE(shown.note, QStringLiteral("Dentist"));
        Db::exec(db, "DELETE FROM tblOrginize WHERE OrgRow = 2");
        QVERIFY_THROWS_EXCEPTION(StoreError, appointments.save({{2026, 4, 30}, "9:00AM", "", "Dentist!", {}}, shown));
        QCOMPARE(appointments.remove(shown), Appointments::Removed::Nothing);
        QCOMPARE(Db::joined(db, "tblOrginize", {"Note"}), QStringList({"Standup", "Late standup"}));
    }
};

QTEST_GUILESS_MAIN(TestAppointments)
#include "test_appointments.moc"
