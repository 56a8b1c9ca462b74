// Imports and exports on a real database, read by python3-vobject, through
// the command line and the File menu.
#include <sqlite3.h>

#include <QAction>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include "shell/frmMain.h"
#include "support/Fixture.h"
#include "sync/SyncFiles.h"

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString python(const QString& script, const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), QStringList{"-c", script} + args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

// Each contact row as "FirstName|LastName|...|Comments".
QStringList contactRows(const QString& db)
{
    QStringList out;
    for (const QVariantMap& row : Db::rows(db, "tblAddress")) {
        QStringList f;
        for (const char* name : {"FirstName", "LastName", "HomeAddress", "Suburb", "PostCode", "Email", "HomePhone",
                                 "Mobile", "ICQ", "WebAddress", "Comments"})
            f << row.value(name).toString();
        out << f.join(u'|');
    }
    return out;
}

const QByteArray kCards = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:one\r\nN:Lee;Ann;;;\r\nEMAIL:ann@x.org\r\nEND:VCARD\r\n"
                          "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Bo Wu\r\nTEL;TYPE=work:9\r\nEND:VCARD\r\n"
                          "BEGIN:VCARD\r\nVERSION:4.0\r\nN:broken\r\nnonsense\r\nEND:VCARD\r\n";

}  // namespace

class TestSyncFiles : public QObject {
    Q_OBJECT
    std::unique_ptr<AppFixture> fx;
    QString file(const QString& name) const { return fx->appDir() + u'/' + name; }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        fx->makeDataFolder();
    }
    void cleanup() { fx.reset(); }

    // Calendars of other programs (tests/data/ical/NAME.ics) go out as
    // NAME.expected says: the import's and the export's lines, then the file
    // without DTSTAMP.
    void otherProgramsCalendarsGoOutReadable()
    {
        const QDir data(qEnvironmentVariable("TESSALY_SOURCE_DIR") + "/tests/data/ical");
        const QStringList inputs = data.entryList({"*.ics"});
        QVERIFY(!inputs.isEmpty());
        for (const QString& name : inputs) {
            fx.reset(), fx = std::make_unique<AppFixture>(), fx->makeDataFolder();
            const FileOutcome in = SyncFiles::importAppointments(data.filePath(name));
            const FileOutcome out = SyncFiles::exportAppointments(file("out.ics"));
            const QByteArray got = QString(in.message + '\n' + out.message)
                                       .replace(data.filePath(name), name)
                                       .replace(file("out.ics"), "OUT")
                                       .toUtf8()
                                   + '\n'
                                   + QString::fromUtf8(readFile(file("out.ics")))
                                         .remove(QRegularExpression("DTSTAMP:[^\r]*\r\n"))
                                         .toUtf8();
            if (qEnvironmentVariableIsSet("TESSALY_WRITE_EXPECTED"))
                writeFile(data.filePath(QFileInfo(name).completeBaseName() + ".expected"), got);
            QCOMPARE(got, readFile(data.filePath(QFileInfo(name).completeBaseName() + ".expected")));
        }
    }

    void importTwiceAddsNothingTwice()
    {
        writeFile(file("a.vcf"), kCards);
        FileOutcome r = SyncFiles::importContacts(file("a.vcf"));
        QCOMPARE(r.message,
                 "Imported 2 contacts from " + file("a.vcf")
                     + ": 2 added, 0 updated, 0 unchanged; changed 1 record to fit; skipped 1 malformed card.");
        QVERIFY(!r.ok);  // a skipped card is a failure to report
        const QStringList first{"Ann|Lee||||ann@x.org|||||", "Bo|Wu|||||||||Phone (work): 9"};
        QCOMPARE(contactRows(fx->dbPath()), first);
        r = SyncFiles::importContacts(file("a.vcf"));
        QVERIFY(r.message.contains(": 0 added, 0 updated, 2 unchanged;"));
        QCOMPARE(contactRows(fx->dbPath()), first);

        // A changed card updates its row in place; a deleted row comes back once.
        writeFile(file("a.vcf"), QByteArray(kCards).replace("ann@x.org", "ann@y.org"));
        // The new row typed in meanwhile gets the deleted row's key, but not its UID.
        Db::exec(fx->dbPath(), "DELETE FROM tblAddress WHERE FirstName = 'Bo'");
        Db::exec(fx->dbPath(), "INSERT INTO tblAddress (FirstName) VALUES ('New')");
        QVERIFY(SyncFiles::importContacts(file("a.vcf")).message.contains(": 1 added, 1 updated, 0 unchanged;"));
        QCOMPARE(contactRows(fx->dbPath()), (QStringList{"Ann|Lee||||ann@y.org|||||", "New||||||||||", first[1]}));
        QCOMPARE(Db::rows(fx->dbPath(), "tblAddress").value(0).value("Org_ID").toInt(), 1);
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

    void exportIsExactAndReadByVobject()
    {
        Db::exec(fx->dbPath(), "INSERT INTO tblAddress (FirstName, LastName, Suburb, Mobile, ICQ, Comments) "
                               "VALUES ('Zoë', 'O,Neil', 'Kew', '0400', '42', 'a;b\nc')");
        Db::exec(fx->dbPath(), "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES "
                               "('5/15/26', '8:30AM', '9:00 AM', 'Dentist, 2nd'), ('5/16/26', 'PM', '--------', 'x')");
        FileOutcome r = SyncFiles::exportContacts(file("c.vcf"));
        QCOMPARE(r.message, "Exported 1 contact to " + file("c.vcf") + '.');
        const QString uid = Db::rows(fx->dbPath(), "tblSyncMap").value(0).value("UID").toString();
        QCOMPARE(readFile(file("c.vcf")),
                 "BEGIN:VCARD\r\nVERSION:4.0\r\nUID:" + uid.toUtf8()
                     + "\r\nFN:Zoë O\\,Neil\r\nN:O\\,Neil;Zoë;;;\r\nADR;TYPE=home:;;;Kew;;;\r\nTEL;TYPE=cell:0400\r\n"
                       "IMPP:icq:42\r\nNOTE:a\\;b\\nc\r\nEND:VCARD\r\n");
        QVERIFY(SyncFiles::exportAppointments(file("p.ics")).ok);
        QCOMPARE(
            python(
                "import vobject,sys\n"
                "c=vobject.readOne(open(sys.argv[1]).read())\n"
                "print(c.n.value.family,c.n.value.given,c.adr.value.city,c.tel.value,c.impp.value,repr(c.note.value))\n"
                "for e in vobject.readOne(open(sys.argv[2]).read()).vevent_list:\n"
                "  print(e.dtstart.value,e.summary.value)\n",
                {file("c.vcf"), file("p.ics")}),
            "O,Neil Zoë Kew 0400 icq:42 'a;b\\nc'\n2026-05-15 08:30:00+00:00 Dentist, 2nd\n2026-05-16 x\n");
        // Our own files come back without a change.
        r = SyncFiles::importContacts(file("c.vcf"));
        QVERIFY2(r.ok && r.message.contains(": 0 added, 0 updated, 1 unchanged."), qPrintable(r.message));
        r = SyncFiles::importAppointments(file("p.ics"));
        QVERIFY2(r.ok && r.message.contains(": 0 added, 0 updated, 2 unchanged."), qPrintable(r.message));
    }

    void importsWhatVobjectWrites()
    {
        const QString errors =
            python("import vobject,sys\n"
                   "c=vobject.vCard(); c.add('n').value=vobject.vcard.Name(family='Ng;Li',given='Mai, Ly')\n"
                   "c.add('fn').value='Mai Ng'; c.add('uid').value='v1'; c.add('note').value='long '*40+'\\\\end'\n"
                   "t=c.add('tel'); t.value='555'; t.type_param='HOME'\n"
                   "a=c.add('adr'); a.value=vobject.vcard.Address(street='1 Ünter St',city='Kew',code='3101')\n"
                   "open(sys.argv[1],'w').write(c.serialize())\n"
                   "import datetime\nfrom dateutil import tz\n"
                   "cal=vobject.iCalendar(); e=cal.add('vevent'); e.add('uid').value='e1'\n"
                   "e.add('dtstart').value=datetime.datetime(2026,6,1,14,0,tzinfo=tz.tzutc())\n"
                   "e.add('dtend').value=datetime.datetime(2026,6,1,15,30,tzinfo=tz.tzutc())\n"
                   "e.add('summary').value='Tea; with, Zoë'\n"
                   "open(sys.argv[2],'w').write(cal.serialize())\n",
                   {file("v.vcf"), file("v.ics")});
        QCOMPARE(errors, QString());
        QVERIFY(SyncFiles::importContacts(file("v.vcf")).ok);
        QCOMPARE(contactRows(fx->dbPath()),
                 QStringList{"Mai, Ly|Ng;Li|1 Ünter St|Kew|3101||555||||" + QString("long ").repeated(40) + "\\end"});
        QVERIFY(SyncFiles::importAppointments(file("v.ics")).ok);
        const QVariantMap a = Db::rows(fx->dbPath(), "tblOrginize").value(0);
        QCOMPARE(QStringList({a["DateValue"].toString(), a["TimeStart"].toString(), a["TimeFinished"].toString(),
                              a["Note"].toString()}),
                 (QStringList{"6/1/26", "2:00PM", "3:30 PM", "Tea; with, Zoë"}));
    }

    void commandLine()
    {
        const QString exe = file("tessaly");
        QVERIFY(QFile::copy(qEnvironmentVariable("TESSALY_EXE"), exe));
        writeFile(file("a.vcf"), kCards.left(kCards.indexOf("BEGIN:VCARD\r\nVERSION:4.0\r\nN:broken")));
        const auto run = [&](const QStringList& args, QString* out) {
            QProcess p;
            p.start(exe, args);
            p.waitForFinished(30000);
            *out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
            return p.exitCode();
        };
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
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()),
                 "Imported 2 contacts from " + file("a.vcf")
                     + ": 2 added, 0 updated, 0 unchanged; changed 1 record to fit.\n"
                       "Exported 2 contacts to "
                     + file("out.vcf") + ".\n");
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(run({"--import-appointments", file("a.vcf")}, &out), 1);
        QCOMPARE(out, file("a.vcf") + " is not an iCalendar file.\n");
        QCOMPARE(run({"--export-contacts", file("out.vcf"), "--bogus"}, &out), 2);
        QCOMPARE(out, QStringLiteral("tessaly: unknown option --bogus (try --help)\n"));
        QCOMPARE(run({"--export-contacts"}, &out), 2);
        QCOMPARE(run({"--help"}, &out), 0);
        QVERIFY(out.contains("--import-appointments FILE") && out.contains("  --sync\n"));
        QCOMPARE(run({"--export-contacts", file("nowhere/x.vcf")}, &out), 1);
        QCOMPARE(out, "Cannot write " + file("nowhere/x.vcf") + ": No such file or directory.\n");
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
