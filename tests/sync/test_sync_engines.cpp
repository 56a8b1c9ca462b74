// The vCard reader and writer, the contact and appointment mappings: tables
// of cases, exact bytes where we write.
#include <QTest>
#include <QTimeZone>

#include "support/Fixture.h"
#include "sync/ContactMap.h"
#include "sync/EventMap.h"
#include "sync/VCard.h"

using ContactMap::Contact;

class TestSyncEngines : public QObject {
    Q_OBJECT
    std::unique_ptr<AppFixture> fx;

private slots:
    void init() { fx = std::make_unique<AppFixture>(); }
    void cleanup() { fx.reset(); }

    void folding_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("folded");
        const QString a74(74, u'a');
        QTest::newRow("75 octets stay") << a74 + u'b' << (a74 + "b\r\n").toUtf8();
        QTest::newRow("76 fold") << a74 + "bc" << (a74 + "b\r\n c\r\n").toUtf8();
        // "é" is two octets starting at octet 75: it moves whole to the next line.
        QTest::newRow("utf8 not split") << a74 + QStringLiteral("éx") << (a74 + "\r\n éx\r\n").toUtf8();
        QTest::newRow("continuations hold 74")
            << QString(75 + 74 + 1, u'z') << QByteArray(75, 'z') + "\r\n " + QByteArray(74, 'z') + "\r\n z\r\n";
    }
    void folding()
    {
        QFETCH(QString, line);
        QFETCH(QByteArray, folded);
        QCOMPARE(VCard::foldLine(line), folded);
        // The reader joins it back, whatever the octets.
        const auto read =
            VCard::read("BEGIN:VCARD\r\nVERSION:4.0\r\n" + VCard::foldLine("NOTE:" + line) + "END:VCARD\r\n");
        QCOMPARE(read.cards.value(0).props.value(0).value, line);
        // A tab folds as a blank does.
        const auto tabbed = VCard::read("BEGIN:VCARD\r\nVERSION:4.0\r\n"
                                        + VCard::foldLine("NOTE:" + line).replace("\r\n ", "\r\n\t") + "END:VCARD\r\n");
        QCOMPARE(tabbed.cards.value(0).props.value(0).value, line);
    }

    void escaping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("escaped");
        QTest::newRow("specials") << "a,b;c\\d"
                                  << "a\\,b\\;c\\\\d";
        QTest::newRow("line breaks") << "one\ntwo"
                                     << "one\\ntwo";
        QTest::newRow("plain") << "Zoë"
                               << "Zoë";
    }
    void escaping()
    {
        QFETCH(QString, text);
        QFETCH(QString, escaped);
        QCOMPARE(VCard::escapeText(text), escaped);
        QCOMPARE(VCard::unescapeText(escaped), text);
        QCOMPARE(VCard::escapeText("a\r\nb\rc"), QStringLiteral("a\\nb\\nc"));
        QCOMPARE(VCard::unescapeText("x\\Ny\\:"), QStringLiteral("x\ny:"));
        QCOMPARE(VCard::components("a\\;b;c\\,d;;"), (QStringList{"a;b", "c,d", "", ""}));
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("cards");
        QTest::addColumn<int>("malformed");
        const QByteArray ok = "BEGIN:VCARD\nVERSION:3.0\nFN:A\nEND:VCARD\n";
        QTest::newRow("3.0, LF, BOM") << "\xEF\xBB\xBF" + ok << 1 << 0;
        QTest::newRow("two and blank lines") << ok + "\r\n" + ok << 2 << 0;
        QTest::newRow("version 2.1") << QByteArray("BEGIN:VCARD\nVERSION:2.1\nFN:A\nEND:VCARD\n") << 0 << 1;
        QTest::newRow("no colon") << "BEGIN:VCARD\nVERSION:4.0\nFN A\nEND:VCARD\n" + ok << 1 << 1;
        QTest::newRow("bad utf8") << "BEGIN:VCARD\nVERSION:4.0\nFN:\xC3(\nEND:VCARD\n" + ok << 1 << 1;
        QTest::newRow("no end") << ok + "BEGIN:VCARD\nVERSION:4.0\n" + ok << 2 << 1;
        QTest::newRow("cut off") << ok + "BEGIN:VCARD\nVERSION:4.0\nFN:B" << 1 << 1;
        QTest::newRow("stray text once") << "junk\nmore junk\n" + ok << 1 << 1;
        QTest::newRow("bad parameter") << "BEGIN:VCARD\nVERSION:4.0\nTEL;TY PE=x:1\nEND:VCARD\n" + ok << 1 << 1;
    }
    void reading()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, cards);
        QFETCH(int, malformed);
        const VCard::ReadResult r = VCard::read(file);
        QCOMPARE(r.cards.size(), cards);
        QCOMPARE(r.malformed, malformed);
    }

    void fromCard_data()
    {
        QTest::addColumn<QByteArray>("props");
        QTest::addColumn<Contact>("expected");
        QTest::addColumn<bool>("changed");
        // FirstName, LastName, HomeAddress, Suburb, PostCode, Email, HomePhone, Mobile, ICQ, WebAddress, Comments
        const Contact plain{"Ann",  "Lee", "1 Main St, Apt 2", "Kew",      "3101", "ann@x.org", "555",
                            "0400", "123", "http://x.org",     "hi; there"};
        QTest::newRow("all fit") << QByteArray(
            "N:Lee;Ann;;;\nADR;TYPE=HOME:;;1 Main St\\, Apt 2;Kew;;3101;\n"
            "TEL;TYPE=HOME,VOICE:555\nTEL;VALUE=uri;TYPE=cell:tel:0400\nEMAIL;TYPE=INTERNET:ann@x.org\n"
            "URL:http://x.org\nX-ICQ:123\nNOTE:hi\\; there\nPRODID:x\nREV:1\n")
                                 << plain << false;
        const Contact over{"Ann",
                           "Lee",
                           "",
                           "",
                           "1234",
                           "ann@x.org",
                           "",
                           "",
                           "",
                           "",
                           "Name: Dr Ann Lee\nPost code: 12345\nPhone (work): 9\nE-mail: b@y\nOrg: Acme"};
        QTest::newRow("overflow to comments") << QByteArray("N:Lee;Ann;;Dr;\nADR:;;;;;12345;\nTEL;TYPE=work:9\n"
                                                            "EMAIL:ann@x.org\nEMAIL:b@y\nORG:Acme\n")
                                              << over << true;
        const Contact untyped{"Mary Ann", "Lee", "", "", "", "", "1", "2", "", "", "Phone: 3"};
        QTest::newRow("display name, untyped phones")
            << QByteArray("FN:Mary  Ann Lee\nTEL:1\nTEL:2\nTEL:3\n") << untyped << true;
        const Contact photo{"P"};
        QTest::newRow("picture is dropped") << QByteArray("N:;P;;;\nPHOTO;ENCODING=b:AAAA\n") << photo << true;
    }
    void fromCard()
    {
        QFETCH(QByteArray, props);
        QFETCH(Contact, expected);
        QFETCH(bool, changed);
        const auto read = VCard::read("BEGIN:VCARD\nVERSION:3.0\n" + props + "END:VCARD\n");
        QCOMPARE(read.cards.size(), 1);
        const ContactMap::Imported in = ContactMap::fromCard(read.cards[0]);
        for (int f = 0; f < ContactMap::FieldCount; ++f)
            QCOMPARE(in.contact[f], expected[f]);
        QCOMPARE(in.changed, changed);
        // Without a UID the content names the card: the same card, the same name.
        QVERIFY(in.uid.startsWith("tessaly-content-"));
        QCOMPARE(ContactMap::fromCard(read.cards[0]).uid, in.uid);
    }

    void toCard()
    {
        const Contact c{"Zoë", "O;Neil", "", "", "3000", "", "", "0400", "42", "", "a\nb"};
        QCOMPARE(
            ContactMap::toCard(c, "u-1"),
            QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nUID:u-1\r\nFN:Zoë O\\;Neil\r\nN:O\\;Neil;Zoë;;;\r\n"
                       "ADR;TYPE=home:;;;;;3000;\r\nTEL;TYPE=cell:0400\r\nIMPP:icq:42\r\nNOTE:a\\nb\r\nEND:VCARD\r\n"));
        const auto back = ContactMap::fromCard(VCard::read(ContactMap::toCard(c, "u-1")).cards.value(0));
        QCOMPARE(back.contact, c);
        QCOMPARE(back.uid, QStringLiteral("u-1"));
        QVERIFY(!back.changed);
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

    void twoDigitYears()
    {
        // Today is 15 May 2026 (the fixture): "5/1/76" is 2076, "5/1/77" is 1977.
        QCOMPARE(EventMap::parseDate("5/1/76"), QDate(2076, 5, 1));
        QCOMPARE(EventMap::parseDate("5/1/77"), QDate(1977, 5, 1));
        QCOMPARE(EventMap::parseDate("12/31/26"), QDate(2026, 12, 31));
        QVERIFY(!EventMap::parseDate("31/12/26"));
    }

    void eventsRoundTrip()
    {
        // Planner texts a time cannot say come back exactly; the rest as times in the local zone.
        const QList<EventMap::Appointment> rows{{"5/15/26", "8:30AM", "9:00 AM", "Dentist, 2nd floor"},
                                                {"5/16/26", "PM", "--------", "noon"},
                                                {"5/17/26", "7:30PM", "7:00 AM", "finish before start"},
                                                {"5/18/26", "8:00am", "9:00AM", "typed forms"},
                                                {"5/19/26", "", "", ""}};
        QList<EventMap::Outgoing> out;
        for (const auto& a : rows)
            out << EventMap::Outgoing{a, "uid-" + a[EventMap::DateValue]};
        out << EventMap::Outgoing{{"not a date", "8:00AM", "", "x"}, "lost"};
        const EventMap::WriteResult written = EventMap::write(out);
        QCOMPARE(written.unreadableDates, 1);
        QVERIFY(written.bytes.contains("\r\nDTSTART:20260515T083000Z\r\nDTEND:20260515T090000Z\r\n"));
        QVERIFY(written.bytes.contains("\r\nDTSTART;VALUE=DATE:20260516\r\n"));
        QVERIFY(!written.bytes.contains("DTEND:20260517"));  // an end before the start is no end
        const EventMap::ReadResult read = EventMap::read(written.bytes);
        QCOMPARE(read.events.size(), rows.size());
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(QStringList(read.events[i].appointment.begin(), read.events[i].appointment.end()),
                     QStringList(rows[i].begin(), rows[i].end()));
            QCOMPARE(read.events[i].uid, out[i].uid);
            QVERIFY(!read.events[i].changed);
        }
    }

    void eventsFromOthers()
    {
        const QByteArray ics =
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\n"
            "BEGIN:VEVENT\r\nUID:a\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20260601T223000Z\r\n"
            "DURATION:PT3H\r\nSUMMARY:late\r\nDESCRIPTION:more\r\nEND:VEVENT\r\n"
            "BEGIN:VEVENT\r\nUID:b\r\nDTSTART:2026XX01\r\nSUMMARY:broken\r\nEND:VEVENT\r\n"
            "BEGIN:VEVENT\r\nUID:c\r\nSUMMARY:no start\r\nEND:VEVENT\r\n"
            "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20260602\r\nDTEND;VALUE=DATE:20260605\r\nSUMMARY:trip\r\nEND:VEVENT\r\n"
            "END:VCALENDAR\r\n";
        const EventMap::ReadResult r = EventMap::read(ics);
        QVERIFY(r.isCalendar);
        QCOMPARE(r.malformed, 2);
        QCOMPARE(r.events.size(), 2);
        // UTC here: 22:30 to 01:30 the next day; the finish date has no field.
        QCOMPARE(r.events[0].appointment, (EventMap::Appointment{"6/1/26", "10:30PM", "1:30 AM", "late\nmore"}));
        QVERIFY(r.events[0].changed);
        QCOMPARE(r.events[1].appointment, (EventMap::Appointment{"6/2/26", "", "", "trip"}));
        QVERIFY(r.events[1].changed);
        QVERIFY(!EventMap::read("BEGIN:VCARD\r\nEND:VCARD\r\n").isCalendar);
    }
};

QTEST_MAIN(TestSyncEngines)
#include "test_sync_engines.moc"
