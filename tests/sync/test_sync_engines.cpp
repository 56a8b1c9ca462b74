// The planner's time and date texts, what no file can hold, and the sync's
// decisions. Files read and written are the cases of tests/data/vcard and
// tests/data/ical.
#include <QDir>
#include <QTest>

#include "support/Files.h"
#include "support/Fixture.h"
#include "support/Golden.h"
#include "sync/ContactMap.h"
#include "sync/Dav.h"
#include "sync/EventMap.h"
#include "sync/SyncPlan.h"
#include "sync/VCard.h"

namespace {
// A case of the sync's decisions in a few words. Records have one field, a
// letter; hrefs are UIDs. The map: "uid key href etag synced" a record ("-"
// for none); here: "key=value"; the server: "*" all listed, "new" another
// server, "href@etag" listed, "...>uid:value" and read (">?" unreadable),
// "-href" gone. A value "A/x" is a series with fields A and exceptions x.
// The plan comes back in the same words; new UIDs are n1, n2...
SyncPlan::Plan decide(const QString& map, const QString& here, const QString& server, QHash<QString, QString>& named)
{
    const auto opt = [](const QString& s) { return s == "-" ? QString() : s; };
    const auto hash = [&](const QString& v) {
        const QString h = SyncRecords::hash({v.section('/', 0, 0)}, v.section('/', 1));
        named.insert(h, v);
        return h;
    };
    SyncPlan::Input in;
    for (const QString& e : map.split(';', Qt::SkipEmptyParts)) {
        const QStringList f = e.split(' ', Qt::SkipEmptyParts);
        in.map << MapEntry{f[0], f[1] == "-" ? -1 : f[1].toLongLong(), opt(f[2]), opt(f[3]),
                           f[4] == "-" ? "" : hash(f[4])};
    }
    for (const QString& r : here.split(' ', Qt::SkipEmptyParts))
        in.local << KeyedRecord{
            r.section('=', 0, 0).toLongLong(), {}, {r.section('=', 1).section('/', 0, 0)}, r.section('/', 1)};
    for (const QString& w : server.split(' ', Qt::SkipEmptyParts)) {
        in.server.whole |= w == "*";
        in.newServer |= w == "new";
        if (w.startsWith('-'))
            in.server.removed << w.mid(1);
        const QString href = w.section('@', 0, 0), read = w.section('>', 1);
        if (w.contains('@'))
            in.server.etags.insert(href, w.section('@', 1).section('>', 0, 0));
        if (!read.isEmpty())
            in.server.fetched[href] = {.uid = read.section(':', 0, 0),
                                       .values = {read.section(':', 1).section('/', 0, 0)},
                                       .etag = in.server.etags[href],
                                       .readable = read != "?",
                                       .exceptions = read.section('/', 1)};
        hash(read.section(':', 1));
    }
    for (const KeyedRecord& r : in.local)
        hash(r.values[0] + (r.exceptions.isEmpty() ? "" : '/' + r.exceptions));
    int n = 0;
    return SyncPlan::reconcile(in, [&] { return QString("n%1").arg(++n); });
}
}  // namespace

class TestSyncEngines : public QObject {
    Q_OBJECT
    std::unique_ptr<AppFixture> fx;

private slots:
    void init() { fx = std::make_unique<AppFixture>(); }
    void cleanup() { fx.reset(); }

    // A note typed with CR LF or CR goes out with one line break each.
    void typedLineBreaks()
    {
        QByteArray line;
        VCard::appendEscaped(line, "a\r\nb\rc\n");
        QCOMPARE(line, "a\\nb\\nc\\n");
    }

    // The export writes the store's bytes as they are; they must make the
    // card the text the store stands for makes, also where that text is not
    // the bytes (a broken sequence, a byte order mark) or is trimmed.
    void cardFromStoredBytes_data()
    {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("last");
        QTest::newRow("plain") << QByteArray("Ann") << QByteArray("Lee;x");
        QTest::newRow("broken sequence") << QByteArray("An\xC3(n") << QByteArray("\xFFLee");
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF Ann") << QByteArray("Lee");
        QTest::newRow("blanks at the ends") << QByteArray("\tAnn") << QByteArray("Lee\xC2\xA0");
        QTest::newRow("letters at the ends") << QByteArray("\xC3\xA9") + 'A' << QByteArray("L\xC3\xA9");
    }
    void cardFromStoredBytes()
    {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, last);
        ContactMap::ContactBytes bytes;
        bytes[ContactMap::FirstName] = first;
        bytes[ContactMap::LastName] = last;
        bytes[ContactMap::Comments] = last;
        ContactMap::Contact text;
        for (int f = 0; f < ContactMap::FieldCount; ++f)
            text[f] = QString::fromUtf8(bytes[f]);
        QByteArray card;
        ContactMap::appendCard(card, bytes, "\xEF\xBB\xBFu");
        QCOMPARE(card, ContactMap::toCard(text, QStringLiteral("u")));
    }

    // An import reads its file a piece at a time: each case of
    // tests/data/vcard, with its own line ends and with bare CRs, read a byte
    // at a time gives the cards it gives read whole.
    void readInPieces()
    {
        const auto shown = [](const VCard::Card& card) {
            QString text = card.raw + card.version + QString::number(card.endLine);
            for (const VCard::Property& p : card.props)
                text += QStringLiteral("|%1 %2 %3-%4").arg(p.name, p.value).arg(p.begin).arg(p.end);
            return text;
        };
        for (const QString& name : QDir(Golden::folder("vcard")).entryList({"*.vcf"}))
            for (const QByteArray& bytes :
                 {readFile(Golden::folder("vcard") + '/' + name),
                  readFile(Golden::folder("vcard") + '/' + name).replace("\r\n", "\r").replace('\n', '\r')}) {
                const VCard::ReadResult whole = VCard::read(bytes);
                QStringList expected, read;
                for (const VCard::Card& card : whole.cards)
                    expected << shown(card);
                VCard::Reader reader;
                VCard::Card card;
                for (qsizetype at = 0; at <= bytes.size(); ++at) {
                    // Views and arrays by turns: an array may be taken over, never what is held.
                    const QByteArrayView piece = QByteArrayView(bytes).sliced(at, at < bytes.size() ? 1 : 0);
                    if (at % 2)
                        reader.append(piece.toByteArray());
                    else
                        reader.append(piece);
                    while (reader.next(card, at == bytes.size()))
                        read << shown(card);
                }
                QCOMPARE(read, expected);
                QCOMPARE(reader.malformed(), whole.malformed);
            }
    }

    void times_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QTime>("time");
        QTest::newRow("start") << "8:30AM" << QTime(8, 30);
        QTest::newRow("finish") << "9:00 AM" << QTime(9, 0);
        QTest::newRow("noon") << "12:00PM" << QTime(12, 0);
        QTest::newRow("midnight") << "12:30 am" << QTime(0, 30);
        QTest::newRow("evening") << "7:30PM" << QTime(19, 30);
        QTest::newRow("row label") << "PM" << QTime();
        QTest::newRow("separator") << "--------" << QTime();
        QTest::newRow("hour 13") << "13:00PM" << QTime();
        QTest::newRow("minute 60") << "1:60PM" << QTime();
    }
    void times()
    {
        QFETCH(QString, text);
        QFETCH(QTime, time);
        QCOMPARE(EventMap::parseTime(text).value_or(QTime()), time);
        QCOMPARE(EventMap::startText(QTime(0, 5)), QStringLiteral("12:05AM"));
        QCOMPARE(EventMap::finishText(QTime(12, 30)), QStringLiteral("12:30 PM"));
    }

    void plan_data()
    {
        QTest::addColumn<QString>("map");
        QTest::addColumn<QString>("here");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QStringList>("plan");
        const QString u1 = "u1 1 u1 e1 A", gone = "u1 - u1 e1 A";
        // clang-format off
        QTest::newRow("new here") << "" << "1=A" << "" << QStringList{"link n1 1 - - #", "put n1 new A"};
        QTest::newRow("nothing changed") << u1 << "1=A" << "u1@e1" << QStringList{};
        QTest::newRow("changed there: read first") << u1 << "1=A" << "u1@e2 x@e5" << QStringList{"fetch u1 x"};
        QTest::newRow("changed there") << u1 << "1=A" << "u1@e2>u1:B" << QStringList{"update 1 B", "link u1 1 u1 e2 #B", "counts 1 0 0"};
        QTest::newRow("changed here") << u1 << "1=B" << "" << QStringList{"put u1 if e1 B"};
        QTest::newRow("changed both: kept twice") << u1 << "1=C" << "u1@e2>u1:B" << QStringList{"update 1 B", "insert n1 C copy 1", "link n1 - - - #", "link u1 1 u1 e2 #B", "put n1 new C", "theirs u1", "counts 1 0 1"};
        QTest::newRow("same change both sides") << u1 << "1=B" << "u1@e2>u1:B" << QStringList{"link u1 1 u1 e2 #B"};
        QTest::newRow("new ETag, same content, changed here") << u1 << "1=B" << "u1@e2>u1:A" << QStringList{"link u1 1 u1 e2 #A", "put u1 if e2 B"};
        QTest::newRow("new there") << "" << "" << "s1@e1>s1:A" << QStringList{"insert s1 A", "link s1 - s1 e1 #A", "counts 1 0 0"};
        QTest::newRow("ours, its answer lost") << "u1 1 - - -" << "1=A" << "x@e1>u1:A" << QStringList{"link u1 1 x e1 #A"};
        QTest::newRow("moved by another client") << u1 << "1=A" << "* m@e1>u1:A" << QStringList{"link u1 1 m e1 #A"};
        QTest::newRow("another UID at our href") << u1 << "1=A" << "u1@e2>u9:A" << QStringList{"link u9 1 u1 e2 #A", "forget u1"};
        QTest::newRow("deleted there") << u1 << "1=A" << "-u1" << QStringList{"delete 1", "forget u1", "counts 0 1 0"};
        QTest::newRow("not listed whole: deleted there") << u1 << "1=A" << "* x@e1>?" << QStringList{"delete 1", "forget u1", "counts 0 1 0"};
        QTest::newRow("not listed since the token: kept") << u1 << "1=A" << "x@e1>?" << QStringList{};
        QTest::newRow("deleted there, changed here") << u1 << "1=B" << "-u1" << QStringList{"link u1 1 - - #", "put u1 new B"};
        QTest::newRow("deleted there and here") << gone << "" << "-u1" << QStringList{"forget u1"};
        QTest::newRow("deleted here") << gone << "" << "" << QStringList{"delete u1 if e1"};
        QTest::newRow("row gone without the map knowing") << "u1 7 u1 e1 A" << "" << "" << QStringList{"delete u1 if e1"};
        QTest::newRow("deleted here, changed there") << gone << "" << "u1@e2>u1:B" << QStringList{"insert u1 B", "link u1 - u1 e2 #B", "counts 1 0 0"};
        QTest::newRow("deleted here, never sent") << "u1 - - - -" << "" << "" << QStringList{"forget u1"};
        QTest::newRow("imported, never sent") << "u1 1 - - -" << "1=A" << "" << QStringList{"put u1 new A"};
        QTest::newRow("unreadable there") << u1 << "1=A" << "u1@e2>?" << QStringList{};
        QTest::newRow("another server: all read") << u1 << "1=A" << "new u1@e1" << QStringList{"fetch u1"};
        // A series: its fields and its exceptions (the dates left out, the occurrences changed).
        const QString s1 = "u1 1 u1 e1 A/x";
        QTest::newRow("series: exceptions changed there") << s1 << "1=A/x" << "u1@e2>u1:A/z" << QStringList{"link u1 1 u1 e2 #A/z", "counts 1 0 0"};
        QTest::newRow("series: exceptions changed both: kept twice") << s1 << "1=A/y" << "u1@e2>u1:A/z" << QStringList{"insert n1 A copy 1", "link n1 - - - #", "link u1 1 u1 e2 #A/z", "put n1 new A/y", "theirs u1", "counts 1 0 1"};
        QTest::newRow("series: fields there, exceptions here: kept twice") << s1 << "1=A/y" << "u1@e2>u1:B/x" << QStringList{"update 1 B", "insert n1 A copy 1", "link n1 - - - #", "link u1 1 u1 e2 #B/x", "put n1 new A/y", "theirs u1", "counts 1 0 1"};
        QTest::newRow("series: fields here, exceptions there: both kept") << s1 << "1=B/x" << "u1@e2>u1:A/z" << QStringList{"link u1 1 u1 e2 #A/x", "put u1 if e2 B/z"};
        QTest::newRow("series: both parts here, exceptions there: kept twice") << s1 << "1=B/y" << "u1@e2>u1:A/z" << QStringList{"update 1 A", "insert n1 B copy 1", "link n1 - - - #", "link u1 1 u1 e2 #A/z", "put n1 new B/y", "theirs u1", "counts 1 0 1"};
        QTest::newRow("series: exceptions here, new ETag there") << s1 << "1=A/y" << "u1@e2>u1:A/x" << QStringList{"link u1 1 u1 e2 #A/x", "put u1 if e2 A/y", "ours u1"};
        QTest::newRow("series: same exceptions both sides") << s1 << "1=A/y" << "u1@e2>u1:A/y" << QStringList{"link u1 1 u1 e2 #A/y"};
        QTest::newRow("series: exceptions here, not read") << s1 << "1=A/y" << "u1@e1" << QStringList{"put u1 if e1 A/y"};
        QTest::newRow("another server") << u1 + ";u2 - u2 e2 B" << "1=A" << "new *" << QStringList{"link u1 1 - - #A", "forget u2", "put u1 new A"};
        // clang-format on
    }
    void plan()
    {
        QFETCH(QString, map);
        QFETCH(QString, here);
        QFETCH(QString, server);
        QHash<QString, QString> named{{QString(), QString()}};
        const SyncPlan::Plan p = decide(map, here, server, named);
        const auto opt = [](const QString& s) { return s.isEmpty() ? QString("-") : s; };
        QStringList out;
        if (!p.fetch.isEmpty())
            out << "fetch " + p.fetch.join(' ');
        for (const SyncPlan::Row& r : p.rows)
            out << (r.kind == SyncPlan::Row::Insert ? "insert " + r.uid + ' ' + r.values.join(',')
                                                          + (r.copyOf < 0 ? "" : QString(" copy %1").arg(r.copyOf))
                    : r.kind == SyncPlan::Row::Update ? QString("update %1 %2").arg(r.key).arg(r.values.join(','))
                                                      : QString("delete %1").arg(r.key));
        for (const MapEntry& e : p.links)
            out << QString("link %1 %2 %3 %4 #%5")
                       .arg(e.uid, e.key < 0 ? "-" : QString::number(e.key), opt(e.href), opt(e.etag),
                            named.value(e.hash, "?"));
        for (const QString& uid : p.forgets)
            out << "forget " + uid;
        for (const SyncPlan::Upload& u : p.uploads)
            out << (u.remove ? "delete " : "put ") + u.href + (u.etag.isEmpty() ? " new" : " if " + u.etag)
                       + (u.remove ? "" : ' ' + u.values.join(','))
                       + (u.exceptions.isEmpty() ? "" : '/' + u.exceptions);
        for (const QString& uid : p.theirs)
            out << "theirs " + uid;
        for (const QString& uid : p.ours)
            out << "ours " + uid;
        if (p.received + p.deletedHere + p.keptTwice)
            out << QString("counts %1 %2 %3").arg(p.received).arg(p.deletedHere).arg(p.keptTwice);
        QFETCH(QStringList, plan);
        QCOMPARE(out, plan);
    }
    // Servers' answers as they write them: each response's href, status and properties.
    void multistatus_data() { Golden::addRows("dav", {"*.xml"}); }
    void multistatus()
    {
        QFETCH(QString, input);
        const Multistatus ms = parseMultistatus(readFile(input), QUrl("http://127.0.0.1/user/"));
        QString made = "token=" + ms.syncToken + '\n';
        for (const DavResponse& r : ms.responses) {
            // The path kept, its status, and the URL a request about it goes to.
            made +=
                QString("%1 %2 %3\n")
                    .arg(r.href, QString::number(r.status),
                         QString::fromLatin1(hrefUrl(QUrl("https://127.0.0.1:5232/user/book/"), r.href).toEncoded()));
            for (auto it = r.props.cbegin(); it != r.props.cend(); ++it)
                made += "  " + it.key() + '=' + Golden::escaped(it.value()) + '\n';
        }
        Golden::compare(input, made);
    }

    void twoDigitYears()
    {
        // Today is 15 May 2026 (the fixture): "5/1/76" is 2076, "5/1/77" is 1977.
        QCOMPARE(EventMap::parseDate("5/1/76"), QDate(2076, 5, 1));
        QCOMPARE(EventMap::parseDate("5/1/77"), QDate(1977, 5, 1));
        QCOMPARE(EventMap::parseDate("12/31/26"), QDate(2026, 12, 31));
        QVERIFY(!EventMap::parseDate("31/12/26"));
    }
};

QTEST_MAIN(TestSyncEngines)
#include "test_sync_engines.moc"
