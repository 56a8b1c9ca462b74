// The planner's time and date texts, and what no file can hold. Files read
// and written are the cases of tests/data/vcard and tests/data/ical.
#include <QTest>

#include "support/Fixture.h"
#include "sync/EventMap.h"
#include "sync/VCard.h"

class TestSyncEngines : public QObject {
    Q_OBJECT
    std::unique_ptr<AppFixture> fx;

private slots:
    void init() { fx = std::make_unique<AppFixture>(); }
    void cleanup() { fx.reset(); }

    // A note typed with CR LF or CR goes out with one line break each.
    void typedLineBreaks() { QCOMPARE(VCard::escapeText("a\r\nb\rc"), QStringLiteral("a\\nb\\nc")); }

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
