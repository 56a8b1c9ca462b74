#include "shell/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <functional>

#include "account/frmChangeInfo.h"
#include "account/frmChangePass.h"
#include "account/frmLogin.h"
#include "account/frmMailAccounts.h"
#include "account/frmPassInfo.h"
#include "address/frmAddress.h"
#include "address/frmAddressDelete.h"
#include "address/frmAddressEdit.h"
#include "address/frmAddressSearch.h"
#include "calc/frmCal.h"
#include "controls/Accessible.h"
#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/Twips.h"
#include "kit/AppFolder.h"
#include "kit/AppInfo.h"
#include "kit/Clock.h"
#include "kit/Invitation.h"
#include "kit/MsgBox.h"
#include "kit/ProgramLock.h"
#include "kit/StoreAccess.h"
#include "kit/StoreStart.h"
#include "mail/InvitationMail.h"
#include "mail/frmCheckEmail.h"
#include "mail/frmSendEmail.h"
#include "notes/NoteDesk.h"
#include "notes/NoteDocuments.h"
#include "notes/NoteEditing.h"
#include "planner/AppointmentReminders.h"
#include "planner/frmCalendar.h"
#include "planner/frmOrganizer.h"
#include "shell/FileExchange.h"
#include "shell/SearchBox.h"
#include "shell/SearchFill.h"
#include "shell/frmAbout.h"
#include "shell/frmLoadingPic.h"
#include "store/Connection.h"
#include "store/RecordsChanged.h"
#include "store/Recordset.h"
#include "store/StoreError.h"
#include "sync/EventMap.h"
#include "sync/InvitationPlanner.h"
#include "sync/SyncProgress.h"
#include "sync/frmSyncSettings.h"
#include "window/SavingProgress.h"

namespace {
const QColor kYellow(255, 255, 0);
const QColor kLightYellow(255, 255, 128);
const QString kAddressOptions = QStringLiteral("Address Options");
const QString kNoteOptions = QStringLiteral("Note Options");
const QString kOtherOptions = QStringLiteral("Other Options");
const QString kFillingIndex = QStringLiteral("Indexing for search: %p%");

// Where a command shows: a button on one of the panels, or an entry of a menu.
enum Host { ToolBar, AddressPanel, NotePanel, FileMenu, PropertiesMenu, AboutMenu };

// The menu bar, in the order of the menus above.
const char* const kMenus[][2] = {{"mnuFile", "&File"}, {"mnuProperties", "&Properties"}, {"mnuAbout", "&About"}};

QLabel* colouredLabel(QWidget* parent, const char* name, const QRect& geometry, const QColor& color,
                      const QString& text = QString())
{
    QLabel* label = makeLabel(parent, name, text, geometry);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

QRect fromTwips(const QRect& r)
{
    return twipsRect(r.x(), r.y(), r.width(), r.height());
}

// A hover label shows its button's name in bold while the pointer is over it,
// and nothing (in the normal face) otherwise.
void setHover(QLabel* label, const QString& text)
{
    QFont font = label->font();
    font.setBold(!text.isEmpty());
    label->setFont(font);
    label->setText(text);
}

// The tool screens a tool button closes, in this order, before it opens its own.
template <class... Screen>
void closeFirst()
{
    (Screens::unload<Screen>(), ...);
}
}  // namespace

// One command: what it is called and shows, where it sits and what it does.
// The action behind it is named like its button or menu entry; the button
// only triggers the action and follows its enabled state.
struct frmMain::Command {
    const char* name;
    const char* caption;  // hover text, a text button's caption or a menu entry ("-": a separator)
    Host host;
    struct {
        QRect place;                       // in twips, inside its panel
        const char* picture = nullptr;     // none: a text button
        const char* hoverLabel = nullptr;  // none: the button has no hover label
    } button = {};
    std::function<void()> run = {};
    bool keptWhenLocked = false;
    // A standard key, shown beside a menu entry; a panel's works while the panel shows.
    const char* shortcut = nullptr;
};

frmMain::frmMain()
{
    // The login locks through the kit; the lock itself is ours.
    ProgramLock::setHandler([self = QPointer<frmMain>(this)] {
        if (self)
            self->lockProgram();
    });
    // Mail's invitations reach the planner through the kit; the storing is the sync's.
    Invitation::setPlanner(InvitationPlanner::planner());
    // The planner's invitations go out by mail, its attendees come from the address book.
    Invitation::setMailer(invitationMailer(this));
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(AppInfo::kTitle);
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    // Without a window manager "maximized" means nothing; fill the screen anyway.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        resize(screen->availableGeometry().size());
    setWindowState(Qt::WindowMaximized);

    // Everything below the menu bar is the window's blue.
    auto* central = new QWidget(this);
    QPalette palette = central->palette();
    palette.setColor(QPalette::Window, mainBlue());
    central->setPalette(palette);
    central->setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(central);

    createPanels();
    m_notes = new NoteDesk(this);
    m_notes->setCaption = [this](const QString& caption) { setWindowTitle(caption); };
    m_notes->showNotePanel = [this] { NoteOption->setVisible(true); };
    layout->addWidget(asxGenericContainer1);
    layout->addWidget(m_workArea, 1);
    layout->addWidget(AddressOption);
    layout->addWidget(NoteOption);
    Screens::setWorkArea(m_workArea);

    createCommands();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
}

// The three panels with what on them is no command: headings and the clock.
void frmMain::createPanels()
{
    asxGenericContainer1 = new asxGenericContainer(centralWidget());
    asxGenericContainer1->setObjectName(QStringLiteral("asxGenericContainer1"));
    asxGenericContainer1->setBackColor(mainBlue());
    asxGenericContainer1->setFixedWidth(twips(1440));
    QFont clockFont = font();
    clockFont.setBold(true);
    lblTime = colouredLabel(asxGenericContainer1, "lblTime", twipsRect(0, 7320, 1440, 255), kYellow);
    lblDate = colouredLabel(asxGenericContainer1, "lblDate", twipsRect(0, 7560, 1440, 255), kYellow);
    lblTime->setFont(clockFont);
    lblDate->setFont(clockFont);

    m_workArea = new QMdiArea(centralWidget());
    m_workArea->setObjectName(QStringLiteral("MDIClient"));
    m_workArea->setBackground(mainBlue());
    // Screens inside the work area keep the desktop's colours, not the blue around them.
    // The application palette marks no colour as set, so it would fall back
    // to the blue of the window around the area; every colour is made explicit.
    QPalette system = QApplication::palette();
    system.setResolveMask(~QPalette::ResolveMask(0));
    m_workArea->setPalette(system);

    AddressOption = new QWidget(centralWidget());
    AddressOption->setObjectName(QStringLiteral("AddressOption"));
    AddressOption->setFixedWidth(twips(1875));
    AddressOption->setAccessibleName(kAddressOptions);
    AddressOption->setAutoFillBackground(true);
    AddressOption->hide();
    QLabel* heading = colouredLabel(AddressOption, "Label3", twipsRect(60, 60, 1815, 375), kYellow, kAddressOptions);
    heading->setFont(QFont(QStringLiteral("Comic Sans MS"), 10, QFont::Bold));
    // The panel's Exit button has a hover label, but it never names the button.
    colouredLabel(AddressOption, "lblAddressExit", twipsRect(840, 5880, 855, 255), kYellow);

    NoteOption = new asxGenericContainer(centralWidget());
    NoteOption->setObjectName(QStringLiteral("NoteOption"));
    NoteOption->setFixedWidth(twips(1785));
    NoteOption->setAccessibleName(kNoteOptions);
    NoteOption->setBackColor(mainBlue());
    NoteOption->setFrameShape(QFrame::Box);
    NoteOption->hide();
    heading = colouredLabel(NoteOption, "Label4", twipsRect(60, 120, 1700, 375), kLightYellow, kNoteOptions);
    heading->setFont(QFont(QStringLiteral("Comic Sans MS"), 10, QFont::Bold));
    heading = colouredLabel(NoteOption, "Label2", twipsRect(60, 4200, 1700, 255), Qt::white, kOtherOptions);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    colouredLabel(NoteOption, "Label1", twipsRect(0, 6840, 1700, 255), Qt::white);
}

void frmMain::createCommands()
{
    // clang-format off
    const Command commands[] = {
        // The tool bar.
        {"cmdCalendar", "Calendar", ToolBar, {{0, 0, 735, 495}, "calendar", "lblCalendar"},
            [this] { LoadCalendar(); }},
        {"cmdNote", "Note Taking", ToolBar, {{0, 840, 735, 495}, "note", "lblNote"}, [this] {
            closeFirst<frmAddress, frmOrganizer, frmCheckEmail, frmSendEmail>();
            Notes::LoadNewDoc(*m_notes);
        }},
        {"cmdAddressBook", "Address Book", ToolBar, {{0, 1680, 735, 495}, "address", "lblAddress"}, [this] {
            closeFirst<frmAddress, frmOrganizer, frmCheckEmail, frmSendEmail>();
            AddressOption->setVisible(true);
        }},
        {"cmdOrganizer", "Organizer", ToolBar, {{0, 2520, 735, 495}, "organizer", "lblOrganizer"}, [this] {
            closeFirst<frmAddress>();
            LoadOrganizer();
        }},
        {"cmdEmail", "Email", ToolBar, {{0, 3360, 735, 615}, "email", "lblEmail"}, [] {
            closeFirst<frmAddress, frmOrganizer>();
            Screens::show<frmSendEmail>();
        }},
        {"cmdCheckEmail", "Check Email", ToolBar, {{0, 4320, 735, 495}, "checkemail", "lblCheckEmail"}, [] {
            closeFirst<frmAddress, frmOrganizer, frmSendEmail>();
            Screens::show<frmCheckEmail>();
        }},
        {"cmdCalculator", "Calculator", ToolBar, {{0, 5160, 735, 615}, "calculator", "lblCalculator"},
            Screens::show<frmCal>},
        {"cmdExit", "Exit", ToolBar, {{0, 6240, 735, 615}, "exit", "lblExit"},
            Screens::unload<frmMain>},
        {"cmdSearchAll", "Search All", ToolBar, {{0, 7860, 735, 495}, "search", "lblSearchAll"},
            [this] { openSearch(); }, false, "Ctrl+K"},

        // The address panel.
        {"cmdAddressNew", "New", AddressPanel, {{0, 480, 735, 495}, "new", "lblAddressNew"}, [] {
            Screens::show<frmAddress>();
            ClearAddressForm();
        }},
        {"cmdAddressSave", "Save", AddressPanel, {{0, 1200, 735, 495}, "save", "lblAddressSave"}, [] {
            Screens::load<frmLoadSaving>();
            frmAddress* entry = Screens::load<frmAddress>();
            showSaveProgress(entry && entry->SavingAddress());
        }},
        {"cmdAddressClear", "Clear", AddressPanel, {{0, 2040, 735, 495}, "clear", "lblAddressClear"},
            ClearAddressForm},
        {"cmdAddressPrint", "Print", AddressPanel, {{0, 2760, 735, 495}, "print", "lblAddressPrint"}, [] {
            if (frmAddress* entry = Screens::load<frmAddress>())
                entry->AddressPrinting();
        }},
        {"cmdAddressEdit", "Edit", AddressPanel, {{0, 3480, 735, 495}, "edit", "lblAddressEdit"},
            Screens::show<frmAddressEdit>},
        {"cmdAddressSearch", "Search", AddressPanel, {{0, 4320, 735, 495}, "search", "lblAddressSearch"},
            Screens::show<frmAddressSearch>},
        {"cmdAddressDelete", "Delete", AddressPanel, {{0, 5040, 735, 495}, "delete", "lblAddressDelete"},
            Screens::show<frmAddressDelete>},
        // Open address screens stay open.
        {"cmdAddressExit", "Exit", AddressPanel, {{0, 5760, 735, 495}, "back", nullptr},
            [this] { AddressOption->setVisible(false); }},

        // The note panel: five icon buttons, then text buttons.
        {"cmdNew",       "New",        NotePanel, {{0, 600, 855, 495}, "new", "lblNew"},
            [this] { Notes::LoadNewDoc(*m_notes); }, false, "Ctrl+N"},
        {"cmdOpen",      "Open",       NotePanel, {{0, 1200, 855, 495}, "open", "lblOpen"},
            [this] { Notes::Opendoc(*m_notes); }, false, "Ctrl+O"},
        {"cmdSave",      "Save",       NotePanel, {{0, 1800, 855, 495}, "save", "lblSave"},   Notes::SaveDoc,
            false, "Ctrl+S"},
        {"cmdPrint",     "Print",      NotePanel, {{0, 2520, 855, 495}, "print", "lblPrint"}, Notes::PrintNote,
            false, "Ctrl+P"},
        {"cmdNoteExit",  "Exit",       NotePanel, {{0, 3240, 855, 495}, "back", "lblNoteExit"},
            [this] { NoteOption->setVisible(false); }},
        {"cmdSaveAs",    "Save As",    NotePanel, {{0, 4560, 1695, 375}},  [this] { Notes::SaveAss(*m_notes); }},
        {"cmdUndo",      "Undo",       NotePanel, {{0, 4920, 1695, 375}},  Notes::Undo},
        {"cmdCut",       "Cut",        NotePanel, {{0, 5280, 855, 375}},   Notes::Cut},
        {"cmdCopy",      "Copy",       NotePanel, {{840, 5280, 855, 375}}, Notes::Copy},
        {"cmdPaste",     "Paste",      NotePanel, {{0, 5640, 855, 375}},   Notes::Paste},
        {"cmdSelectAll", "Select All", NotePanel, {{840, 5640, 855, 375}}, Notes::SelectAll},
        {"cmdTime",      "Time",       NotePanel, {{0, 6000, 855, 375}},   [this] { Notes::InsertTime(*m_notes); }},
        {"cmdDate",      "Date",       NotePanel, {{840, 6000, 855, 375}}, [this] { Notes::InsertDate(*m_notes); }},
        {"cmdfind",      "Find",       NotePanel, {{0, 6360, 855, 375}},   Notes::ShowFind, false, "Ctrl+F"},
        {"cmdHelp",      "Help",       NotePanel, {{840, 6360, 855, 375}}, Notes::Help, false, "F1"},

        // The menus. A locked program keeps Exit and About.
        {"mnuImportContacts",     "&Import Contacts...",     FileMenu, {}, FileExchange::importContacts},
        {"mnuExportContacts",     "Export &Contacts...",     FileMenu, {}, FileExchange::exportContacts},
        {"mnuImportAppointments", "Import &Appointments...", FileMenu, {}, FileExchange::importAppointments},
        {"mnuExportAppointments", "Export A&ppointments...", FileMenu, {}, FileExchange::exportAppointments},
        {"",                      "-",                       FileMenu},
        {"mnuSyncNow",            "&Sync Now",               FileMenu, {}, SyncNow::withProgress},
        {"",                      "-",                       FileMenu},
        {"mnuExit",               "&Exit",                   FileMenu, {}, Screens::unload<frmMain>, true, "Ctrl+Q"},
        {"mnuChangePass",         "Change &password",        PropertiesMenu, {}, Screens::show<frmChangePass>},
        {"sep1",                  "-",                       PropertiesMenu},
        {"mnuChangeInfo",         "Change &Info",            PropertiesMenu, {}, Screens::show<frmChangeInfo>},
        {"mnuMailAccounts",       "Mail &Accounts",          PropertiesMenu, {}, Screens::show<frmMailAccounts>},
        {"mnuSyncSettings",       "&Sync Settings",          PropertiesMenu, {}, Screens::show<frmSyncSettings>},
        {"mnuAB",                 "&About",                  AboutMenu, {}, Screens::show<frmAbout>, true},
    };
    // clang-format on

    QList<QMenu*> menus;
    for (const auto& [name, title] : kMenus) {
        menus << menuBar()->addMenu(QLatin1String(title));
        menus.last()->setObjectName(QLatin1String(name));
        menus.last()->setAccessibleName(Accessible::plainCaption(QLatin1String(title)));
    }
    QWidget* const panels[] = {asxGenericContainer1, AddressOption, NoteOption};

    for (const Command& command : commands) {
        const QString caption = QLatin1String(command.caption);
        if (caption == QLatin1String("-")) {
            menus[command.host - FileMenu]->addSeparator()->setObjectName(QLatin1String(command.name));
            continue;
        }
        auto* action = new QAction(caption, this);
        action->setObjectName(QLatin1String(command.name));
        action->setShortcut(QKeySequence::fromString(QLatin1String(command.shortcut), QKeySequence::PortableText));
        connect(action, &QAction::triggered, this, command.run);
        if (!command.keptWhenLocked)
            m_lockable << action;
        if (command.host >= FileMenu) {
            menus[command.host - FileMenu]->addAction(action);
            continue;
        }

        QWidget* panel = panels[command.host];
        const QRect& place = command.button.place;
        auto* button = makeControl<asxToolButton>(panel, command.name, fromTwips(place));
        button->setBackColor(mainBlue());
        button->setAccessibleName(caption);
        if (command.button.picture) {
            button->setPicture(QLatin1String(command.button.picture));
            button->setIconSize(QSize(28, 28));
        } else {
            button->setText(caption);
            button->setAutoRaise(false);
            QPalette palette = button->palette();
            palette.setColor(QPalette::ButtonText, Qt::white);
            button->setPalette(palette);
        }
        connect(button, &QAbstractButton::clicked, action, &QAction::trigger);
        connect(action, &QAction::enabledChanged, button, &QWidget::setEnabled);
        // A shortcut of a panel's command works while the panel shows.
        panel->addAction(action);

        if (const char* name = command.button.hoverLabel) {
            // Under its button on the tool bar, beside it on the other panels.
            const QRect at = command.host == ToolBar ? QRect(0, place.y() + place.height() - 15, 1440, 255)
                                                     : QRect(840, place.y() + 120, 855, 255);
            QLabel* label =
                colouredLabel(panel, name, fromTwips(at), command.host == NotePanel ? kLightYellow : kYellow);
            connect(button, &ButtonBase::MouseMove, label, [label, caption] { setHover(label, caption); });
            connect(button, &ButtonBase::MouseLeave, label, [label] { setHover(label, QString()); });
        }
    }
}

asxToolButton* frmMain::button(const char* name) const
{
    return findChild<asxToolButton*>(QLatin1String(name));
}

QAction* frmMain::command(const char* name) const
{
    return findChild<QAction*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
}

void frmMain::Form_Load()
{
    CheckPassFile();
    // Only a program the user got into reminds of appointments.
    if (!m_locked)
        (new AppointmentReminders(this))->start();
    lblDate->setText(Clock::dateText(Clock::today()));
    m_notes->NoteFolder = AppFolder::noteFolder() + QLatin1Char('/');
    if (!QFileInfo::exists(AppFolder::noteFolder()) && QDir().mkpath(AppFolder::noteFolder()))
        QFile::setPermissions(AppFolder::noteFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    Screens::show<frmLoadingPic>();
    Timer1_Timer();
    Timer1->start();
    // The whole check of the store and its daily copy wait until the window
    // shows, and run beside it.
    m_storeCheck = new StoreCheck(this);
    connect(m_storeCheck, &StoreCheck::finished, this, [](const QString& message) {
        if (!message.isEmpty())
            MsgBox(message, MsgButtons::OKOnly, MsgIcon::Critical);
    });
    QTimer::singleShot(0, m_storeCheck, &StoreCheck::start);
    startSearchFill();
    m_watch = new DataVersionWatch(AppFolder::databaseFile(), this);
}

void frmMain::changeEvent(QEvent* event)
{
    FormOf<QMainWindow>::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && m_watch)
        m_watch->check();
}

void frmMain::openSearch()
{
    // Over the work area, not inside it: a screen reader finds only the
    // area's windows there.
    if (!m_searchBox) {
        m_searchBox = new SearchBox(centralWidget());
        m_searchBox->setPalette(m_workArea->palette());  // the desktop's colours, as the screens in the area
        connect(m_searchBox, &SearchBox::chosen, this, &frmMain::openHit);
    }
    // Its first size on a small work area; on a larger one, more hits show.
    const QRect area = m_workArea->geometry();
    m_searchBox->setGeometry(area.left() + 8, area.top() + 8,
                             std::min(area.width() - 16, std::max(640, area.width() / 2)),
                             std::min(area.height() - 16, std::max(420, area.height() * 3 / 4)));
    m_searchBox->open();
}

// A hit in the screen its record is edited in.
void frmMain::openHit(const SearchIndex::SearchHit& hit)
{
    switch (hit.kind) {
    case SearchIndex::Kind::Contact:
        closeFirst<frmAddress, frmOrganizer, frmCheckEmail, frmSendEmail>();
        AddressOption->setVisible(true);
        if (frmAddressEdit* edit = Screens::show<frmAddressEdit>())
            edit->showContactOf(hit.key);
        break;
    case SearchIndex::Kind::Appointment:
        closeFirst<frmAddress>();
        LoadOrganizer();
        if (frmOrganizer* organizer = Screens::load<frmOrganizer>(); organizer && hit.date.isValid())
            organizer->showDay(hit.date);
        break;
    case SearchIndex::Kind::Task:
        closeFirst<frmAddress>();
        LoadOrganizer();
        if (frmOrganizer* organizer = Screens::load<frmOrganizer>())
            organizer->showTask(hit.key);
        break;
    case SearchIndex::Kind::Note:
        closeFirst<frmAddress, frmOrganizer, frmCheckEmail, frmSendEmail>();
        Notes::openFile(*m_notes, hit.path);
        break;
    case SearchIndex::Kind::Mail:
        closeFirst<frmAddress, frmOrganizer, frmSendEmail>();
        if (frmCheckEmail* check = Screens::show<frmCheckEmail>())
            check->showMessage(hit.folder, hit.mailKey, hit.imap);
        break;
    }
}

void frmMain::startSearchFill()
{
    m_searchFill = new SearchFill(this);
    // A bar at the foot of the window, only while an older store's index is filled.
    connect(m_searchFill, &SearchFill::progress, this, [this](int share) {
        auto* bar = findChild<QProgressBar*>(QStringLiteral("barSearchFill"));
        if (!bar) {
            bar = new QProgressBar;
            bar->setObjectName(QStringLiteral("barSearchFill"));
            bar->setFormat(kFillingIndex);
            bar->setAccessibleName(kFillingIndex);
            statusBar()->addPermanentWidget(bar, 1);
        }
        bar->setValue(share);
    });
    connect(m_searchFill, &SearchFill::finished, this, [this](const QString& failure) {
        if (findChild<QProgressBar*>(QStringLiteral("barSearchFill")))
            setStatusBar(nullptr);
        if (!failure.isEmpty())
            statusBar()->showMessage(failure);
    });
    QTimer::singleShot(0, m_searchFill, &SearchFill::start);
}

void frmMain::Form_Unload()
{
    delete m_watch;
    m_watch = nullptr;
    Notes::stopLoading();
    if (m_searchFill)
        m_searchFill->stop();
    // The day's copy again when this run changed the store, so the day's
    // first copy (the empty store of the setup) is not the newest one.
    if (m_storeCheck)
        m_storeCheck->wait();
    if (const QString message = StoreCheck::run(); !message.isEmpty())
        MsgBox(message, MsgButtons::OKOnly, MsgIcon::Critical);
}

void frmMain::CheckPassFile()
{
    const QString data = AppFolder::dataFolder();
    if (!QFileInfo::exists(data)) {
        if (QDir().mkpath(data))
            QFile::setPermissions(data, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return;
    }
    // Before any screen: a login left waiting must not leave the records
    // readable by every local user.
    restrictToOwner();
    // A fresh data folder gets its database file now, so that every screen
    // finds the tables; a file that cannot be opened is reported by the
    // screen that needs it.
    if (QFileInfo(data).isDir() && !QFileInfo::exists(AppFolder::databaseFile())) {
        Connection con;
        try {
            con.Open(AppFolder::databaseFile());
        } catch (const StoreError&) {
        }
    }
    std::optional<DamagedStore> damaged;
    storeGuard([&] { damaged = checkStoreAtStart(); });
    if (damaged) {
        const MsgResult answer = MsgBox(damaged->question, damaged->buttons, MsgIcon::Critical);
        storeGuard([&] { recoverStore(*damaged, answer); });
    }
    if (QFileInfo(AppFolder::markerFile()).isFile())
        Screens::showModal<frmLogin>();
    else
        Screens::showModal<frmPassInfo>(this);
}

bool frmMain::Form_QueryUnload()
{
    // Child windows go first, each with its own unload; one that refuses
    // (a note with unsaved changes) keeps the main window open.
    m_workArea->closeAllSubWindows();
    return m_workArea->subWindowList().isEmpty();
}

void frmMain::Timer1_Timer()
{
    lblTime->setText(Clock::timeText(Clock::now().time()));
}

void frmMain::LoadOrganizer()
{
    Screens::show<frmOrganizer>();
}

void frmMain::LoadCalendar()
{
    Screens::show<frmCalendar>();
}

void frmMain::lockProgram()
{
    m_locked = true;
    for (QAction* action : m_lockable)
        action->setEnabled(false);
}
