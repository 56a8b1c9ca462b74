#include <QAction>
#include <QDir>
#include <QEnterEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "controls/Buttons.h"
#include "controls/RichTextBox.h"
#include "kit/Clock.h"
#include "shell/frmAbout.h"
#include "shell/frmLoadingPic.h"
#include "shell/frmMain.h"
#include "shell/frmSplash.h"
#include "support/Files.h"
#include "support/Fixture.h"

// The main window's frame and the about box.
class TestShell : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;

private slots:
    void init() { fx = std::make_unique<AppFixture>(); }
    void cleanup() { fx.reset(); }

    void splashOpensTheMainWindowWhoseClockRunsAndExitClosesItWithItsChildren()
    {
        Screens::show<frmSplash>();
        QVERIFY(waitFor([] { return Screens::isLoaded<frmMain>() && !Screens::isLoaded<frmSplash>(); }, 4000));
        frmMain* main = Screens::load<frmMain>();
        QCOMPARE(main->lblTime->text(), QStringLiteral("10:30:05 AM"));
        Clock::setFixed(QDateTime(QDate(2026, 5, 16), QTime(0, 0, 7)));
        QVERIFY(waitFor([&] { return main->lblTime->text() == QStringLiteral("12:00:07 AM"); }, 1000));
        QCOMPARE(main->lblDate->text(), QStringLiteral("5/15/26"));
        main->mnuExit->trigger();
        pump();
        QVERIFY(!Screens::isLoaded<frmMain>() && !Screens::isLoaded<frmLoadingPic>());
    }

    // A tool button names itself while the pointer is on it, and only then.
    void hoverLabels()
    {
        frmMain* main = fx->openMainWindow();
        const QList<std::tuple<QWidget*, QLabel*, QString>> buttons = {
            {main->cmdNote, main->lblNote, QStringLiteral("Note Taking")},
            {main->cmdAddressSave, main->lblAddressSave, QStringLiteral("Save")},
            {main->cmdPrint, main->lblPrint, QStringLiteral("Print")}};
        for (const auto& [button, label, text] : buttons) {
            QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
            QCoreApplication::sendEvent(button, &enter);
            QCOMPARE(label->text() + (label->font().bold() ? "/bold" : ""), text + "/bold");
            QEvent leave(QEvent::Leave);
            QCoreApplication::sendEvent(button, &leave);
            QCOMPARE(label->text(), QString());
        }
    }

    void aboutDescribesTheDataFolderAndFindsASystemInformationProgram()
    {
        frmMain* main = fx->openMainWindow();
        QVERIFY(writeFile(fx->dataDir() + QStringLiteral("/description.txt"),
                          "{\\rtf1\\ansi An \\b organizer\\b0  for caf\\'e9s.\\par}"));
        const QString bin = fx->appDir() + QStringLiteral("/bin");
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin));
        QDir().mkpath(bin);
        for (const char* name : {"gnome-system-monitor", "hardinfo"})
            QVERIFY(writeFile(bin + '/' + name, "#!/bin/sh\n")
                    && QFile::setPermissions(bin + '/' + name, QFile::ExeOwner));
        main->mnuAB->trigger();
        frmAbout* about = visibleWindow<frmAbout>();
        QCOMPARE(about->txtDescription->toPlainText(), QString::fromUtf8("An organizer for caf\xc3\xa9s."));
        QTest::mouseClick(about->cmdSysInfo, Qt::LeftButton);
        QCOMPARE(fx->launched.value(0).first, bin + QStringLiteral("/hardinfo"));
        qputenv("PATH", path);
        QTest::keyClick(about->txtDescription, Qt::Key_Escape);
        pump();
        QVERIFY(!Screens::isLoaded<frmAbout>());
    }
};

QTEST_MAIN(TestShell)
#include "test_shell.moc"
