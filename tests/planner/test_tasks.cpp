#include <memory>

#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include "planner/Tasks.h"
#include "store/Connection.h"
#include "support/Fixture.h"

namespace {
using F = TaskFields::Field;

// The tree as "title/depth" in the order shown.
QString shown(const TaskTree& tree)
{
    QStringList out;
    for (const TaskItem& t : tree.items)
        out << QStringLiteral("%1/%2").arg(t.values[F::Title]).arg(t.depth);
    return out.join(' ');
}

TaskValues titled(const QString& title, const QString& due = {})
{
    TaskValues v;
    v[F::Title] = title;
    v[F::Due] = due;
    v[F::Priority] = v[F::Percent] = QStringLiteral("0");
    return v;
}
}  // namespace

class TestTasks : public QObject {
    Q_OBJECT

private slots:
    // Rows "key:parent:position:title", and the tree they make.
    void tree_data()
    {
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("tree");
        QTest::addColumn<int>("orphans");
        QTest::addColumn<QString>("cut");
        QTest::newRow("three deep, by position") << "1:0:1:a 2:0:0:b 3:1:0:c 4:3:0:d 5:1:1:e 6:4:0:f"
                                                 << "b/0 a/0 c/1 d/2 f/3 e/1" << 0 << "";
        QTest::newRow("parent gone: at the top") << "1:9:0:a 2:1:0:b"
                                                 << "a/0 b/1" << 1 << "";
        QTest::newRow("loop cut at its lowest key") << "1:0:0:a 3:2:0:c 2:4:0:b 4:3:0:d 5:4:0:e"
                                                    << "a/0 b/0 c/1 d/2 e/3" << 0 << "b";
        QTest::newRow("its own parent") << "7:7:0:x 8:7:0:y"
                                        << "x/0 y/1" << 0 << "x";
    }
    void tree()
    {
        QFETCH(QString, rows);
        QFETCH(QString, tree);
        QFETCH(int, orphans);
        QFETCH(QString, cut);
        QList<std::pair<qint64, TaskValues>> in;
        for (const QString& r : rows.split(' ')) {
            const QStringList p = r.split(':');
            TaskValues v = titled(p[3]);
            v[F::Parent] = p[1];
            v[F::Position] = p[2];
            in.append({p[0].toLongLong(), v});
        }
        const TaskTree t = Tasks::build(in);
        QCOMPARE(shown(t), tree);
        QCOMPARE(t.orphans, orphans);
        QCOMPARE(t.loopsCut.join(','), cut);
    }

    // New, moved by the keyboard's moves, done and deleted, in a store.
    void edits()
    {
        QTemporaryDir dir;
        Connection con;
        con.Open(dir.filePath("t.db"));
        Tasks tasks(con);
        const qint64 shop = tasks.add(titled("shop", "20261209T170000"));
        const qint64 milk = tasks.add(titled("milk", "20261208"), shop);
        const qint64 bread = tasks.add(titled("bread"), shop);
        const qint64 call = tasks.add(titled("call", "20261210"));
        QCOMPARE(shown(tasks.tree()), "shop/0 milk/1 bread/1 call/0");
        QVERIFY(!tasks.move(milk, Tasks::Move::Up));
        QVERIFY(!tasks.move(milk, Tasks::Move::In) && !tasks.move(shop, Tasks::Move::Out));
        QVERIFY(tasks.move(bread, Tasks::Move::Up));
        QVERIFY(tasks.move(milk, Tasks::Move::In));
        QCOMPARE(shown(tasks.tree()), "shop/0 bread/1 milk/2 call/0");
        QVERIFY(tasks.move(bread, Tasks::Move::Out));
        QVERIFY(tasks.move(call, Tasks::Move::Up));
        QCOMPARE(shown(tasks.tree()), "shop/0 call/0 bread/0 milk/1");
        QVERIFY(tasks.move(call, Tasks::Move::Down));
        QCOMPARE(shown(tasks.tree()), "shop/0 bread/0 milk/1 call/0");

        // Overdue and today's, by due date; done ones drop out of both.
        const auto titles = [](const QList<TaskItem>& items) {
            QStringList out;
            for (const TaskItem& t : items)
                out << t.values[F::Title];
            return out.join(' ');
        };
        QCOMPARE(titles(tasks.dueBy({2026, 12, 9}, true)), "milk shop");
        QCOMPARE(titles(tasks.dueBy({2026, 12, 9}, false)), "shop");
        tasks.setDone(milk, true, QDateTime({2026, 12, 9}, {10, 0}, QTimeZone::utc()));
        QCOMPARE(TaskRows::byKey(con, milk)->at(F::Completed), "20261209T100000Z");
        QCOMPARE(titles(tasks.dueBy({2026, 12, 9}, true)), "shop");
        // A done task hides with its sub-tasks done, and shows while one is to do.
        QCOMPARE(shown(tasks.tree(false)), "shop/0 bread/0 call/0");
        tasks.setDone(bread, true, QDateTime::currentDateTime());
        QCOMPARE(shown(tasks.tree(false)), "shop/0 call/0");
        tasks.setDone(milk, false, {});
        QCOMPARE(shown(tasks.tree(false)), "shop/0 bread/0 milk/1 call/0");
        QCOMPARE(TaskRows::byKey(con, milk)->at(F::Percent), "0");
        QVERIFY(tasks.move(bread, Tasks::Move::In));  // under shop: done above done above to do
        tasks.setDone(shop, true, QDateTime::currentDateTime());
        QCOMPARE(shown(tasks.tree(false)), "shop/0 bread/1 milk/2 call/0");

        // A repeating task moves on to its next date, its start with it.
        TaskValues weekly = *TaskRows::byKey(con, call);
        weekly[F::Rule] = "FREQ=WEEKLY;COUNT=2";
        weekly[F::Start] = "20261208";
        tasks.change(call, weekly);
        tasks.setDone(call, true, {});
        QCOMPARE(TaskRows::byKey(con, call)->at(F::Due), "20261217");
        QCOMPARE(TaskRows::byKey(con, call)->at(F::Start), "20261215");
        QCOMPARE(TaskRows::byKey(con, call)->at(F::Rule), "FREQ=WEEKLY;COUNT=1");
        tasks.setDone(call, true, QDateTime({2026, 12, 17}, {9, 0}, QTimeZone::utc()));
        QCOMPARE(TaskRows::byKey(con, call)->at(F::Completed), "20261217T090000Z");

        QCOMPARE(tasks.remove(bread), 2);
        QCOMPARE(shown(tasks.tree()), "shop/0 call/0");
    }
};

QTEST_GUILESS_MAIN(TestTasks)
#include "test_tasks.moc"
