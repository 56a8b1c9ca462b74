#include <QDBusConnection>
#include <QProcess>
#include <QTest>

#include "kit/Clock.h"
#include "planner/AppointmentReminders.h"
#include "support/Fixture.h"

using Times = QList<QDateTime>;
namespace {
const QDate kDay(2026, 5, 15);
QDateTime at(int h, int m, int s = 0, int ms = 0, int day = 0)
{
    return QDateTime(kDay.addDays(day), QTime(h, m, s, ms));
}
// In the order they were saved, not the order of the day; one start typed between half hours.
const QList<Reminders::Appointment> kPlan = {
    {"10:00AM", "Call"}, {"9:00AM", "Dentist"}, {"7:30AM", "Run"}, {"PM", "Heading"}, {"12:10PM", "Tea"}};
const QString kMissed = Reminders::kMissedSummary + "|", kDue = "Appointment at %1|%2";
}  // namespace

// The notification service of the desktop, as far as a test needs it.
class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList calls;
public slots:
    uint Notify(const QString& app, uint, const QString& icon, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap& hints, int timeout)
    {
        calls << QStringList{app, icon, hints["desktop-entry"].toString(), QString::number(timeout), summary, body}
                     .join('|');
        return uint(calls.size());
    }
};

class TestReminders : public QObject {
    Q_OBJECT

private slots:
    // Looks at start-up (the last run looked at `previous`) and while running: per look its notices
    // ("summary|body", joined by " / ") and when it looks next.
    void looks_data()
    {
        QTest::addColumn<QDateTime>("previous");
        QTest::addColumn<Times>("looks");
        QTest::addColumn<QStringList>("notices");
        QTest::addColumn<Times>("next");
        QTest::newRow("only what started since the last run")
            << at(9, 0) << Times{at(12, 0)} << QStringList{kMissed + "10:00AM  Call"} << Times{at(12, 10)};
        QTest::newRow("on time, once each")
            << QDateTime() << Times{at(8, 59, 59, 700), at(9, 0), at(9, 29), at(12, 10)}
            << QStringList{kMissed + "7:30AM  Run", kDue.arg("9:00AM", "Dentist"), "",
                           kDue.arg("10:00AM", "Call") + " / " + kDue.arg("12:10PM", "Tea")}
            << Times{at(9, 0), at(9, 30), at(9, 30), at(12, 30)};
        QTest::newRow("clock set back") << QDateTime() << Times{at(9, 55), at(10, 0), at(9, 59), at(10, 0)}
                                        << QStringList{kMissed + "7:30AM  Run\n9:00AM  Dentist",
                                                       kDue.arg("10:00AM", "Call"), "", ""}
                                        << Times{at(10, 0), at(10, 30), at(10, 0), at(10, 30)};
        QTest::newRow("midnight") << QDateTime() << Times{at(23, 45), at(0, 0, 0, 0, 1)}
                                  << QStringList{kMissed + "7:30AM  Run\n9:00AM  Dentist\n10:00AM  Call\n12:10PM  Tea",
                                                 ""}
                                  << Times{at(0, 0, 0, 0, 1), at(0, 30, 0, 0, 1)};
    }
    void looks()
    {
        QFETCH(QDateTime, previous);
        QFETCH(Times, looks);
        QFETCH(QStringList, notices);
        QFETCH(Times, next);
        Reminders::Schedule schedule;
        for (int i = 0; i < looks.size(); ++i) {
            const auto plan = looks[i].date() == kDay ? kPlan : QList<Reminders::Appointment>{};  // the store's answer
            const Reminders::Plan p = i == 0 ? schedule.begin(plan, looks[i], previous) : schedule.look(plan, looks[i]);
            QStringList texts;
            for (const Reminders::Notice& n : p.notices)
                texts << n.summary + "|" + n.body;
            QCOMPARE(texts.join(" / "), notices[i]);
            QCOMPARE(p.nextLook, next[i]);
        }
    }

    // The program's store and timer against a real session bus with a notification service of our own.
    void notifiesThroughTheSessionBus()
    {
        QProcess bus;  // dbus-daemon comes with scripts/install-deps.sh; without it this fails, never skips
        bus.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        QVERIFY2(bus.waitForReadyRead(10000), "dbus-daemon --session did not start");
        const QByteArray address = bus.readLine().trimmed();
        auto stopBus = qScopeGuard([&] { bus.kill(), bus.waitForFinished(); });
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);  // the program connects on first use
        QDBusConnection serviceBus = QDBusConnection::connectToBus(QString::fromUtf8(address), "service");
        NotificationService service;
        QVERIFY(serviceBus.registerService("org.freedesktop.Notifications"));
        QVERIFY(serviceBus.registerObject("/org/freedesktop/Notifications", &service, QDBusConnection::ExportAllSlots));

        AppFixture fx(at(10, 59, 59, 800));
        fx.makeDataFolder();
        for (const auto& [day, start, note] : {std::tuple{0, "10:00AM", "Call"},
                                               {0, "11:00AM", "Dentist"},
                                               {1, "9:00AM", "Tomorrow"},
                                               {0, "7:30AM", "Run"},
                                               {0, "11:30AM", "Lunch"}})
            Db::exec(fx.dbPath(), QString("INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) "
                                          "VALUES ('%1', '%2', '', '%3')")
                                      .arg(Clock::dateText(kDay.addDays(day)), start, note));
        // Tasks due today: at their time, or as the day begins; not once done.
        Db::exec(fx.dbPath(), QString("INSERT INTO tblTask (Title, Due, Completed) VALUES ('Rent', '%1T113000', ''), "
                                      "('Plants', '%1', ''), ('Post', '%1T110000', ''), "
                                      "('Done', '%1', '%1T080000Z')")
                                  .arg(kDay.toString("yyyyMMdd")));
        const QString head = "Tessaly 2002|org.tessaly.Tessaly|org.tessaly.Tessaly|-1|";
        auto reminders = std::make_unique<AppointmentReminders>();
        reminders->start();
        QVERIFY(waitFor([&] { return service.calls.size() == 1; }));
        Clock::setFixed(at(11, 0));  // the program's own timer fires at the slot
        QVERIFY(waitFor([&] { return service.calls.size() == 3; }, 3000));
        // Closed at 11:00, started again at 12:10: only what passed meanwhile.
        reminders.reset();
        Clock::setFixed(at(12, 10));
        reminders = std::make_unique<AppointmentReminders>();
        reminders->start();
        QVERIFY(waitFor([&] { return service.calls.size() == 4; }));
        QCOMPARE(service.calls,
                 QStringList({head + kMissed + "12:00AM  To do: Plants\n7:30AM  Run\n10:00AM  Call",
                              head + kDue.arg("11:00AM", "Dentist"), head + "Task due at 11:00AM|To do: Post",
                              head + kMissed + "11:30AM  Lunch\n11:30AM  To do: Rent"}));
    }
};

QTEST_MAIN(TestReminders)
#include "test_reminders.moc"
