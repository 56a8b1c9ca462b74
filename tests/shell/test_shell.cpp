#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QEnterEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTest>

#include "account/frmChangeInfo.h"
#include "account/frmChangePass.h"
#include "account/frmLogin.h"
#include "account/frmMailAccounts.h"
#include "account/frmNoPassword.h"
#include "account/frmPassInfo.h"
#include "address/frmAddress.h"
#include "address/frmAddressDelete.h"
#include "address/frmAddressEdit.h"
#include "address/frmAddressSearch.h"
#include "calc/frmCal.h"
#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/ListView.h"
#include "controls/MSFlexGrid.h"
#include "controls/MonthView.h"
#include "controls/RichTextBox.h"
#include "kit/Clock.h"
#include "mail/frmCheckEmail.h"
#include "mail/frmSendEmail.h"
#include "mail/frmTo.h"
#include "notes/frmFind.h"
#include "notes/frmNote.h"
#include "planner/frmCalendar.h"
#include "planner/frmOrganizer.h"
#include "planner/frmOrganizerSearch.h"
#include "planner/frmRepeat.h"
#include "shell/SearchFill.h"
#include "shell/frmAbout.h"
#include "shell/frmLoadingPic.h"
#include "shell/frmMain.h"
#include "shell/frmSplash.h"
#include "store/Connection.h"
#include "store/RecordsChanged.h"
#include "store/SearchIndex.h"
#include "support/Files.h"
#include "support/Fixture.h"
#include "sync/frmSyncSettings.h"

namespace {
// A screen; its Tab walk from the first control on; keys
// as "focus>key>button" ("-": no focus) with the button each must press; and
// what Escape does: presses that button, "closes" the screen or it "stays".
struct Row {
    std::function<QWidget*()> open;
    const char *walk, *presses, *escape;
};
const Row kScreens[] = {
    {Screens::show<frmLogin>, "txtUserName txtPassword cmdLogin cmdExit",
     "txtUserName>Return>cmdLogin cmdExit>Enter>cmdExit", "cmdExit"},
    {Screens::show<frmPassInfo>,
     "txtUserName txtPass txtRePass txtsmtp txtYourEmail txtHost cboIncoming EmailUserName txtPassword cboSignIn "
     "cmdOkay "
     "cmdSMTPhelp "
     "cmdRemoteHelp cmdSave",
     "txtRePass>Return>cmdOkay txtHost>Enter>cmdSave", "closes"},
    {Screens::show<frmChangePass>, "txtcurrentUserName txtCurrentPass cmdTest", "txtCurrentPass>Return>cmdTest",
     "closes"},
    {Screens::show<frmChangeInfo>,
     "txtPassword cboSignIn txtEmailUserName txtHost cboIncoming txtsmtp txtYourEmail cboAttachments spnMessageLimit "
     "cmdSMTPhelp "
     "cmdRemoteHelp "
     "cmdSave",
     "txtsmtp>Return>cmdSave", "closes"},
    // On the first account, whose settings are Change Info's.
    {Screens::show<frmMailAccounts>,
     "lstAccounts cmdNew cmdSMTPhelp cmdRemoteHelp cmdSave lstIdentities txtIdentityName txtIdentityAddress "
     "txtSignature cmdAddIdentity cmdRemoveIdentity",
     "", "closes"},
    {Screens::show<frmAbout>, "txtDescription cmdOK cmdSysInfo", "txtDescription>Return>cmdOK", "cmdOK"},
    {Screens::show<frmFind>, "Text1 Replace Text2 cmdfind Check1 cmdCancel",
     "Text1>Return>cmdfind Check1>Return>cmdfind", "cmdCancel"},
    {Screens::show<frmCal>, "", "->7>cmdNum_7 ->*>cmdOp_2 ->Enter>cmdEQ", "closes"},
    {Screens::show<frmCalendar>, "", "", "cmdExit"},
    {Screens::show<frmSendEmail>,
     "cmdSend cmdNew cmdAddFile cmdRemove cmdClose cmdTo txtRecipient txtSubject txtMessage lstAttachments", "",
     "cmdClose"},
    {Screens::show<frmAddress>, "", "", "stays"},
    {Screens::show<frmAddressSearch>, "", "", "closes"},
    {Screens::show<frmTo>, "", "", "closes"},
};
}  // namespace

// The main window's frame, the about box, and the keyboard on every screen.
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
        auto* time = main->findChild<QLabel*>("lblTime");
        QCOMPARE(time->text(), QStringLiteral("10:30:05 AM"));
        Clock::setFixed(QDateTime(QDate(2026, 5, 16), QTime(0, 0, 7)));
        QVERIFY(waitFor([&] { return time->text() == QStringLiteral("12:00:07 AM"); }, 1000));
        QCOMPARE(main->findChild<QLabel*>("lblDate")->text(), QStringLiteral("5/15/26"));
        main->command("mnuExit")->trigger();
        pump();
        QVERIFY(!Screens::isLoaded<frmMain>() && !Screens::isLoaded<frmLoadingPic>());
    }

    // An older store's index is filled beside the window, telling how far; a note changed by another program is read
    // again; entries a writer left held are put.
    void searchIndexIsFilledAtTheStart()
    {
        frmMain* main = fx->openMainWindow();
        fx->makeDataFolder();
        const QString note = fx->appDir() + QStringLiteral("/Note/n.nte");
        QVERIFY(writeFile(note, "{\\rtf1 Ideas for \\b Quinn\\b0\\par}"));
        Db::exec(fx->dbPath(), QStringLiteral("INSERT INTO tblAddress (FirstName) VALUES ('Quentin');"
                                              "INSERT INTO tblSearchNote (Path, MTime) VALUES ('%1', 0);"
                                              "DELETE FROM tblSearch; UPDATE tblSearchVersion SET Version = 0;"
                                              "INSERT INTO tblSearchHeld VALUES (-1)")
                                   .arg(note));
        QSignalSpy shares(main->findChild<SearchFill*>(), &SearchFill::progress);
        Connection con;
        con.Open(fx->dbPath());
        QVERIFY(waitFor([&] { return !SearchIndex::prepare(con.handle()); }));
        QVERIFY(waitFor([&] { return !main->findChild<QStatusBar*>(); }));
        QVERIFY(!shares.isEmpty() && shares.last().first() == 100);
        QStringList found;
        for (const auto& hit : SearchIndex::search(con.handle(), "qu"))
            found << hit.snippet;
        QCOMPARE(found, (QStringList{"", "Ideas for \x02Quinn\x03"}));
        Db::exec(fx->dbPath(), QStringLiteral("INSERT INTO tblAddress (FirstName) VALUES ('Quill')"));
        QCOMPARE(SearchIndex::search(con.handle(), "quill").size(), 1u);
    }

    // Ctrl+K and the keyboard alone: typed, moved to a hit, opened in its screen.
    void searchBoxOpensWhatItFinds()
    {
        frmMain* main = fx->openMainWindow();
        fx->makeDataFolder();
        Db::exec(fx->dbPath(),
                 QStringLiteral("INSERT INTO tblAddress (FirstName, LastName) VALUES ('Quentin', 'Blake');"
                                "INSERT INTO tblOrginize (DateValue, TimeStart, Note) VALUES ('%1', '9:00', "
                                "'Lunch with <Quentin>')")
                     .arg(Clock::dateText(QDate(2026, 6, 20))));
        QVERIFY(QTest::qWaitForWindowActive(main));
        const auto search = [&](const QString& typed) {
            // Pressed where the keys are, the search's own box (a text line) included.
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : main, Qt::Key_K,
                            Qt::ControlModifier);
            auto* box = main->findChild<QLineEdit*>("txtSearch");
            if (!box || !box->hasFocus())
                return QStringList{"Ctrl+K did not give the search the keys"};
            box->clear();
            QTest::keyClicks(box, typed);
            QStringList rows;
            auto* list = main->findChild<QListWidget*>("lstResults");
            for (int i = 0; i < list->count(); ++i)
                rows << list->item(i)->text();
            return rows;
        };
        // First from a text box that has the keys: it keeps its line, which Ctrl+K would delete to the end.
        QTest::mouseClick(main->button("cmdAddressBook"), Qt::LeftButton);
        QTest::mouseClick(main->button("cmdAddressNew"), Qt::LeftButton);
        QLineEdit* name = Screens::load<frmAddress>()->txtFirstName;
        name->setFocus();
        QTest::keyClicks(name, QStringLiteral("keep"));
        QTest::keyClick(name, Qt::Key_Home);
        QCOMPARE(search("qu"), (QStringList{"Contacts", "Quentin Blake", "Appointments",
                                            Clock::dateText(QDate(2026, 6, 20)) + " 9:00- - Lunch with <Quentin>"}));
        QCOMPARE(name->text(), QStringLiteral("keep"));
        // A screen reader reaches the hits from the window, and reads them.
        QAccessibleInterface* hits = QAccessible::queryAccessibleInterface(main->findChild<QWidget*>("lstResults"));
        QAccessibleInterface* up = hits;
        while (up && up->object() != main)
            up = up->parent();
        QVERIFY(up && hits->text(QAccessible::Name) == "Search results" && hits->childCount() == 4);
        QCOMPARE(hits->child(1)->text(QAccessible::Name), "Quentin Blake");
        QCOMPARE(search("nobody"), QStringList{"Nothing found"});
        search("quentin");
        auto* box = main->findChild<QLineEdit*>("txtSearch");
        QTest::keyClick(box, Qt::Key_Down);
        // What another process adds shows in the open box; the hit chosen stays chosen.
        Db::exec(fx->dbPath(), "INSERT INTO tblAddress (FirstName, LastName) VALUES ('Quentin', 'Adams')");
        main->findChild<DataVersionWatch*>()->check();
        QTRY_COMPARE(main->findChild<QListWidget*>("lstResults")->count(), 5);
        QTest::keyClick(box, Qt::Key_Return);
        QVERIFY(!main->findChild<QWidget*>("frmSearch")->isVisible());
        frmAddressEdit* edit = Screens::load<frmAddressEdit>();
        QCOMPARE(edit->findChild<QLineEdit*>("txtLastName")->text(), "Blake");

        search("lunch");
        QTest::keyClick(box, Qt::Key_Up);  // from the end, past the heading
        QTest::keyClick(box, Qt::Key_Down);
        QTest::keyClick(box, Qt::Key_Down);
        QTest::keyClick(box, Qt::Key_Enter);
        auto* organizer = Screens::load<frmOrganizer>();
        QCOMPARE(organizer->SSTab1->currentIndex(), 1);
        QCOMPARE(organizer->MonthView1[1]->Value(), QDate(2026, 6, 20));
        search("x");
        QTest::keyClick(box, Qt::Key_Escape);
        QVERIFY(!main->findChild<QWidget*>("frmSearch")->isVisible());
    }

    // A tool button names itself while the pointer is on it, and only then;
    // the menus open from the keyboard (Alt and the underlined letter).
    void hoverLabelsAndMenuMnemonics()
    {
        frmMain* main = fx->openMainWindow();
        QStringList titles;
        for (QAction* menu : main->menuBar()->actions())
            for (QAction* item : QList{menu} + menu->menu()->actions())
                titles << item->text();
        QCOMPARE(titles.join('|'),
                 QStringLiteral("&File|&Import Contacts...|Export &Contacts...|Import &Appointments..."
                                "|Export A&ppointments...||&Sync Now||&Exit|&Properties|Change &password||"
                                "Change &Info|Mail &Accounts|&Sync Settings|&About|&About"));
        const QList<std::tuple<QWidget*, QLabel*, QString>> buttons = {
            {main->button("cmdNote"), main->findChild<QLabel*>("lblNote"), QStringLiteral("Note Taking")},
            {main->button("cmdAddressSave"), main->findChild<QLabel*>("lblAddressSave"), QStringLiteral("Save")},
            {main->button("cmdPrint"), main->findChild<QLabel*>("lblPrint"), QStringLiteral("Print")}};
        for (const auto& [button, label, text] : buttons) {
            QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
            QCoreApplication::sendEvent(button, &enter);
            QCOMPARE(label->text() + (label->font().bold() ? "/bold" : ""), text + "/bold");
            QEvent leave(QEvent::Leave);
            QCoreApplication::sendEvent(button, &leave);
            QCOMPARE(label->text(), QString());
        }
    }

    // A tool button closes the tool screens it replaces, and never a note, a
    // panel or a window of its own: what stays open after each, of the four
    // tool screens open before it and the two windows it may open.
    void toolButtonsCloseWhatTheyReplace()
    {
        const std::pair<const char*, const char*> rows[] = {
            {"cmdAddressBook", ""},
            {"cmdNote", ""},
            {"cmdOrganizer", "Organizer CheckEmail SendEmail"},
            {"cmdEmail", "CheckEmail SendEmail"},
            {"cmdCheckEmail", "CheckEmail"},
            {"cmdCalculator", "Address Organizer CheckEmail SendEmail Cal"},
            {"cmdCalendar", "Address Organizer CheckEmail SendEmail Calendar"}};
        for (const auto& [button, stays] : rows) {
            fx.reset(), fx = std::make_unique<AppFixture>();
            frmMain* main = fx->openMainWindow();
            fx->makeDataFolder();
            QTest::mouseClick(main->button("cmdNote"), Qt::LeftButton);
            QTest::mouseClick(main->button("cmdAddressBook"), Qt::LeftButton);
            Screens::show<frmAddress>(), Screens::show<frmOrganizer>();
            Screens::show<frmCheckEmail>(), Screens::show<frmSendEmail>();
            QTest::mouseClick(main->button(button), Qt::LeftButton);
            QStringList open = {Screens::isLoaded<frmAddress>() ? "Address" : "",
                                Screens::isLoaded<frmOrganizer>() ? "Organizer" : "",
                                Screens::isLoaded<frmCheckEmail>() ? "CheckEmail" : "",
                                Screens::isLoaded<frmSendEmail>() ? "SendEmail" : "",
                                Screens::isLoaded<frmCal>() ? "Cal" : "",
                                Screens::isLoaded<frmCalendar>() ? "Calendar" : ""};
            open.removeAll(QString());
            QCOMPARE(QString(button) + ": " + open.join(' '), QString(button) + ": " + stays);
            QVERIFY(main->findChild<QWidget*>("AddressOption")->isVisible()
                    && main->findChild<QWidget*>("NoteOption")->isVisible()
                    && main->mdiArea()->findChildren<frmNote*>().size()
                           == (button == QLatin1String("cmdNote") ? 2 : 1));
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
        main->command("mnuAB")->trigger();
        frmAbout* about = visibleWindow<frmAbout>();
        QCOMPARE(about->txtDescription->toPlainText(), QString::fromUtf8("An organizer for caf\xc3\xa9s."));
        QTest::mouseClick(about->cmdSysInfo, Qt::LeftButton);
        QCOMPARE(fx->launched.value(0).first, bin + QStringLiteral("/hardinfo"));
        qputenv("PATH", path);
    }

    // The standard keys do what their commands do; Delete in a list presses
    // the screen's button that removes what is chosen there.
    void standardKeys()
    {
        frmMain* main = fx->openMainWindow();
        fx->makeDataFolder();
        QTest::mouseClick(main->button("cmdNote"), Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowActive(main));
        const std::pair<const char*, std::function<bool()>> keys[] = {
            {"Ctrl+N", [&] { return main->mdiArea()->findChildren<frmNote*>().size() == 2; }},
            {"Ctrl+O", [&] { return fx->fileRequests.size() == 1; }},
            {"Ctrl+S", [&] { return fx->fileRequests.size() == 2; }},  // a new note asks for its name
            {"Ctrl+P", [&] { return QFileInfo(fx->pdfPath()).size() > 0; }},
            {"F1", [&] { return fx->messageTexts() == QStringList{"Will be saved as *.nte"}; }},
            {"Ctrl+F", [] { return visibleWindow<frmFind>() != nullptr; }},
        };
        for (const auto& [key, done] : keys) {
            QTest::keySequence(QApplication::focusWidget(), QKeySequence(QLatin1String(key)));
            QVERIFY2(waitFor(done, 2000), key);
        }
        Screens::unload<frmFind>();
        const std::pair<QWidget*, const char*> lists[] = {{Screens::show<frmSendEmail>(), "lstAttachments cmdRemove"},
                                                          {Screens::show<frmAddressDelete>(), "lstName cmdDelete"}};
        for (const auto& [screen, names] : lists) {
            const QStringList name = QString::fromLatin1(names).split(' ');
            QSignalSpy pressed(screen->findChild<QAbstractButton*>(name[1]), &QAbstractButton::clicked);
            auto* list = screen->findChild<QWidget*>(name[0]);
            screen->window()->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(screen->window()));
            QVERIFY(waitFor([&] { return list->setFocus(), list->hasFocus(); }));
            QTest::keyClick(list, Qt::Key_Delete);
            QCOMPARE(pressed.size(), 1);
        }
        QTest::keySequence(QApplication::focusWidget(), QKeySequence(QStringLiteral("Ctrl+Q")));
        QVERIFY(waitFor([] { return !Screens::isLoaded<frmMain>(); }, 2000));
    }

    // A screen opens where and as large as it was closed, within reach of the user.
    void screensOpenWhereTheyWereClosed()
    {
        fx->openMainWindow();
        fx->makeDataFolder();
        const auto frame = [] { return qobject_cast<QMdiSubWindow*>(Screens::show<frmCheckEmail>()->parentWidget()); };
        const QSize first = frame()->size();
        const QRect moved(QPoint(40, 30), first + QSize(200, 100));
        frame()->setGeometry(moved);
        const auto headings = [] { return Screens::show<frmCheckEmail>()->lvMessages->header(); };
        QCOMPARE(headings()->sortIndicatorSection(), 2);  // newest first at the start
        headings()->setSortIndicator(3, Qt::AscendingOrder);
        headings()->resizeSection(0, 211);
        QVERIFY(Screens::close(frame()->widget()));
        QCOMPARE(frame()->geometry(), moved);
        QCOMPARE(headings()->sortIndicatorSection(), 3);  // the order and widths chosen are kept
        QCOMPARE(headings()->sectionSize(0), 211);
        QVERIFY(Screens::close(frame()->widget()));
        Screens::show<frmTo>()->gridTo->sortBy(1, Qt::DescendingOrder);  // the picker's heading too
        QVERIFY(Screens::close(Screens::load<frmTo>()));
        QCOMPARE(Screens::show<frmTo>()->gridTo->sortColumn(), 1);
        QSettings places(fx->dataDir() + "/Windows.ini", QSettings::IniFormat);
        places.setValue("frmCheckEmail/frame", QRect(9000, 9000, 20, 20));  // on a screen since unplugged
        places.sync();
        QCOMPARE(frame()->geometry(), QRect(QPoint(0, 0), first));
    }

    // Grown, a screen keeps every control inside its parent and apart from
    // the others, and the ones holding content take the room; its first
    // size is its least. The Part's hidden boxes stay hidden.
    void screensGrowWithTheirWindow()
    {
        fx->openMainWindow();  // inside the work area, as the program shows them
        fx->makeDataFolder();
        const std::pair<std::function<QWidget*()>, const char*> screens[] = {
            {Screens::show<frmCheckEmail>, "lvMessages txtBody"},
            {Screens::show<frmSendEmail>, "txtMessage lstAttachments"},
            {Screens::show<frmAddressEdit>, "lstName txtComments"},
            {Screens::show<frmAddressDelete>, "lstName txtComments"},
            {Screens::show<frmAddressSearch>, "lstv"},
            {Screens::show<frmOrganizer>, "MSgridTime_0"},
            {Screens::show<frmOrganizerSearch>, "lstv"}};
        for (const auto& [open, content] : screens) {
            QWidget* screen = open();
            const QSize first = screen->size();
            QCOMPARE(screen->minimumSize(), first);
            const auto placed = [screen] {
                QStringList out;  // what lies outside its parent, and what overlaps what
                const QList<QWidget*> all = screen->findChildren<QWidget*>();
                for (QWidget* a : all) {
                    if (!a->isVisibleTo(screen) || a->objectName().isEmpty())
                        continue;
                    if (!a->parentWidget()->rect().contains(a->geometry()))
                        out << a->objectName();
                    for (QWidget* b : all)
                        if (a < b && b->parentWidget() == a->parentWidget() && b->isVisibleTo(screen)
                            && !b->objectName().isEmpty() && a->geometry().intersects(b->geometry()))
                            out << a->objectName() + '/' + b->objectName();
                }
                return QSet<QString>(out.begin(), out.end());
            };
            const QSet<QString> before = placed();
            QMap<QString, QSize> sizes;
            for (const QString& name : QString(content).split(' '))
                sizes[name] = screen->findChild<QWidget*>(name)->size();
            screen->resize(first + QSize(420, 360));
            if (const QString shots = qEnvironmentVariable("TESSALY_SHOTS"); !shots.isEmpty())  // to look at
                screen->grab().save(QStringLiteral("%1/%2-%3-grown.png")
                                        .arg(shots)
                                        .arg(qApp->devicePixelRatio())
                                        .arg(screen->objectName()));
            const QSet<QString> after = placed();
            QVERIFY2(before.contains(after),
                     qPrintable(screen->objectName() + ": " + QStringList(after.values()).join(' ')));
            for (const QString& name : sizes.keys()) {
                const QSize grown = screen->findChild<QWidget*>(name)->size() - sizes[name];
                QVERIFY2(grown.height() >= 120 || grown.width() >= 420, qPrintable(screen->objectName() + '/' + name));
            }
            for (const char* hidden : {"txtHost", "txtUserName", "txtSender"})
                if (auto* box = screen->findChild<QWidget*>(QLatin1String(hidden)))
                    QVERIFY(!box->isVisibleTo(screen));
            if (auto* check = qobject_cast<frmCheckEmail*>(screen)) {  // a whole screen's height of mail
                screen->resize(1280, 1000);
                for (int row = 0; row < 60; ++row)
                    check->lvMessages->addItem(QStringLiteral("someone"));
                check->lvMessages->doItemsLayout();
                QVERIFY(check->lvMessages->indexAt({1, check->lvMessages->viewport()->height() - 2}).row() >= 19);
            }
            QVERIFY(Screens::close(screen));
        }
    }

    // No caption is cut: every label and command button shown holds its whole
    // text in the program's face, at whatever scale the run is made (the
    // suite runs this once more at 200 %).
    void everyCaptionFits()
    {
        const QFont before = QApplication::font();
        QApplication::setFont(screenFont());
        frmMain* main = fx->openMainWindow();
        fx->makeDataFolder();
        QTest::mouseClick(main->button("cmdNote"), Qt::LeftButton);
        QTest::mouseClick(main->button("cmdAddressBook"), Qt::LeftButton);
        const std::function<QWidget*()> screens[] = {
            [main] { return main; },         Screens::show<frmLogin>,       Screens::show<frmPassInfo>,
            Screens::show<frmNoPassword>,    Screens::show<frmChangePass>,  Screens::show<frmChangeInfo>,
            Screens::show<frmMailAccounts>,  Screens::show<frmAbout>,       Screens::show<frmLoadingPic>,
            Screens::show<frmFind>,          Screens::show<frmCal>,         Screens::show<frmCalendar>,
            Screens::show<frmSendEmail>,     Screens::show<frmTo>,          Screens::show<frmCheckEmail>,
            Screens::show<frmAddress>,       Screens::show<frmAddressEdit>, Screens::show<frmAddressDelete>,
            Screens::show<frmAddressSearch>, Screens::show<frmOrganizer>,   Screens::show<frmOrganizerSearch>,
            Screens::show<frmSyncSettings>,  Screens::show<frmRepeat>};
        QStringList cut;
        int read = 0;
        for (const auto& open : screens) {
            QWidget* screen = open();
            QVERIFY(screen);
            if (const QString shots = qEnvironmentVariable("TESSALY_SHOTS"); !shots.isEmpty())  // to look at
                screen->grab().save(
                    QStringLiteral("%1/%2-%3.png").arg(shots).arg(qApp->devicePixelRatio()).arg(screen->objectName()));
            auto check = [&](QWidget* control, const QString& text, const QRect& room, int flags, const QFont& face) {
                if (!control->isVisibleTo(screen->window()) || text.isEmpty())
                    return;
                ++read;
                const QRect needs = QFontMetrics(face, control).boundingRect(room, flags | Qt::TextShowMnemonic, text);
                if (needs.width() > room.width() || (flags & Qt::TextWordWrap && needs.height() > room.height())
                    || face.pointSizeF() < kSmallestPoints)
                    cut << QStringLiteral("%1/%2 \"%3\" at %8 pt needs %4x%5 in %6x%7")
                               .arg(screen->objectName(), control->objectName(), text)
                               .arg(needs.width())
                               .arg(needs.height())
                               .arg(room.width())
                               .arg(room.height())
                               .arg(face.pointSizeF());
            };
            for (QLabel* label : screen->findChildren<QLabel*>())
                if (label->pixmap().isNull())
                    check(label, label->text(), label->contentsRect(),
                          int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0), label->font());
            for (QPushButton* button : screen->findChildren<QPushButton*>()) {
                QStyleOptionButton option;
                option.initFrom(button);
                check(button, button->text(),
                      button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button), Qt::AlignCenter,
                      button->font());
            }
            // The headings of the grids (a margin each side), and the tab strips' captions side by side.
            const int margin = screen->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
            for (MSFlexGrid* grid : screen->findChildren<MSFlexGrid*>())
                for (int row = 0; row < grid->Rows(); ++row)
                    for (int col = 0; col < (row < grid->FixedRows() ? grid->Cols() : grid->FixedCols()); ++col)
                        check(grid, grid->TextMatrix(row, col),
                              QRect(0, 0, grid->columnWidth(col) - 2 * margin, grid->rowHeight(row)), 0,
                              grid->cellFont(row, col));
            for (QTabBar* strip : screen->findChildren<QTabBar*>())
                if (strip->isVisibleTo(screen->window()) && strip->sizeHint().width() > strip->parentWidget()->width())
                    cut << QStringLiteral("%1/%2 needs %3 in %4")
                               .arg(screen->objectName(), strip->parentWidget()->objectName())
                               .arg(strip->sizeHint().width())
                               .arg(strip->parentWidget()->width());
        }
        QApplication::setFont(before);
        QVERIFY2(read > 80, qPrintable(QString::number(read)));
        qInfo("%d captions at %g times, %lld cut", read, qApp->devicePixelRatio(), qsizetype(cut.size()));
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join('\n')));
    }

    // Every screen is worked with the keyboard alone, through the one mechanism of the screen base.
    void everyScreenByKeyboard()
    {
        fx->openMainWindow();
        fx->makeDataFolder();
        auto focusName = [] { return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : ""; };
        for (const Row& row : kScreens) {
            QPointer<QWidget> screen;
            auto show = [&] {
                screen = row.open();
                screen->window()->activateWindow();
                return QTest::qWaitForWindowActive(screen->window());
            };
            QVERIFY(show());
            const QString name = screen->objectName();
            const QStringList walk = QString::fromLatin1(row.walk).split(' ', Qt::SkipEmptyParts);
            if (!walk.isEmpty())
                screen->findChild<QWidget*>(walk[0])->setFocus();
            QStringList walked;  // until Tab is back on the first
            for (int i = 0; i <= walk.size() && !walk.isEmpty();
                 ++i, QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab))
                walked << focusName();
            QCOMPARE(name + ": " + walked.join(' '), name + ": " + (walk + walk.mid(0, 1)).join(' '));
            for (const QString& press : QString::fromLatin1(row.presses).split(' ', Qt::SkipEmptyParts)) {
                const QStringList part = press.split('>');
                QSignalSpy clicked(screen->findChild<QAbstractButton*>(part[2]), &QAbstractButton::clicked);
                QWidget* target = part[0] == "-" ? screen.data() : screen->findChild<QWidget*>(part[0]);
                target->setFocus();
                QTest::keyClick(target, Qt::Key(QKeySequence(part[1])[0].key()));
                QVERIFY2(waitFor([&] { return clicked.size() == 1; }, 1000), qPrintable(name + " " + press));
                pump();  // a screen the button closed is gone now
                if (!screen)
                    QVERIFY(show());
            }
            auto* cancel = screen->findChild<QAbstractButton*>(row.escape);
            QSignalSpy pressed(cancel ? cancel : new QPushButton(screen), &QAbstractButton::clicked);
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : screen.data(), Qt::Key_Escape);
            pump();
            const QString outcome = cancel ? (pressed.isEmpty() ? "cmd?" : row.escape) : screen ? "stays" : "closes";
            QCOMPARE(name + ": " + outcome, name + ": " + row.escape);
        }
    }
};

QTEST_MAIN(TestShell)
#include "test_shell.moc"
