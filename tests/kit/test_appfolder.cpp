#include <QTest>

#include "kit/AppFolder.h"

// Where the program keeps the user's files and finds its own.
class TestAppFolder : public QObject {
    Q_OBJECT

private slots:
    void choice_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("share");  // the installed share folder, when there is one
        QTest::addColumn<QString>("xdgDataHome");
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("shipped");
        QTest::addColumn<bool>("portable");
        const QString home = QStringLiteral("/home/anna/.local/share/tessaly");
        QTest::newRow("a folder of one's own stays portable")
            << true << "" << "/xdg" << "/opt/tessaly" << "/opt/tessaly/Data" << true;
        QTest::newRow("read-only folder: data under XDG_DATA_HOME")
            << false << "" << "/xdg" << "/xdg/tessaly" << "/opt/tessaly/Data" << false;
        QTest::newRow("installed, read-only")
            << false << "/usr/share/tessaly" << "/xdg/" << "/xdg/tessaly" << "/usr/share/tessaly" << false;
        QTest::newRow("installed, but writable (root, or a prefix at home)")
            << true << "/usr/share/tessaly" << "/xdg" << "/xdg/tessaly" << "/usr/share/tessaly" << false;
        QTest::newRow("XDG_DATA_HOME unset")
            << false << "/usr/share/tessaly" << "" << home << "/usr/share/tessaly" << false;
        QTest::newRow("XDG_DATA_HOME relative, so ignored")
            << false << "/usr/share/tessaly" << "data" << home << "/usr/share/tessaly" << false;
    }
    void choice()
    {
        QFETCH(bool, writable);
        QFETCH(QString, share);
        QFETCH(QString, xdgDataHome);
        const AppFolder::Choice c =
            AppFolder::choose({QStringLiteral("/opt/tessaly"), writable, share, xdgDataHome, QStringLiteral("/home/anna")});
        QTEST(c.root, "root");
        QTEST(c.shipped, "shipped");
        QTEST(c.portable, "portable");
    }
};

QTEST_GUILESS_MAIN(TestAppFolder)
#include "test_appfolder.moc"
