#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include "kit/Screens.h"
#include "shell/frmAbout.h"
#include "shell/frmMain.h"
#include "controls/RichTextBox.h"
#include "support/Fixture.h"

namespace {
const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");
}  // namespace

class TestAbout : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    frmMain* main = nullptr;
    QByteArray savedPath;

    frmAbout* open()
    {
        main->mnuAB->trigger();
        return visibleWindow<frmAbout>();
    }

    // A folder that becomes the whole PATH, holding executables of these names.
    QString pathWith(const QStringList& programs)
    {
        const QString bin = fx->appDir() + QStringLiteral("/bin");
        QDir().mkpath(bin);
        for (const QString& name : programs) {
            QFile file(bin + QLatin1Char('/') + name);
            if (!file.open(QIODevice::WriteOnly))
                qFatal("cannot write %s", qPrintable(file.fileName()));
            file.write("#!/bin/sh\n");
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("PATH", QFile::encodeName(bin));
        return bin;
    }

    void writeDescription(const QByteArray& content)
    {
        QFile file(fx->dataDir() + QStringLiteral("/description.txt"));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write the description");
        file.write(content);
    }

private slots:
    void init()
    {
        savedPath = qgetenv("PATH");
        fx = std::make_unique<AppFixture>();
        main = fx->openMainWindow();
    }
    void cleanup()
    {
        fx.reset();
        qputenv("PATH", savedPath);
    }

    void showsTitleAndVersionInOneWindow()
    {
        frmAbout* about = open();
        QVERIFY(about);
        QCOMPARE(about->windowTitle(), QStringLiteral("About Tessaly 2002"));
        QCOMPARE(about->lblTitle->text(), QStringLiteral("Tessaly 2002"));
        QCOMPARE(about->lblVersion->text(), QStringLiteral("Version 1.0.0"));
        QVERIFY(!about->isChildWindow());
        QCOMPARE(about->cmdSysInfo->text(), QStringLiteral("&System Info..."));

        QCOMPARE(open(), about);
        int shown = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            shown += qobject_cast<frmAbout*>(w) && w->isVisible();
        QCOMPARE(shown, 1);
    }

    void describesWhatTheDataFolderHolds_data()
    {
        QTest::addColumn<QByteArray>("content");  // empty: no file at all
        QTest::addColumn<QString>("shown");
        QTest::newRow("no file") << QByteArray() << "No description available.";
        QTest::newRow("plain text") << QByteArray("An organizer.\nSecond line.") << "An organizer.\nSecond line.";
        QTest::newRow("UTF-8") << QByteArray("Caf\xc3\xa9 for two") << QString::fromUtf8("Caf\xc3\xa9 for two");
        QTest::newRow("Latin-1") << QByteArray("Caf\xe9 for two") << QString::fromUtf8("Caf\xc3\xa9 for two");
        QTest::newRow("rich text") << QByteArray("{\\rtf1\\ansi\\ansicpg1252 An \\b organizer\\b0  for caf\\'e9s.\\par}")
                                   << QString::fromUtf8("An organizer for caf\xc3\xa9s.");
    }
    void describesWhatTheDataFolderHolds()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, shown);
        if (!content.isEmpty())
            writeDescription(content);
        frmAbout* about = open();
        QCOMPARE(about->txtDescription->toPlainText(), shown);
        QVERIFY(about->txtDescription->isReadOnly());
    }

    void closesOnOkEnterAndEscape_data()
    {
        QTest::addColumn<int>("key");  // 0: click OK
        QTest::newRow("OK") << 0;
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Escape") << int(Qt::Key_Escape);
    }
    void closesOnOkEnterAndEscape()
    {
        QFETCH(int, key);
        frmAbout* about = open();
        if (key)
            QTest::keyClick(about->txtDescription, Qt::Key(key));
        else
            QTest::mouseClick(about->cmdOK, Qt::LeftButton);
        pump();
        QVERIFY(!Screens::isLoaded<frmAbout>());
    }

    void systemInformation_data()
    {
        QTest::addColumn<QStringList>("programs");
        QTest::addColumn<bool>("startSucceeds");
        QTest::addColumn<QString>("started");  // relative to the PATH folder; empty: nothing started
        QTest::addColumn<bool>("message");
        QTest::newRow("one tool") << QStringList{"kinfocenter"} << true << "kinfocenter" << false;
        QTest::newRow("the preferred of two") << QStringList{"gnome-system-monitor", "hardinfo"} << true << "hardinfo"
                                              << false;
        QTest::newRow("none") << QStringList{"unrelated"} << true << "" << true;
        QTest::newRow("cannot be started") << QStringList{"hardinfo"} << false << "hardinfo" << true;
    }
    void systemInformation()
    {
        QFETCH(QStringList, programs);
        QFETCH(bool, startSucceeds);
        QFETCH(QString, started);
        QFETCH(bool, message);
        const QString bin = pathWith(programs);
        fx->launchSucceeds = startSucceeds;
        QTest::mouseClick(open()->cmdSysInfo, Qt::LeftButton);

        if (started.isEmpty()) {
            QVERIFY(fx->launched.isEmpty());
        } else {
            QCOMPARE(fx->launched.size(), 1);
            QCOMPARE(fx->launched[0].first, bin + QLatin1Char('/') + started);
            QCOMPARE(fx->launched[0].second, QStringList());
        }
        if (message) {
            QCOMPARE(fx->messages.size(), 1);
            QCOMPARE(fx->messages[0].text, kUnavailable);
            QCOMPARE(fx->messages[0].icon, MsgIcon::None);
            QCOMPARE(fx->messages[0].buttons, MsgButtons::OKOnly);
            QCOMPARE(fx->messages[0].title, QStringLiteral("Tessaly 2002"));
        } else {
            QVERIFY(fx->messages.isEmpty());
        }
    }
};

QTEST_MAIN(TestAbout)
#include "test_about.moc"
