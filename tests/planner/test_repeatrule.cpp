#include <QLocale>
#include <QRegularExpression>
#include <QTest>

#include "planner/RepeatRule.h"
#include "support/Files.h"
#include "support/Golden.h"

// The Repeat dialog's rules both ways: a rule read into choices says them
// in words and writes back the same rule; one saying more than the dialog
// can show reads as nothing.
class TestRepeatRule : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void readAndWritten()
    {
        const QString input = Golden::folder(QStringLiteral("recur")) + QStringLiteral("/choices.txt");
        QStringList out;
        for (const QString& rule : QString::fromUtf8(readFile(input)).split('\n', Qt::SkipEmptyParts)) {
            if (rule.startsWith('#'))
                continue;
            const std::optional<RepeatRule::Choices> c = RepeatRule::choicesOf(rule);
            // An end on a date alone is a whole-day series'.
            const bool allDay = rule.contains(QRegularExpression(QStringLiteral("UNTIL=\\d{8}(;|$)")));
            out << (c ? QStringList{rule, RepeatRule::summaryOf(*c), RepeatRule::ruleOf(*c, allDay)}
                      : QStringList{rule, QStringLiteral("-")})
                       .join(QStringLiteral(" | "));
        }
        Golden::compare(input, out.join('\n') + '\n');
    }

    // A day's weekday of its month: the fifth is the last.
    void positions()
    {
        QCOMPARE((QList<int>{RepeatRule::positionOf({2026, 3, 1}), RepeatRule::positionOf({2026, 3, 10}),
                             RepeatRule::positionOf({2026, 3, 28}), RepeatRule::positionOf({2026, 3, 29})}),
                 (QList<int>{1, 2, 4, -1}));
    }
};

QTEST_MAIN(TestRepeatRule)
#include "test_repeatrule.moc"
