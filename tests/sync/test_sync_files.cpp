// Imports and exports on a real database: the files of tests/data/vcard and
// tests/data/ical, their exports read by python3-vobject; then what takes
// more than one step, the command line and the File menu.
#include <sqlite3.h>

#include <QAction>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include "kit/Clock.h"
#include "kit/Occurrences.h"
#include "shell/frmMain.h"
#include "store/Connection.h"
#include "store/SearchIndex.h"
#include "support/Files.h"
#include "support/Fixture.h"
#include "support/Golden.h"
#include "support/Run.h"
#include "sync/SyncFiles.h"
#include "sync/SyncRecords.h"

namespace {

QString python(const QStringList& args)
{
    QString out;
    run(QStringLiteral("/usr/bin/python3"), args, &out);
    return out;
}

// Each contact row as "FirstName|LastName|...|Comments".
QStringList contactRows(const QString& db)
{
    return Db::joined(db, "tblAddress",
                      {"FirstName", "LastName", "HomeAddress", "Suburb", "PostCode", "Email", "HomePhone", "Mobile",
                       "ICQ", "WebAddress", "Comments"});
}

// Two cards that can be read and one that cannot.
const QByteArray kCards = readFile(Golden::folder("vcard") + "/mixed.vcf");

}  // namespace

class TestSyncFiles : public QObject {
    Q_OBJECT
    std::unique_ptr<AppFixture> fx;
    QString file(const QString& name) const { return fx->appDir() + u'/' + name; }

    // What the program made of a file: the import, the rows stored, their
    // export, what vobject reads in that, and the export imported again.
    QString madeOf(const QString& input, const TableShape& shape, FileOutcome (*import)(const QString&),
                   FileOutcome (*exportTo)(const QString&))
    {
        const QString out = file("export." + QFileInfo(input).suffix());
        const auto said = [&](const FileOutcome& r) {
            return (r.ok ? "ok: " : "failed: ")
                   + QString(r.message).remove(QFileInfo(input).path() + '/').remove(file(QString())) + '\n';
        };
        QString made = "== import\n" + said(import(input));
        // Changes made here before the export, when the input comes with them.
        const QString edits = QFileInfo(input).path() + '/' + QFileInfo(input).completeBaseName() + ".sql";
        if (QFileInfo::exists(edits))
            Db::exec(fx->dbPath(), QString::fromUtf8(readFile(edits)));
        made += "== " + shape.table + '\n';
        for (const QVariantMap& row : Db::rows(fx->dbPath(), shape.table)) {
            made += shape.key + '=' + row.value(shape.key).toString() + '\n';
            for (const QString& f : shape.fields)
                if (!row.value(f).toString().isEmpty())
                    made += f + '=' + Golden::escaped(row.value(f).toString()) + '\n';
        }
        // How a row repeats or which days it covers, beside it.
        if (shape.kind == u"appointment")
            for (const QVariantMap& series : Db::rows(fx->dbPath(), "tblOrginizeSeries")) {
                QStringList set;
                for (auto f = series.begin(); f != series.end(); ++f)
                    if (!f.value().toString().isEmpty() && f.value().toString() != u"0")
                        set << f.key() + '=' + f.value().toString();
                made += "Series: " + set.join(' ') + '\n';
            }
        // Four weeks from the first repeating one's start, as the pages show them.
        QString first;
        for (const QVariantMap& series : Db::rows(fx->dbPath(), "tblOrginizeSeries"))
            for (const QVariantMap& row : Db::rows(fx->dbPath(), shape.table))
                if (first.isEmpty() && !series.value("Rule").toString().isEmpty() && row["OrgRow"] == series["OrgRow"])
                    first = row["DateValue"].toString();
        if (shape.kind == u"appointment" && !first.isEmpty()) {
            Connection con;
            con.Open(fx->dbPath());
            const QDate from = *Clock::parseDate(first);
            for (const Occurrences::Entry& e : Occurrences::between(con, from, from.addDays(27)))
                made += "Day: " + Clock::dateText(e.date) + ' ' + e.start + ' ' + Golden::escaped(e.note) + '\n';
        }
        // What of each record has no field: shown beside it, kept in its object.
        for (const QVariantMap& kept : Db::rows(fx->dbPath(), "tblSyncKept"))
            if (!kept.value("More").toString().isEmpty())
                made += "More=" + Golden::escaped(kept.value("More").toString()) + '\n';
        made += "== export, every line ending in CR LF\n" + said(exportTo(out));
        made += Golden::crlfLines(readFile(out)) + "== read by vobject\n";
        made += python({qEnvironmentVariable("TESSALY_SOURCE_DIR") + "/tests/sync/vobject_reads.py", out});
        return made + "== the export imported\n" + said(import(out));
    }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        fx->makeDataFolder();
    }
    void cleanup() { fx.reset(); }

    void vcard_data() { Golden::addRows("vcard", {"*.vcf"}); }
    void vcard()
    {
        QFETCH(QString, input);
        Golden::compare(input,
                        madeOf(input, TableShape::contacts(), SyncFiles::importContacts, SyncFiles::exportContacts));
    }

    void ical_data() { Golden::addRows("ical", {"*.ics"}); }
    void ical()
    {
        QFETCH(QString, input);
        Golden::compare(input, madeOf(input, TableShape::appointments(), SyncFiles::importAppointments,
                                      SyncFiles::exportAppointments));
    }

    // To-dos in the same files, with tblTask.
    void vtodo_data() { Golden::addRows("vtodo", {"*.ics"}); }
    void vtodo()
    {
        QFETCH(QString, input);
        Golden::compare(
            input, madeOf(input, TableShape::tasks(), SyncFiles::importAppointments, SyncFiles::exportAppointments));
    }

    // A card read, one field changed here, written again: every other line
    // goes back as it came, the changed property alone is replaced.
    void oneFieldChanged_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("edit");  // SQL on tblAddress
        QTest::addColumn<QStringList>("gone");
        QTest::addColumn<QStringList>("added");
        const QString grouped = "grouped-labels.vcf", old = "2.1-quoted-printable-charset.vcf";
        QTest::newRow("note added before END")
            << grouped << "Comments = 'met in Kew; twice'" << QStringList{} << QStringList{"NOTE:met in Kew\\; twice"};
        // Version 2.1 stays 2.1: the new text goes quoted-printable in UTF-8.
        QTest::newRow("2.1 first name")
            << old << "FirstName = 'Jörg'"
            << QStringList{"N;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:M=FCller;J=FCrgen;;;",
                           "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BCller"}
            << QStringList{"N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=B6rg;;;",
                           "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=B6rg M=C3=BCller"};
        // The post code was cut to its box; a change of the suburb leaves it whole.
        QTest::newRow("2.1 suburb, long post code kept")
            << old << "Suburb = 'Bonn'"
            << QStringList{"ADR;HOME;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:;;Hauptstra=C3=9Fe "
                           "1;K=C3=B6ln;;50667;Deutschl=",
                           "and"}
            << QStringList{
                   "ADR;HOME;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:;;Hauptstra=C3=9Fe 1;Bonn;;50667;Deutschland"};
    }
    void oneFieldChanged()
    {
        QFETCH(QString, input);
        QFETCH(QString, edit);
        QFETCH(QStringList, gone);
        QFETCH(QStringList, added);
        const QByteArray original = readFile(Golden::folder("vcard") + u'/' + input);
        writeFile(file("in.vcf"), original);
        QVERIFY(SyncFiles::importContacts(file("in.vcf")).ok);
        Db::exec(fx->dbPath(), "UPDATE tblAddress SET " + edit);
        QVERIFY(SyncFiles::exportContacts(file("out.vcf")).ok);
        QStringList before = QString::fromUtf8(original).split("\r\n"),
                    after = QString::fromUtf8(readFile(file("out.vcf"))).split("\r\n");
        for (const QString& line : QStringList(before))
            if (after.removeOne(line))
                before.removeOne(line);
        // A card without a UID is given the one its record was stored under.
        if (!original.contains("\nUID:"))
            QCOMPARE(after.removeIf([](const QString& l) { return l.startsWith("UID:tessaly-content-"); }), 1);
        QCOMPARE(before, gone);
        QCOMPARE(after, added);
    }

    // Cards and events as phones and other programs write them
    // (scripts/make-test-inputs.py), one field changed here: python3-vobject
    // or python3-icalendar reads every other property of the export as it
    // read the original (peer_differs.py lists what it reads differently).
    void peerReadsTheRestUnchanged_data()
    {
        QTest::addColumn<QString>("input");  // under tests/data
        QTest::addColumn<QString>("edit");   // SQL
        QTest::addColumn<QString>("differs");
        const char *phone = "vcard/vobject-phone-3.0.vcf", *meeting = "ical/icalendar-phone-meeting.ics",
                   *parts = "ical/note-parts.ics", *todos = "vtodo/three-deep.ics";
        const struct {
            const char *row, *input, *edit;
            QString differs;
        } rows[] = {
            {"mobile", phone, "tblAddress SET Mobile = '0400 000 000'", "- TEL\n+ TEL\n"},
            {"note", phone, "tblAddress SET Comments = 'Call first'", "- NOTE\n+ NOTE\n"},
            {"e-mail cleared", phone, "tblAddress SET Email = ''", "- EMAIL\n"},
            {"grouped, last name", "vcard/grouped-labels.vcf", "tblAddress SET LastName = 'Rowe'",
             "- N\n- FN\n+ N\n+ FN\n"},
            {"PREF=1 changed", "vcard/email-pref.vcf",
             "tblAddress SET Email = 'ann@new.example' WHERE FirstName = 'Ann'", "- EMAIL\n+ EMAIL\n"},
            {"series' note", meeting, "tblOrginize SET Note = 'Team sync' WHERE Note = 'Team meeting'",
             "- corpus-weekly-1 SUMMARY\n+ corpus-weekly-1 SUMMARY\n"},
            // The note holds the summary, the description and the place: only the changed part goes back anew.
            {"summary, not the rest", parts,
             "tblOrginize SET Note = replace(Note, 'Review', 'Review, late') WHERE Note LIKE 'Review%'",
             "- parts-1 SUMMARY\n+ parts-1 SUMMARY\n"},
            {"a place added", parts,
             "tblOrginize SET Note = Note || char(10) || 'Location: Home' WHERE Note LIKE 'Holiday%'",
             "+ parts-2 LOCATION\n"},
            // Written in the event's own zone, the end it kept reads as it did.
            // A to-do: its alarm, zone and categories as they came, only what changed anew.
            {"to-dos as read", todos, "tblTask SET Title = Title", ""},
            {"to-do done", todos,
             "tblTask SET Completed = '20261209T100000Z', Percent = '100' WHERE Title = 'Shopping'",
             "+ shop COMPLETED\n+ shop PERCENT-COMPLETE\n+ shop STATUS\n"},
            {"sub-task moved", todos, "tblTask SET Parent = 1 WHERE Title = 'Oat milk'",
             "- leaf RELATED-TO\n+ leaf RELATED-TO\n"},
            {"moved one's start", meeting,
             "tblOrginize SET TimeStart = '12:30PM' WHERE Note = 'Team meeting (afternoon)'",
             "- corpus-weekly-1#20260609T100000 DTSTART\n+ corpus-weekly-1#20260609T100000 DTSTART\n"},
        };
        for (const auto& r : rows)
            QTest::newRow(r.row) << QString(r.input) << QString(r.edit) << r.differs;
    }
    void peerReadsTheRestUnchanged()
    {
        QFETCH(QString, input);
        QFETCH(QString, edit);
        QFETCH(QString, differs);
        const QString original = qEnvironmentVariable("TESSALY_SOURCE_DIR") + "/tests/data/" + input,
                      out = file("out." + QFileInfo(input).suffix());
        const bool card = input.endsWith(".vcf");
        QVERIFY((card ? SyncFiles::importContacts : SyncFiles::importAppointments)(original).ok);
        Db::exec(fx->dbPath(), "UPDATE " + edit);
        QVERIFY((card ? SyncFiles::exportContacts : SyncFiles::exportAppointments)(out).ok);
        QCOMPARE(python({qEnvironmentVariable("TESSALY_SOURCE_DIR") + "/tests/sync/peer_differs.py", original, out}),
                 differs);
    }

    // Times changed here are the local ones (UTC, the tests' zone), written
    // back in the zone the event was written in.
    void movedKeepsItsZone()
    {
        QVERIFY(SyncFiles::importAppointments(Golden::folder("ical") + "/icalendar-phone-meeting.ics").ok);
        Db::exec(fx->dbPath(), "UPDATE tblOrginize SET TimeStart = '12:30PM' WHERE Note = 'Team meeting (afternoon)'");
        QVERIFY(SyncFiles::exportAppointments(file("out.ics")).ok);
        const QByteArray out = readFile(file("out.ics"));
        QVERIFY2(out.contains("DTSTART;TZID=Europe/Berlin:20260609T143000\r\nDTEND;TZID=Europe/Berlin:20260609T150000"),
                 out.constData());
    }

    // A kept card that no longer reads: said in the message, and the contact
    // is written from its fields as one made here, never as an empty card.
    void damagedKeptCard()
    {
        writeFile(file("in.vcf"), readFile(Golden::folder("vcard") + "/grouped-labels.vcf"));
        QVERIFY(SyncFiles::importContacts(file("in.vcf")).ok);
        Db::exec(fx->dbPath(), "UPDATE tblSyncKept SET Object = 'BEGIN:VCARD'");
        const FileOutcome r = SyncFiles::exportContacts(file("out.vcf"));
        QCOMPARE(r.message, "Exported 1 contact to " + file("out.vcf")
                                + "; wrote 1 from the fields alone, the card kept with them cannot be read.");
        const QByteArray out = readFile(file("out.vcf"));
        QVERIFY2(out.startsWith("BEGIN:VCARD\r\nVERSION:4.0\r\nUID:ab-1\r\nFN:Kim Roe\r\n"), out.constData());
    }

    // The first import of this file is a case of vcard().
    void importTwiceAddsNothingTwice()
    {
        writeFile(file("a.vcf"), kCards);
        SyncFiles::importContacts(file("a.vcf"));
        const QStringList first = contactRows(fx->dbPath());
        QVERIFY(SyncFiles::importContacts(file("a.vcf")).message.contains(": 0 added, 0 updated, 2 unchanged;"));
        QCOMPARE(contactRows(fx->dbPath()), first);

        // A changed card updates its row in place; a deleted row comes back once.
        writeFile(file("a.vcf"), QByteArray(kCards).replace("ann@x.org", "ann@y.org\r\nORG:Acme"));
        // The new row typed in meanwhile gets the deleted row's key, but not its UID.
        Db::exec(fx->dbPath(), "DELETE FROM tblAddress WHERE FirstName = 'Bo'");
        Db::exec(fx->dbPath(), "INSERT INTO tblAddress (FirstName) VALUES ('New')");
        QVERIFY(SyncFiles::importContacts(file("a.vcf")).message.contains(": 1 added, 1 updated, 0 unchanged;"));
        QCOMPARE(contactRows(fx->dbPath()),
                 (QStringList{QString(first[0]).replace("x.org", "y.org"), "New||||||||||", first[1]}));
        QCOMPARE(Db::rows(fx->dbPath(), "tblAddress").value(0).value("Org_ID").toInt(), 1);
        // A window that had the store open finds the change, and not what it replaced.
        sqlite3* db = nullptr;
        sqlite3_open(fx->dbPath().toUtf8(), &db);
        const size_t found = SearchIndex::search(db, QStringLiteral("acme y.org")).size();
        const size_t before = SearchIndex::search(db, QStringLiteral("x.org")).size();
        sqlite3_close(db);
        QCOMPARE(found, 1u);
        QCOMPARE(before, 0u);
        // The newer card is the one kept: what it has without a field goes out with it.
        SyncFiles::exportContacts(file("out.vcf"));
        QVERIFY(readFile(file("out.vcf")).contains("EMAIL:ann@y.org\r\nORG:Acme\r\n"));
    }

    void refusedRecordLeavesNoTrace()
    {
        writeFile(file("a.vcf"), kCards);
        Db::exec(
            fx->dbPath(),
            "CREATE TABLE IF NOT EXISTS tblSyncMap (Kind TEXT NOT NULL, UID TEXT NOT NULL, "
            "LocalKey INTEGER, Href TEXT NOT NULL DEFAULT '', ETag TEXT NOT NULL DEFAULT '', PRIMARY KEY (Kind, UID))");
        Db::exec(fx->dbPath(), "CREATE TRIGGER refuse BEFORE INSERT ON tblSyncMap WHEN NEW.UID <> 'one' "
                               "BEGIN SELECT RAISE(ABORT, 'refused'); END");
        const FileOutcome r = SyncFiles::importContacts(file("a.vcf"));
        QVERIFY(!r.ok);
        QVERIFY(r.message.endsWith("; stopped, the rest was not stored: refused."));
        // The second card's row was written before its map entry was refused: it is gone with it.
        QCOMPARE(contactRows(fx->dbPath()), QStringList{"Ann|Lee||||ann@x.org|||||"});
    }

    // An export larger than the megabyte pieces it is written in has every
    // card once; one that cannot be written gives no contact a UID.
    void largeExport()
    {
        Db::exec(fx->dbPath(), "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                               "INSERT INTO tblAddress (FirstName, Comments) SELECT 'P' || i, printf('%.500c', 'x') "
                               "FROM n");
        QVERIFY(!SyncFiles::exportContacts(file("nowhere/x.vcf")).ok);
        QCOMPARE(Db::rows(fx->dbPath(), "tblSyncMap").size(), 0);
        QVERIFY(SyncFiles::exportContacts(file("big.vcf")).message.startsWith("Exported 3000 contacts"));
        QVERIFY(QFileInfo(file("big.vcf")).size() > 1024 * 1024);
        QVERIFY(SyncFiles::importContacts(file("big.vcf")).message.endsWith(": 0 added, 0 updated, 3000 unchanged."));
    }

    void commandLine()
    {
        const QString exe = copyProgram(fx->appDir());
        QVERIFY(exe == file("tessaly"));
        writeFile(file("a.vcf"), kCards.left(kCards.indexOf("BEGIN:VCARD\r\nVERSION:4.0\r\nN:broken")));
        QString out;
        // The window's connection holds the write lock for a moment: the import waits for it.
        sqlite3* db = nullptr;
        sqlite3_open(fx->dbPath().toUtf8(), &db);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        QTimer::singleShot(1500, [db] { sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); });
        QProcess p;
        p.start(exe, {"--import-contacts", file("a.vcf"), "--export-contacts", file("out.vcf")});
        QVERIFY(waitFor([&] { return p.state() == QProcess::NotRunning; }, 20000));
        sqlite3_close(db);
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), "Imported 2 contacts from " + file("a.vcf")
                                                                   + ": 2 added, 0 updated, 0 unchanged.\n"
                                                                     "Exported 2 contacts to "
                                                                   + file("out.vcf") + ".\n");
        QCOMPARE(p.exitCode(), 0);
        // What an import adds is found at once.
        QCOMPARE(run(exe, {"--search", "an", "LE"}, &out), 0);
        QCOMPARE(out, QStringLiteral("Contact\tAnn Lee\n"));
        QVERIFY(QFile::rename(fx->dbPath(), fx->dbPath() + ".away"));
        QCOMPARE(run(exe, {"--search", "ann"}, &out), 1);
        QVERIFY(QFile::rename(fx->dbPath() + ".away", fx->dbPath()));
        QCOMPARE(run(exe, {"--import-appointments", file("a.vcf")}, &out), 1);
        QCOMPARE(out, file("a.vcf") + " is not an iCalendar file.\n");
        QCOMPARE(run(exe, {"--export-contacts", file("out.vcf"), "--bogus"}, &out), 2);
        QCOMPARE(out, QStringLiteral("tessaly: unknown option --bogus (try --help)\n"));
        QCOMPARE(run(exe, {"--export-contacts"}, &out), 2);
        QCOMPARE(run(exe, {"--help"}, &out), 0);
        QVERIFY(out.contains("--import-appointments FILE") && out.contains("  --sync\n"));
        Db::exec(fx->dbPath(), "INSERT INTO tblOrginize (DateValue, Note) VALUES ('not a date', 'x')");
        QCOMPARE(run(exe, {"--export-appointments", file("p.ics")}, &out), 1);
        QCOMPARE(out, "Exported 0 appointments to " + file("p.ics") + "; left out 1 whose date cannot be read.\n");
        QCOMPARE(run(exe, {"--export-contacts", file("nowhere/x.vcf")}, &out), 1);
        QCOMPARE(out, "Cannot write " + file("nowhere/x.vcf") + ": No such file or directory.\n");
    }

    // Where the short date has four digits, a year past what libical writes
    // can be stored: the export leaves it out and says so, never writing
    // DTSTART:00000000T000000.
    void yearPastTheCalendarsIsLeftOut()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        Db::exec(fx->dbPath(),
                 "INSERT INTO tblOrginize (DateValue, Note) VALUES ('02/06/4052', 'far'), ('02/06/2026', 'near')");
        QCOMPARE(SyncFiles::exportAppointments(file("far.ics")).message,
                 "Exported 1 appointment to " + file("far.ics") + "; left out 1 whose date cannot be read.");
        const QByteArray written = readFile(file("far.ics"));
        QVERIFY(written.contains("SUMMARY:near") && !written.contains("far") && !written.contains("00000000"));
    }

    // A series made here with an end date, exported where the clock is in
    // a zone: its UNTIL is the end of that day in UTC (a date for whole
    // days), and python-dateutil expands it to the days the planner shows.
    void untilReadByDateutil()
    {
        Db::exec(fx->dbPath(), "INSERT INTO tblOrginize (OrgRow, DateValue, TimeStart, TimeFinished, Note) VALUES "
                               "(1, '10/1/26', '9:00AM', '9:30 AM', 'Timed'), (2, '10/1/26', '', '', 'Whole days');"
                               "INSERT INTO tblOrginizeSeries (OrgRow, Start, Finish, Rule) VALUES "
                               "(1, '20261001T090000', '20261001T093000', 'FREQ=DAILY;UNTIL=20261005T235959'), "
                               "(2, '20261001', '', 'FREQ=DAILY;UNTIL=20261005')");
        QVERIFY(copyProgram(fx->appDir()) == file("tessaly"));
        for (const auto& [zone, until, last] : {std::tuple{"Europe/Berlin", "20261005T215959Z", "09:00:00+02:00"},
                                                {"America/New_York", "20261006T035959Z", "09:00:00-04:00"}}) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("TZ", zone);
            env.insert("LC_ALL", "en_US.UTF-8");  // the short dates the rows hold
            p.setProcessEnvironment(env);
            p.start(file("tessaly"), {"--export-appointments", file("z.ics")});
            QVERIFY(p.waitForFinished(20000) && p.exitCode() == 0);
            const QByteArray written = readFile(file("z.ics"));
            QVERIFY2(written.contains("RRULE:FREQ=DAILY;UNTIL=" + QByteArray(until) + "\r\n")
                         && written.contains("RRULE:FREQ=DAILY;UNTIL=20261005\r\n"),
                     written.constData());
            QCOMPARE(
                python({qEnvironmentVariable("TESSALY_SOURCE_DIR") + "/tests/sync/dateutil_reads.py", file("z.ics")}),
                "Timed: 5, the last 2026-10-05T" + QString(last) + "\nWhole days: 5, the last 2026-10-05T00:00:00\n");
        }
    }

    void fileMenu()
    {
        writeFile(file("a.vcf"), kCards);
        QDir(fx->dataDir()).removeRecursively();
        frmMain* main = fx->openMainWindow();
        fx->makeDataFolder();
        fx->fileAnswers = {file("a.vcf"), std::nullopt};
        main->findChild<QAction*>("mnuImportContacts")->trigger();
        QCOMPARE(fx->messages.size(), 1);
        QVERIFY(fx->messages[0].text.startsWith("Imported 2 contacts from "));
        QCOMPARE(fx->messages[0].icon, MsgIcon::Exclamation);  // one card was skipped
        QCOMPARE(contactRows(fx->dbPath()).size(), 2);
        main->findChild<QAction*>("mnuExportAppointments")->trigger();  // cancelled: nothing happens
        QCOMPARE(fx->fileRequests.value(1).kind, FileDialogRequest::Save);
        QCOMPARE(fx->messages.size(), 1);
        main->lockProgram();
        QVERIFY(!main->findChild<QAction*>("mnuExportContacts")->isEnabled());
    }
};

QTEST_MAIN(TestSyncFiles)
#include "test_sync_files.moc"
