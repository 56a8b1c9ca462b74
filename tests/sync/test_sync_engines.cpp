// The planner's time and date texts, and what no file can hold. Files read
// and written are the cases of tests/data/vcard and tests/data/ical.
#include <QTest>

#include "support/Fixture.h"
#include "sync/ContactMap.h"
#include "sync/EventMap.h"
#include "sync/VCard.h"

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
};

QTEST_MAIN(TestSyncEngines)
#include "test_sync_engines.moc"
