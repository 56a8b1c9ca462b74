#include <QFile>
#include <QTest>

#include <ctime>

#include "kit/Occurrences.h"
#include "support/Golden.h"

// The expansion of repeat rules, against what python3-dateutil makes of the
// same rules (tests/data/recur/make_expected.py wrote rules.expected).
class TestOccurrences : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A zone with a change of the clocks, whatever the machine runs on.
        qputenv("TZ", "America/New_York");
        tzset();
    }

    void againstDateutil()
    {
        const QString input = Golden::folder(QStringLiteral("recur")) + QStringLiteral("/rules.txt");
        QFile file(input);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QStringList out;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.isEmpty() || line.startsWith(u'#'))
                continue;
            QStringList f = line.split(u'|');
            for (QString& v : f)
                v = v.trimmed();
            Occurrences::Series s;
            s.start = f[1];
            s.finish = f[2];
            s.zone = f[3];
            s.rule = f[4];
            s.rdates = f[5].split(u',', Qt::SkipEmptyParts);
            // A replaced occurrence drops out of its series as an excluded one does.
            QSet<QString> replaced;
            for (const QString& d : f[6].split(u',', Qt::SkipEmptyParts)) {
                if (d.startsWith(u'~'))
                    replaced.insert(d.mid(1));
                else
                    s.exdates << d;
            }
            out << QStringLiteral("[%1]").arg(f[0]);
            const QString form = s.start.size() == 8 ? QStringLiteral("yyyyMMdd") : QStringLiteral("yyyyMMdd'T'HHmmss");
            for (const Occurrences::Occurrence& o : Occurrences::expand(s, QDate::fromString(f[7], u"yyyyMMdd"),
                                                                        QDate::fromString(f[8], u"yyyyMMdd"), replaced))
                out << o.start.toString(form) + QStringLiteral(" - ") + o.finish.toString(form);
        }
        Golden::compare(input, out.join(u'\n') + u'\n');
    }

    void rulesThatRead()
    {
        QVERIFY(Occurrences::ruleReads(QString()));
        QVERIFY(Occurrences::ruleReads(QStringLiteral("FREQ=WEEKLY;BYDAY=TU")));
        QVERIFY(!Occurrences::ruleReads(QStringLiteral("FREQ=FORTNIGHTLY")));
    }
};

QTEST_GUILESS_MAIN(TestOccurrences)
#include "test_occurrences.moc"
