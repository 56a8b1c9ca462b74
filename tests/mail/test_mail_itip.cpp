// Meeting invitations as other calendar programs and servers send them
// (tests/data/itip), read, answered and kept in the planner.
#include "MailTest.h"

#include "kit/Invitation.h"
#include "mail/MimeMessage.h"
#include "store/Connection.h"
#include "support/Files.h"
#include "support/Golden.h"
#include "sync/InvitationPlanner.h"
#include "sync/SyncFiles.h"

#include <QLocale>
#include <QProcess>
#include <QTest>
#include <QTimeZone>

using namespace Invitation;

namespace {
const QString kMe = QStringLiteral("bob@example.org");

// The calendar part of a message, or the file itself.
Invite invite(const QString& path)
{
    const QByteArray raw = readFile(path.contains(u'/') ? path : Golden::folder(QStringLiteral("itip")) + u'/' + path);
    return read(path.endsWith(QLatin1String(".eml")) ? decodeMime(raw).calendar : raw, {kMe});
}

QString field(const AppFixture& app, const QString& table, const QString& column, int row)
{
    return Db::rows(app.dbPath(), table).value(row).value(column).toString();
}
}  // namespace

class TestItip : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // What the bar says of each, then the tentative answer with a comment,
    // as python3-icalendar reads it back. An event of our own planner is
    // sent: the REQUEST, a new version with one attendee left out and its
    // CANCEL. A REPLY is applied to that event as invited.
    void readAndAnswered_data() { Golden::addRows("itip", {"*.ics", "*.eml"}); }
    void readAndAnswered()
    {
        QFETCH(QString, input);
        const Invite in = invite(input);
        const QDateTime stamp(QDate(2026, 12, 9), QTime(8, 0), QTimeZone::utc());
        const auto readBack = [](const QByteArray& message) {
            QProcess python;
            python.start(QStringLiteral("/usr/bin/python3"),
                         {qEnvironmentVariable("TESSALY_SOURCE_DIR") + QStringLiteral("/tests/mail/itip_check.py")});
            python.write(message);
            python.closeWriteChannel();
            python.waitForFinished(30000);
            return QStringLiteral("%1Read back: %2")
                .arg(Golden::crlfLines(message),
                     QString::fromUtf8(python.readAllStandardOutput() + python.readAllStandardError()));
        };
        const QStringList guests = {QStringLiteral("anna@example.com"), QStringLiteral("carl@example.com")};
        QString made = QStringLiteral("Reason=%1\n").arg(in.reason);
        if (in.reason.isEmpty())
            made += QStringLiteral("Method=%1\nUID=%2\nSequence=%3\nOccurrence=%4\nRule=%5\nBar=%6\n")
                        .arg(in.method, in.uid)
                        .arg(in.sequence)
                        .arg(in.recurrenceId, in.rule, Golden::escaped(describe(in, kMe)));
        if (in.reason.isEmpty() && in.method == QLatin1String("REQUEST"))
            made += QStringLiteral("Subject=%1\nReply:\n%2")
                        .arg(replySubject(in, Answer::Tentative),
                             readBack(reply(in, kMe, Answer::Tentative, QStringLiteral("I may be late."), stamp)));
        if (input.contains(QLatin1String("planner-"))) {
            const QByteArray kept =
                invited(in.calendar, kMe, addressesIn(QStringLiteral("Anna@Example.com (accepted), carl@example.com")));
            const QByteArray update = invited(kept, kMe, {guests.first()});
            made += QStringLiteral("Request:\n%1Update:\n%2Cancel:\n%3")
                        .arg(readBack(message(kept, QStringLiteral("REQUEST"), stamp)),
                             readBack(message(update, QStringLiteral("REQUEST"), stamp)),
                             readBack(message(update, QStringLiteral("CANCEL"), stamp)));
        }
        if (in.reason.isEmpty() && in.method == QLatin1String("REPLY")) {
            QString why;
            const QByteArray ours =
                readFile(Golden::folder(QStringLiteral("itip")) + QStringLiteral("/planner-lunch.ics"));
            const QByteArray applied = withReply(invited(ours, kMe, guests), in, &why);
            made += QStringLiteral("Into the planner: %1\n").arg(applied.isEmpty() ? why : answers(applied));
        }
        Golden::compare(input, made);
    }

    // Overlap with the day's appointments: times that only touch do not
    // clash, one without a finish lasts its half hour, the invitation's own row never clashes.
    void clashesWithThePlanner()
    {
        Invite in;
        in.start = QDateTime(QDate(2026, 12, 15), QTime(10, 0), QTimeZone::utc());
        in.finish = in.start.addSecs(3600);
        const auto entry = [](qint64 row, const char* start, const char* finish, const char* note) {
            Occurrences::Entry e;
            std::tie(e.row, e.date, e.start, e.finish, e.note) =
                std::tuple(row, QDate(2026, 12, 15), QLatin1String(start), QLatin1String(finish), QLatin1String(note));
            return e;
        };
        const QList<Occurrences::Entry> entries = {
            entry(1, "9:00AM", "10:00 AM", "Touches before"),         entry(2, "9:30AM", "", "Short"),
            entry(3, "10:30AM", "11:30 AM", "Overlaps\nsecond line"), entry(4, "", "", "Above the grid"),
            entry(5, "11:00AM", "12:00 PM", "Touches after"),         entry(6, "10:00AM", "", "Own")};
        QCOMPARE(clashes(in, entries, 6), QStringList({QStringLiteral("10:30AM Overlaps")}));
        QCOMPARE(clashes(in, entries, 0),
                 QStringList({QStringLiteral("10:30AM Overlaps"), QStringLiteral("10:00AM Own")}));
    }

    // Each shape of invitation does what it says to the planner: a series
    // kept whole, one occurrence changed, a tentative answer marked, a newer
    // version said and taken, an older one ignored, a cancel removed.
    void intoThePlanner()
    {
        AppFixture app;
        app.makeDataFolder();
        setPlanner(InvitationPlanner::planner());
        const Planner& planner = Invitation::planner();
        const auto take = [&](const Invite& in, Answer a) {
            QCOMPARE(planner.take(answered(in, kMe, a), in.uid, a == Answer::Tentative), QString());
        };
        const auto decided = [&](const Invite& in) {
            const std::optional<Stored> kept = planner.stored(in.uid);
            return decide(in, kept ? std::optional(read(kept->object, {})) : std::nullopt);
        };

        const Invite series = invite(QStringLiteral("series-request.ics"));
        QCOMPARE(decided(series).effect, Effect::New);
        take(series, Answer::Accepted);
        const Invite moved = invite(QStringLiteral("occurrence-request.ics"));
        QCOMPARE(decided(moved).effect, Effect::Occurrence);
        take(moved, Answer::Accepted);
        QCOMPARE(Db::rows(app.dbPath(), QStringLiteral("tblOrginize")).size(), 2);
        QCOMPARE(field(app, QStringLiteral("tblOrginizeSeries"), QStringLiteral("SeriesRow"), 1),
                 field(app, QStringLiteral("tblOrginize"), QStringLiteral("OrgRow"), 0));
        QCOMPARE(field(app, QStringLiteral("tblOrginizeSeries"), QStringLiteral("RecurrenceId"), 1),
                 QStringLiteral("20261216T080000Z"));

        const Invite first = invite(QStringLiteral("alternative-request.eml"));
        take(first, Answer::Tentative);
        QCOMPARE(field(app, QStringLiteral("tblOrginize"), QStringLiteral("Note"), 2),
                 QStringLiteral("Tentative: Budget review\nLocation: Room 4.12"));
        const Invite second = invite(QStringLiteral("attached-request.eml"));
        const Decision update = decided(second);
        QCOMPARE(update.effect, Effect::Update);
        QCOMPARE(
            update.changes,
            QStringList(
                {QStringLiteral("The title is now \"Budget review and plan\" (it was \"Budget review\")."),
                 QStringLiteral("The time is now Tuesday, December 15, 2026, 1:00 PM to 2:30 PM (2:00 PM to 3:30 PM in "
                                "Europe/Berlin) (it was Tuesday, December 15, 2026, 9:00 AM to 10:00 AM "
                                "(10:00 AM to 11:00 AM in Europe/Berlin))."),
                 QStringLiteral("The place is now Room 2.01 (it was Room 4.12).")}));
        take(second, Answer::Accepted);
        QCOMPARE(decided(first).effect, Effect::Outdated);
        QCOMPARE(Db::rows(app.dbPath(), QStringLiteral("tblOrginize")).size(), 3);
        QCOMPARE(field(app, QStringLiteral("tblOrginize"), QStringLiteral("TimeStart"), 2), QStringLiteral("1:00PM"));

        // Kept whole: the UID and the answer go out on export.
        const QString file = app.dataDir() + QStringLiteral("/out.ics");
        QVERIFY(SyncFiles::exportAppointments(file).ok);
        const QByteArray exported = readFile(file);
        for (const char* kept :
             {"UID:budget-2026@example.com", "PARTSTAT=ACCEPTED", "RECURRENCE-ID;TZID=Europe/Berlin"})
            QVERIFY2(exported.contains(kept), kept);

        const Invite cancel = invite(QStringLiteral("inline-cancel.eml"));
        QCOMPARE(decided(cancel).effect, Effect::Cancel);
        QCOMPARE(planner.remove(cancel.uid), QString());
        QCOMPARE(decided(cancel).effect, Effect::CancelUnknown);
        QCOMPARE(Db::rows(app.dbPath(), QStringLiteral("tblOrginize")).size(), 2);

        // One occurrence declined: left out of its series, the row that changed it gone.
        QCOMPARE(
            planner.take(withoutOccurrence(planner.stored(moved.uid)->object, moved.recurrenceId), moved.uid, false),
            QString());
        QCOMPARE(Db::rows(app.dbPath(), QStringLiteral("tblOrginize")).size(), 1);
        Connection con;
        con.Open(app.dbPath());
        QCOMPARE(Occurrences::between(con, QDate(2026, 12, 15), QDate(2026, 12, 17)).size(), 2);
    }
};

QTEST_MAIN(TestItip)
#include "test_mail_itip.moc"
