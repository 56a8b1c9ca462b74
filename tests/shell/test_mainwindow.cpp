#include <QAction>
#include <QEnterEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

#include "kit/Clock.h"
#include "kit/SavingProgress.h"
#include "shell/frmLoadingPic.h"
#include "shell/frmMain.h"
#include "shell/frmSplash.h"
#include "controls/Buttons.h"
#include "support/Fixture.h"

// The main window's frame: splash, menus, clock, the three button panels
// with their hover labels, and the self-closing progress windows.
class TestMainWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;

    static void hover(QWidget* button)
    {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QCoreApplication::sendEvent(button, &enter);
    }
    static void leave(QWidget* button)
    {
        QEvent event(QEvent::Leave);
        QCoreApplication::sendEvent(button, &event);
    }
    // The labels of a panel that show text right now.
    static QStringList shownLabels(QWidget* panel)
    {
        QStringList shown;
        for (QLabel* label : panel->findChildren<QLabel*>())
            if (label->objectName().startsWith(QStringLiteral("lbl")) && label->objectName() != QStringLiteral("lblTime")
                && label->objectName() != QStringLiteral("lblDate") && !label->text().isEmpty())
                shown << label->objectName() + QLatin1Char('=') + label->text() + (label->font().bold() ? "/bold" : "");
        return shown;
    }

private slots:
    void init() { fx = std::make_unique<AppFixture>(); }
    void cleanup() { fx.reset(); }

    void splashShowsTitleAndVersionThenOpensTheMainWindow()
    {
        frmSplash* splash = Screens::show<frmSplash>();
        QCOMPARE(splash->lblProductName->text(), QStringLiteral("Tessaly 2002"));
        QCOMPARE(splash->lblPlatform->text(), QStringLiteral("WIN ME/98/XP"));
        QCOMPARE(splash->lblVersion->text(), QStringLiteral("Version 1.0.0"));
        QCOMPARE(splash->Timer1->interval(), 2500);
        QVERIFY(!Screens::isLoaded<frmMain>());
        QVERIFY(waitFor([] { return Screens::isLoaded<frmMain>(); }, 4000));
        QVERIFY(!Screens::isLoaded<frmSplash>());
        QVERIFY(Screens::load<frmMain>()->isVisible());
        QVERIFY(Screens::load<frmMain>()->windowState() & Qt::WindowMaximized);
    }

    void menusCarryTheirCaptionsInOrder()
    {
        frmMain* main = fx->openMainWindow();
        QStringList menus;
        for (QAction* action : main->menuBar()->actions()) {
            QStringList items;
            for (QAction* item : action->menu()->actions())
                items << (item->isSeparator() ? QStringLiteral("-") : item->text());
            menus << action->text() + QStringLiteral(": ") + items.join(QStringLiteral(", "));
        }
        QCOMPARE(menus, QStringList({"&File: Import Contacts..., Export Contacts..., Import Appointments..., Export Appointments..., -, &Exit",
                                         "Properties: Change password, -, Change Info", "About: About"}));
    }

    void clockFollowsTheTimerAndTheDateStaysPut()
    {
        frmMain* main = fx->openMainWindow();
        QCOMPARE(main->lblTime->text(), QStringLiteral("10:30:05 AM"));
        Clock::setFixed(QDateTime(QDate(2026, 5, 16), QTime(0, 0, 7)));
        QVERIFY(waitFor([&] { return main->lblTime->text() == QStringLiteral("12:00:07 AM"); }, 1000));
        QCOMPARE(main->lblDate->text(), QStringLiteral("5/15/26"));
        QCOMPARE(main->Timer1->interval(), 100);
    }

    void toolBarHoverLabelsShowOneNameAtATime()
    {
        frmMain* main = fx->openMainWindow();
        const QList<QPair<QWidget*, QString>> tools = {
            {main->cmdCalendar, "lblCalendar=Calendar/bold"},       {main->cmdNote, "lblNote=Note Taking/bold"},
            {main->cmdAddressBook, "lblAddress=Address Book/bold"}, {main->cmdOrganizer, "lblOrganizer=Organizer/bold"},
            {main->cmdEmail, "lblEmail=Email/bold"},                {main->cmdCheckEmail, "lblCheckEmail=Check Email/bold"},
            {main->cmdCalculator, "lblCalculator=Calculator/bold"}, {main->cmdExit, "lblExit=Exit/bold"},
        };
        QVERIFY(shownLabels(main->asxGenericContainer1).isEmpty());
        QWidget* previous = nullptr;
        for (const auto& [button, expected] : tools) {
            if (previous)
                leave(previous);
            hover(button);
            hover(button);
            QCOMPARE(shownLabels(main->asxGenericContainer1), QStringList({expected}));
            previous = button;
        }
        leave(previous);
        QVERIFY(shownLabels(main->asxGenericContainer1).isEmpty());
        QVERIFY(!main->lblExit->font().bold());
    }

    void panelHoverLabels()
    {
        frmMain* main = fx->openMainWindow();
        QTest::mouseClick(main->cmdAddressBook, Qt::LeftButton);
        const QList<QPair<QWidget*, QString>> address = {
            {main->cmdAddressNew, "lblAddressNew=New/bold"},       {main->cmdAddressSave, "lblAddressSave=Save/bold"},
            {main->cmdAddressClear, "lblAddressClear=Clear/bold"}, {main->cmdAddressPrint, "lblAddressPrint=Print/bold"},
            {main->cmdAddressEdit, "lblAddressEdit=Edit/bold"},    {main->cmdAddressSearch, "lblAddressSearch=Search/bold"},
            {main->cmdAddressDelete, "lblAddressDelete=Delete/bold"},
        };
        for (const auto& [button, expected] : address) {
            hover(button);
            QCOMPARE(shownLabels(main->AddressOption), QStringList({expected}));
            leave(button);
        }
        hover(main->cmdAddressExit);
        QVERIFY(shownLabels(main->AddressOption).isEmpty());

        const QList<QPair<QWidget*, QString>> notes = {
            {main->cmdNew, "lblNew=New/bold"},     {main->cmdOpen, "lblOpen=Open/bold"},
            {main->cmdSave, "lblSave=Save/bold"},  {main->cmdPrint, "lblPrint=Print/bold"},
            {main->cmdNoteExit, "lblNoteExit=Exit/bold"},
        };
        for (const auto& [button, expected] : notes) {
            hover(button);
            QCOMPARE(shownLabels(main->NoteOption), QStringList({expected}));
            leave(button);
        }
        // The text buttons have no hover labels: nothing changes.
        for (QWidget* text : {main->cmdSaveAs, main->cmdUndo, main->cmdCut, main->cmdCopy, main->cmdPaste,
                              main->cmdSelectAll, main->cmdTime, main->cmdDate, main->cmdfind, main->cmdHelp})
            hover(text);
        QVERIFY(shownLabels(main->NoteOption).isEmpty());
        QCOMPARE(main->cmdSelectAll->text(), QStringLiteral("Select All"));
        QCOMPARE(main->cmdfind->text(), QStringLiteral("Find"));
    }

    void addressBookShowsItsPanelOnce()
    {
        frmMain* main = fx->openMainWindow();
        QVERIFY(!main->AddressOption->isVisible());
        QVERIFY(!main->NoteOption->isVisible());
        QTest::mouseClick(main->cmdAddressBook, Qt::LeftButton);
        QTest::mouseClick(main->cmdAddressBook, Qt::LeftButton);
        QVERIFY(main->AddressOption->isVisible());
        QCOMPARE(main->findChildren<QWidget*>(QStringLiteral("AddressOption")).size(), 1);
        QCOMPARE(main->AddressOption->width(), 125);
        QCOMPARE(main->asxGenericContainer1->width(), 96);
    }

    void exitClosesTheMainWindowWithItsChildren()
    {
        frmMain* main = fx->openMainWindow();
        QPointer<frmMain> guard(main);
        QVERIFY(Screens::isLoaded<frmLoadingPic>());
        main->mnuExit->trigger();
        pump();
        QVERIFY(!Screens::isLoaded<frmMain>());
        QVERIFY(!Screens::isLoaded<frmLoadingPic>());
        QVERIFY(guard.isNull());
    }

    void progressWindowFillsAndClosesByItself()
    {
        frmLoadSaving* saving = Screens::load<frmLoadSaving>();
        QCOMPARE(saving->windowTitle(), QStringLiteral("Save PLEASE WAIT ...."));
        QCOMPARE(saving->ProgressBar1->value(), 0);
        QVERIFY(!(saving->windowFlags() & Qt::WindowCloseButtonHint));
        Screens::show<frmLoadSaving>();
        QVERIFY(waitFor([&] { return saving->ProgressBar1->value() > 10; }, 3000));
        // A second save while it fills uses the same window.
        QCOMPARE(Screens::show<frmLoadSaving>(), saving);
        QVERIFY(waitFor([] { return !Screens::isLoaded<frmLoadSaving>(); }, 5000));

        frmSaving* appointment = Screens::show<frmSaving>();
        QCOMPARE(appointment->windowTitle(), QStringLiteral("Saving"));
        QVERIFY(waitFor([] { return !Screens::isLoaded<frmSaving>(); }, 5000));
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
