#include <QTest>

#include "kit/AppFolder.h"

class TestAppFolder : public QObject {
    Q_OBJECT

private slots:
    // Where the program keeps the user's files and finds its own: "root shipped [portable]".
    void choice_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("share");  // the installed share folder, when there is one
        QTest::addColumn<QString>("xdgDataHome");
        QTest::addColumn<QString>("chosen");
        const QString usr = "/usr/share/tessaly", home = "/home/anna/.local/share/tessaly " + usr;
        QTest::newRow("own writable folder") << true << ""
                                             << "/xdg"
                                             << "/opt/t /opt/t/Data portable";
        QTest::newRow("read-only folder") << false << ""
                                          << "/xdg"
                                          << "/xdg/tessaly /opt/t/Data";
        QTest::newRow("installed, writable to root") << true << usr << "/xdg/"
                                                     << "/xdg/tessaly " + usr;
        QTest::newRow("XDG_DATA_HOME unset") << false << usr << "" << home;
        QTest::newRow("XDG_DATA_HOME relative") << false << usr << "d" << home;
    }
    void choice()
    {
        QFETCH(bool, writable);
        QFETCH(QString, share);
        QFETCH(QString, xdgDataHome);
        const AppFolder::Choice c = AppFolder::choose({"/opt/t", writable, share, xdgDataHome, "/home/anna"});
        QTEST(QStringList({c.root, c.shipped, c.portable ? "portable" : ""}).join(' ').trimmed(), "chosen");
    }
};

QTEST_GUILESS_MAIN(TestAppFolder)
#include "test_appfolder.moc"
