#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include "store/Connection.h"
#include "store/SearchIndex.h"
#include "support/Files.h"

using SearchIndex::Kind;

namespace {
// Each hit as "kind key title|snippet", marks shown as [ ].
QStringList shown(const std::vector<SearchIndex::SearchHit>& hits)
{
    QStringList out;
    for (const auto& h : hits)
        out << QStringLiteral("%1 %2 %3|%4")
                   .arg(int(h.kind))
                   .arg(h.key)
                   .arg(h.title, h.snippet)
                   .replace(SearchIndex::kMarkOpen, QLatin1Char('['))
                   .replace(SearchIndex::kMarkClose, QLatin1Char(']'));
    return out;
}

void exec(sqlite3* db, const char* sql)
{
    QCOMPARE(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
}

qint64 rowOf(sqlite3* db, const char* sql)
{
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    const qint64 row = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
    sqlite3_finalize(s);
    return row;
}
}  // namespace

class TestSearch : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    Connection con;
    SearchIndex::Sources sources{[](const QString& file) { return QStringLiteral("body of ") + file; },
                                 [](const QString& path) { return QString::fromUtf8(readFile(path)); },
                                 {}};

private slots:
    void init()
    {
        QFile::remove(dir.filePath("t.mdb"));
        con.Open(dir.filePath("t.mdb"));
        sqlite3* db = con.handle();
        exec(db, "INSERT INTO tblAddress (Org_ID, FirstName, LastName, Email, Comments) VALUES "
                 "(2, 'Bob', 'Smith', 'bob@example.org', 'met at lunch with Ann'), "
                 "(3, 'Zoë', 'Bòb', '', 'no lunch');"
                 "INSERT INTO tblOrginize (OrgRow, DateValue, TimeStart, TimeFinished, Note) VALUES "
                 "(1, '2026-05-15', '9:00', '10:00', 'Lunch with Bob');"
                 "INSERT INTO tblTask (TaskRow, Title, Notes) VALUES (5, 'Call Bob', 'about lunch');"
                 "CREATE TABLE tblMailbox (MailKey TEXT PRIMARY KEY, FileName TEXT NOT NULL, Sender TEXT NOT NULL, "
                 "Subject TEXT NOT NULL, SendDate TEXT NOT NULL DEFAULT '', Size INTEGER NOT NULL DEFAULT 0);"
                 "INSERT INTO tblMailbox (rowid, MailKey, FileName, Sender, Subject) VALUES "
                 "(7, 'k7', 'new/m7', 'Ann <ann@example.org>', 'Minutes'), (8, 'k8', '', 'Gone', 'Removed');");
        SearchIndex::putMail(db, 7, QStringLiteral("Ann <ann@example.org>"), QStringLiteral("Minutes"),
                             QStringLiteral("Bob said lunch"));
        writeFile(dir.filePath("plans.nte"), "Ideas for Bob");
        SearchIndex::putNote(db, dir.filePath("plans.nte"), QStringLiteral("Ideas for Bob"));
    }
    void cleanup() { con.Close(); }

    // Any typed text is a query that parses: each word a prefix, ANDed, a quoted phrase kept whole.
    void matchQuery()
    {
        const std::pair<QString, QString> rows[] = {
            {"bob", "\"bob\"*"},
            {"  Bob\tSmith ", "\"Bob\"* \"Smith\"*"},
            {"\"lunch   with\" ann", "\"lunch with\" \"ann\"*"},
            {"say \"hi there", "\"say\"* \"hi there\""},  // an open phrase
            {"a\"b", "\"a\"* \"b\""},                     // a quote inside a word
            {"bob \"", "\"bob\"*"},
            {"\"\"x\"\"", "\"x\"*"},
            {"NEAR(a b) OR c*", "\"NEAR(a\"* \"b)\"* \"OR\"* \"c*\"*"},
            {"* ( ) - ^ :", ""},
            {"o'brien", "\"o'brien\"*"},
            {" \n ", ""},
            {QString("w ").repeated(33), QString("\"w\"* ").repeated(32).trimmed()},
        };
        for (const auto& [typed, match] : rows)
            QCOMPARE(SearchIndex::matchQuery(typed), match);
    }

    void hits_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("hits");
        // Kinds grouped, the best match (the shortest entry naming it) first.
        QTest::newRow("grouped, accents folded")
            << "bob"
            << QStringList{"0 3 Zoë [Bòb]|no lunch",
                           "0 2 [Bob] Smith|[bob]@example.org met at lunch with Ann",
                           "1 1 2026-05-15 9:00-10:00|Lunch with [Bob]",
                           "2 1 plans|Ideas for [Bob]",
                           "3 7 Minutes|Ann <ann@example.org>\n[Bob] said lunch",
                           "4 5 Call [Bob]|about lunch"};
        QTest::newRow("prefix, words ANDed")
            << "SMI lun" << QStringList{"0 2 Bob [Smith]|bob@example.org met at [lunch] with Ann"};
        QTest::newRow("four letters") << "smit lunc"
                                      << QStringList{"0 2 Bob [Smith]|bob@example.org met at [lunch] with Ann"};
        QTest::newRow("phrase") << "\"with ann\""
                                << QStringList{"0 2 Bob Smith|bob@example.org met at lunch [with Ann]"};
        QTest::newRow("folded query") << "zoe" << QStringList{"0 3 [Zoë] Bòb|no lunch"};
        QTest::newRow("syntax typed") << "NEAR( bob\" AND (*" << QStringList{};
        QTest::newRow("long text") << QString("x").repeated(10000) << QStringList{};
    }
    void hits()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, hits);
        QCOMPARE(shown(SearchIndex::search(con.handle(), typed)), hits);
    }

    // Every write to the tables reaches the index, and a rebuild makes the
    // same entries from nothing.
    void followsWritesAndRebuilds()
    {
        sqlite3* db = con.handle();
        exec(db, "UPDATE tblAddress SET FirstName = 'Robert' WHERE Org_ID = 2; DELETE FROM tblAddress WHERE Org_ID = 3;"
                 "DELETE FROM tblOrginize");
        SearchIndex::removeMail(db, 7);
        const QStringList after{"0 2 [Robert] Smith|bob@example.org met at lunch with Ann"};
        QCOMPARE(shown(SearchIndex::search(db, "rob")), after);
        QCOMPARE(shown(SearchIndex::search(db, "bob")).size(), 3);  // the e-mail address, the note, the task

        QVERIFY(!SearchIndex::prepare(db));
        exec(db, "UPDATE tblSearchVersion SET Version = 0; DELETE FROM tblSearch");
        QVERIFY(SearchIndex::prepare(db));
        exec(db, "DROP TABLE tblSearch");  // an index that is not there at all
        QVERIFY(SearchIndex::prepare(db));
        exec(db, "INSERT INTO tblOrginize (OrgRow, Note) VALUES (4, 'Robert again'), (5, 'Łódź')");
        QList<int> shares;
        SearchIndex::rebuild(db, sources, [&](int) { return false; });  // stopped at the first slice
        QVERIFY(SearchIndex::prepare(db));
        SearchIndex::rebuild(db, sources, [&](int share) {
            shares << share;
            return true;
        });
        QVERIFY(!SearchIndex::prepare(db));
        QCOMPARE(shares.last(), 100);
        QVERIFY(std::is_sorted(shares.begin(), shares.end()));
        QCOMPARE(shown(SearchIndex::search(db, "rob")),
                 (QStringList{"0 2 [Robert] Smith|bob@example.org met at lunch with Ann", "1 4  -|[Robert] again"}));
        QCOMPARE(shown(SearchIndex::search(db, "body")),
                 QStringList{"3 7 Minutes|Ann <ann@example.org>\n[body] of new/m7"});
        QCOMPARE(shown(SearchIndex::search(db, "ideas")), QStringList{"2 1 plans|[Ideas] for Bob"});
        QCOMPARE(shown(SearchIndex::search(db, "lodz")), QStringList{"1 5  -|Łódź"});
        QCOMPARE(shown(SearchIndex::search(db, "about")), QStringList{"4 5 Call Bob|[about] lunch"});
    }

    // A long write holds its rows' entries and puts them at its end: the
    // index is then as if each had been put as it came, rolled-back rows
    // included, and later writes are followed at once again.
    void holdsEntriesTillTheEnd()
    {
        sqlite3* db = con.handle();
        exec(db, "CREATE TABLE tblSyncMap (Kind TEXT, UID TEXT, LocalKey INTEGER, PRIMARY KEY (Kind, UID));"
                 "CREATE TABLE tblSyncKept (Kind TEXT, UID TEXT, More TEXT, PRIMARY KEY (Kind, UID))");
        SearchIndex::follow(db);
        // A store indexed by an older version has no twins: they come when it is opened.
        exec(db, "DROP TRIGGER tblAddressSearchInsertHeld; DROP TABLE tblSearchHeld");
        QVERIFY(!SearchIndex::prepare(db));
        exec(db, "BEGIN");
        SearchIndex::holdEntries(db);
        exec(db, "INSERT INTO tblAddress (Org_ID, FirstName) VALUES (9, 'Quentin');"
                 "UPDATE tblAddress SET Comments = 'tea at noon' WHERE Org_ID = 2;"
                 "DELETE FROM tblAddress WHERE Org_ID = 3;"
                 "INSERT INTO tblSyncKept VALUES ('contact', 'q', 'EMAIL: quill@example.org');"
                 "INSERT INTO tblSyncMap VALUES ('contact', 'q', 9);"
                 "UPDATE tblOrginize SET Note = 'Dinner' WHERE OrgRow = 1;"
                 "INSERT INTO tblTask (TaskRow, Title) VALUES (6, 'Quarterly report');"
                 "SAVEPOINT record; INSERT INTO tblAddress (Org_ID, FirstName) VALUES (10, 'Quincy');"
                 "ROLLBACK TO record; RELEASE record");
        QVERIFY(SearchIndex::search(db, "quentin").empty());  // held, not put
        SearchIndex::putHeldEntries(db);
        exec(db, "COMMIT");
        QCOMPARE(shown(SearchIndex::search(db, "qu")),
                 (QStringList{"0 9 [Quentin] | EMAIL: [quill]@example.org", "4 6 [Quarterly] report|"}));
        QCOMPARE(shown(SearchIndex::search(db, "tea")), QStringList{"0 2 Bob Smith|bob@example.org [tea] at noon"});
        QVERIFY(SearchIndex::search(db, "zoe").empty() && SearchIndex::search(db, "met").empty());
        QCOMPARE(shown(SearchIndex::search(db, "dinner")), QStringList{"1 1 2026-05-15 9:00-10:00|[Dinner]"});
        exec(db, "INSERT INTO tblAddress (Org_ID, FirstName) VALUES (11, 'Quinn')");
        QCOMPARE(SearchIndex::search(db, "quinn").size(), 1u);

        // Entries left for later (the IMAP cache's) wait for putLeftEntries; other writes are put at once.
        exec(db, "CREATE TABLE tblImapMessage (Folder BLOB, Uid INTEGER, Sender TEXT, Subject TEXT, "
                 "PRIMARY KEY (Folder, Uid))");
        SearchIndex::follow(db);
        exec(db, "INSERT INTO tblImapMessage VALUES ('INBOX', 1, 'Eve', 'Quince jam'), ('INBOX', 3, 'Eve', 'Memo')");
        exec(db, "BEGIN");
        SearchIndex::holdEntries(db);
        exec(db, "INSERT INTO tblImapMessage VALUES ('INBOX', 2, 'Eve', 'Quince tart'), ('INBOX', 4, 'Ivo', 'Pear');"
                 "INSERT OR REPLACE INTO tblImapMessage VALUES ('INBOX', 1, 'Eve', 'Plum jam');"
                 "DELETE FROM tblImapMessage WHERE Uid = 2");
        SearchIndex::leaveHeldEntries(db);
        exec(db, "COMMIT");
        QVERIFY(SearchIndex::search(db, "plum").empty() && SearchIndex::search(db, "ivo").empty());
        exec(db, "INSERT INTO tblAddress (Org_ID, FirstName) VALUES (12, 'Ulla')");
        QCOMPARE(SearchIndex::search(db, "ulla").size(), 1u);
        // A body fetched meanwhile is put whole, and stays so.
        exec(db, "INSERT OR REPLACE INTO tblImapMessage VALUES ('INBOX', 4, 'Ivo', 'Pear')");
        SearchIndex::putImapMail(db, rowOf(db, "SELECT rowid FROM tblImapMessage WHERE Uid = 4"), "Ivo", "Pear",
                                 "ripe");
        QVERIFY(SearchIndex::putLeftEntries(db));
        QVERIFY(!SearchIndex::putLeftEntries(db));
        QCOMPARE(shown(SearchIndex::search(db, "plum")), QStringList{"3 5 [Plum] jam|Eve"});
        QVERIFY(SearchIndex::search(db, "quince").empty() && SearchIndex::search(db, "memo").size() == 1);
        QCOMPARE(shown(SearchIndex::search(db, "ripe")), QStringList{"3 6 Pear|Ivo\n[ripe]"});

        // A store left holding (its writer committed without putting them) is put right too.
        exec(db,
             "INSERT INTO tblSearchHeld VALUES (-1); INSERT INTO tblAddress (Org_ID, FirstName) VALUES (13, 'Ursula')");
        QVERIFY(SearchIndex::search(db, "ursula").empty());
        QVERIFY(SearchIndex::putLeftEntries(db));
        QCOMPARE(SearchIndex::search(db, "ursula").size(), 1u);
        exec(db, "INSERT INTO tblAddress (Org_ID, FirstName) VALUES (14, 'Uwe')");
        QCOMPARE(SearchIndex::search(db, "uwe").size(), 1u);

        // More than a slice of them: every one is put.
        exec(db, "BEGIN");
        SearchIndex::holdEntries(db);
        exec(db, "WITH RECURSIVE n(i) AS (SELECT 10 UNION ALL SELECT i + 1 FROM n WHERE i < 4509) "
                 "INSERT INTO tblImapMessage SELECT 'INBOX', i, 'Eve', 'Quire ' || i FROM n");
        SearchIndex::leaveHeldEntries(db);
        exec(db, "COMMIT");
        QVERIFY(SearchIndex::putLeftEntries(db));
        QCOMPARE(shown(SearchIndex::search(db, "4509")), QStringList{"3 4506 Quire [4509]|Eve"});
        QCOMPARE(rowOf(db, "SELECT count(*) FROM tblSearchHeld"), 0);
    }

    // A note changed by another program is read again; one gone is forgotten.
    void refreshesNotes()
    {
        sqlite3* db = con.handle();
        writeFile(dir.filePath("other.nte"), "Kept");
        SearchIndex::putNote(db, dir.filePath("other.nte"), QStringLiteral("Kept"));
        writeFile(dir.filePath("plans.nte"), "Ideas for Carol");
        exec(db, "UPDATE tblSearchNote SET MTime = MTime - 1000");  // the file is newer than its entry
        QFile::remove(dir.filePath("other.nte"));
        writeFile(dir.filePath("copied.rtf"), "Copied in");  // never saved here
        SearchIndex::Sources withFolder = sources;
        withFolder.noteFolder = dir.path();
        SearchIndex::refreshNotes(db, withFolder);
        QCOMPARE(SearchIndex::search(db, "copied").size(), 1u);
        const auto notes = SearchIndex::search(db, "c");  // two notes, each with its own path, and the task
        QVERIFY(notes.size() == 3 && notes[0].path.endsWith("plans.nte") && notes[1].path.endsWith("copied.rtf"));
        QCOMPARE(shown(SearchIndex::search(db, "carol")), QStringList{"2 1 plans|Ideas for [Carol]"});
        QVERIFY(SearchIndex::search(db, "bob ideas").empty());
        QVERIFY(SearchIndex::search(db, "kept").empty());
    }

    void firstFiftyOnly()
    {
        sqlite3* db = con.handle();
        exec(db, "WITH RECURSIVE n(i) AS (SELECT 10 UNION ALL SELECT i + 1 FROM n WHERE i < 69) "
                 "INSERT INTO tblAddress (Org_ID, FirstName) SELECT i, 'Many' FROM n;"
                 "UPDATE tblAddress SET LastName = 'Many' WHERE Org_ID = 42");
        const SearchIndex::Found found = SearchIndex::find(db, "many");
        QCOMPARE(int(found.hits.size()), SearchIndex::kMostHits);
        QCOMPARE(found.total, 60);
        QCOMPARE(found.hits.front().key, 42);  // named twice in its title: the best match
    }

    // Letters unicode61 keeps are folded alike in the text and in what is typed.
    void foldsLetters()
    {
        const char* rows[][2] = {{"Łódź", "lodz"},           {"Lodz", "łódź"},      {"Straße", "strasse"},
                                 {"Ærøskøbing", "aeroskob"}, {"Œuvre", "oeuvre"},   {"Đorđe", "dorde"},
                                 {"Þórður", "thordur"},      {"Søren", "\"soren\""}};
        for (const auto& [stored, typed] : rows) {
            const QByteArray sql =
                QStringLiteral("UPDATE tblAddress SET LastName = '%1' WHERE Org_ID = 3").arg(stored).toUtf8();
            exec(con.handle(), sql.constData());
            QCOMPARE(shown(SearchIndex::search(con.handle(), typed)).size(), 1);
        }
    }

    // Appointments nearest today first, a repeating one named by the occurrence it is asked for.
    void datesAppointments()
    {
        exec(con.handle(), "INSERT INTO tblOrginize (OrgRow, DateValue, Note) VALUES (2, '2026-06-01', 'Lunch'), "
                           "(3, '2019-05-06', 'Lunch weekly'), (4, '2026-05-13', 'Lunch');"
                           "INSERT INTO tblOrginizeSeries (OrgRow, Start, Rule) VALUES (3, '20190506', 'FREQ=WEEKLY')");
        const SearchIndex::Dating dating{
            QDate(2026, 5, 15), [](const QString& text) { return std::optional(QDate::fromString(text, Qt::ISODate)); },
            [](qint64 row) { return row == 3 ? std::optional(QDate(2026, 5, 18)) : std::nullopt; },
            [](QDate d) { return d.toString("d MMM yyyy"); }};
        QStringList found;
        for (const auto& hit : SearchIndex::search(con.handle(), "lunch", dating))
            if (hit.kind == Kind::Appointment)
                found << QStringLiteral("%1 %2 %3").arg(hit.key).arg(hit.date.toString(Qt::ISODate), hit.title);
        QCOMPARE(found, (QStringList{"1 2026-05-15 15 May 2026 9:00-10:00", "4 2026-05-13 13 May 2026 -",
                                     "3 2026-05-18 18 May 2026 -", "2 2026-06-01 1 Jun 2026 -"}));
    }

    // What kept cards and IMAP mail add follows their tables; each hit carries what opens it.
    void followsKeptCardsAndImap()
    {
        sqlite3* db = con.handle();
        exec(db, "CREATE TABLE tblSyncMap (Kind TEXT, UID TEXT, LocalKey INTEGER, PRIMARY KEY (Kind, UID));"
                 "CREATE TABLE tblSyncKept (Kind TEXT, UID TEXT, More TEXT, PRIMARY KEY (Kind, UID));"
                 "CREATE TABLE tblImapMessage (Folder BLOB, Uid INTEGER, Sender TEXT, Subject TEXT, "
                 "PRIMARY KEY (Folder, Uid))");
        SearchIndex::follow(db);
        exec(db, "INSERT INTO tblSyncKept VALUES ('contact', 'u', 'EMAIL: second@example.org');"
                 "INSERT INTO tblSyncMap VALUES ('contact', 'u', 3);"
                 "INSERT INTO tblImapMessage VALUES ('Archive', 9, 'Eve', 'Agenda');"
                 "INSERT OR REPLACE INTO tblImapMessage VALUES ('Archive', 9, 'Eve', 'Agenda again')");
        QCOMPARE(shown(SearchIndex::search(db, "second")),
                 QStringList{"0 3 Zoë Bòb|no lunch EMAIL: [second]@example.org"});
        const auto imap = SearchIndex::find(db, "agenda").hits;
        QCOMPARE(SearchIndex::find(db, "agenda").total, 1);
        QVERIFY(imap[0].imap && imap[0].folder == "Archive" && imap[0].mailKey == "9");
        SearchIndex::putImapMail(db, imap[0].key, "Eve", "Agenda again", "the budget");
        QCOMPARE(SearchIndex::search(db, "budget").size(), 1u);
        const auto mail = SearchIndex::search(db, "minutes");
        QVERIFY(!mail[0].imap && mail[0].folder == "Inbox" && mail[0].mailKey == "k7");
        exec(db, "DELETE FROM tblSyncMap; DELETE FROM tblImapMessage");
        QVERIFY(SearchIndex::search(db, "second").empty() && SearchIndex::search(db, "agenda").empty());
        // A link to no kept card's more leaves the contact's entry as it is: one row changes.
        const sqlite3_int64 before = sqlite3_total_changes64(db);
        exec(db, "INSERT INTO tblSyncMap VALUES ('contact', 'v', 3)");
        QCOMPARE(sqlite3_total_changes64(db) - before, 1);
        // A link trigger an older version wrote is written anew.
        exec(db, "DROP TRIGGER tblSyncMapSearchInsert;"
                 "CREATE TRIGGER tblSyncMapSearchInsert AFTER INSERT ON tblSyncMap BEGIN SELECT 1; END");
        SearchIndex::follow(db);
        exec(db, "INSERT INTO tblSyncKept VALUES ('contact', 'w', 'NOTE: third');"
                 "INSERT INTO tblSyncMap VALUES ('contact', 'w', 3)");
        QCOMPARE(SearchIndex::search(db, "third").size(), 1u);
    }
};

QTEST_GUILESS_MAIN(TestSearch)
#include "test_search.moc"
