#include "shell/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include "account/frmChangeInfo.h"
#include "account/frmChangePass.h"
#include "account/frmLogin.h"
#include "account/frmPassInfo.h"
#include "address/frmAddress.h"
#include "address/frmAddressDelete.h"
#include "address/frmAddressEdit.h"
#include "address/frmAddressSearch.h"
#include "calc/frmCal.h"
#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/Twips.h"
#include "kit/AppFolder.h"
#include "kit/AppInfo.h"
#include "kit/Clock.h"
#include "kit/MsgBox.h"
#include "kit/ProgramLock.h"
#include "kit/SavingProgress.h"
#include "kit/StoreStart.h"
#include "mail/frmCheckEmail.h"
#include "mail/frmSendEmail.h"
#include "notes/NoteDesk.h"
#include "notes/NoteDocuments.h"
#include "notes/NoteEditing.h"
#include "planner/AppointmentReminders.h"
#include "planner/frmCalendar.h"
#include "planner/frmOrganizer.h"
#include "shell/FileExchange.h"
#include "shell/frmAbout.h"
#include "shell/frmLoadingPic.h"
#include "store/Connection.h"
#include "store/StoreError.h"
#include "sync/frmSyncSettings.h"

namespace {
const QColor kYellow(255, 255, 0);
const QColor kLightYellow(255, 255, 128);

QLabel* colouredLabel(QWidget* parent, const char* name, const QRect& geometry, const QColor& color,
                      const QString& text = QString())
{
    QLabel* label = makeLabel(parent, name, text, geometry);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

asxToolButton* makeButton(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* button = makeControl<asxToolButton>(parent, name, geometry);
    button->setBackColor(mainBlue());
    return button;
}

asxToolButton* makeIconButton(QWidget* parent, const char* name, const QRect& geometry, const QString& picture)
{
    asxToolButton* button = makeButton(parent, name, geometry);
    button->setPicture(picture);
    button->setIconSize(QSize(28, 28));
    return button;
}

asxToolButton* makeTextButton(QWidget* parent, const char* name, const QRect& geometry, const QString& caption)
{
    asxToolButton* button = makeButton(parent, name, geometry);
    button->setText(caption);
    button->setAutoRaise(false);
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, Qt::white);
    button->setPalette(palette);
    return button;
}

// A hover label shows its button's name in bold while the pointer is over it.
void showHover(QLabel* label, const QString& text)
{
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setText(text);
}

void clearHover(QLabel* label)
{
    QFont font = label->font();
    font.setBold(false);
    label->setFont(font);
    label->setText(QString());
}
}  // namespace

frmMain::frmMain()
{
    // The login locks through the kit; the lock itself is ours.
    ProgramLock::setHandler([self = QPointer<frmMain>(this)] {
        if (self)
            self->lockProgram();
    });
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

    createToolBar();
    m_workArea = new QMdiArea(central);
    m_workArea->setObjectName(QStringLiteral("MDIClient"));
    m_workArea->setBackground(mainBlue());
    // Screens inside the work area keep the desktop's colours, not the blue around them.
    // The application palette marks no colour as set, so it would fall back
    // to the blue of the window around the area; every colour is made explicit.
    QPalette system = QApplication::palette();
    system.setResolveMask(~QPalette::ResolveMask(0));
    m_workArea->setPalette(system);
    createAddressPanel();
    createNotePanel();
    m_notes = new NoteDesk(this);
    m_notes->setCaption = [this](const QString& caption) { setWindowTitle(caption); };
    m_notes->showNotePanel = [this] { NoteOption->setVisible(true); };
    layout->addWidget(asxGenericContainer1);
    layout->addWidget(m_workArea, 1);
    layout->addWidget(AddressOption);
    layout->addWidget(NoteOption);
    Screens::setWorkArea(m_workArea);

    createMenus();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
}

void frmMain::createToolBar()
{
    asxGenericContainer1 = new asxGenericContainer(centralWidget());
    asxGenericContainer1->setObjectName(QStringLiteral("asxGenericContainer1"));
    asxGenericContainer1->setBackColor(mainBlue());
    asxGenericContainer1->setFixedWidth(twips(1440));

    struct Tool {
        asxToolButton** button;
        const char* name;
        QLabel** label;
        const char* labelName;
        int top;
        int height;
        const char* picture;
        const char* hover;
    };
    const Tool tools[] = {
        {&cmdCalendar, "cmdCalendar", &lblCalendar, "lblCalendar", 0, 495, "calendar", "Calendar"},
        {&cmdNote, "cmdNote", &lblNote, "lblNote", 840, 495, "note", "Note Taking"},
        {&cmdAddressBook, "cmdAddressBook", &lblAddress, "lblAddress", 1680, 495, "address", "Address Book"},
        {&cmdOrganizer, "cmdOrganizer", &lblOrganizer, "lblOrganizer", 2520, 495, "organizer", "Organizer"},
        {&cmdEmail, "cmdEmail", &lblEmail, "lblEmail", 3360, 615, "email", "Email"},
        {&cmdCheckEmail, "cmdCheckEmail", &lblCheckEmail, "lblCheckEmail", 4320, 495, "checkemail", "Check Email"},
        {&cmdCalculator, "cmdCalculator", &lblCalculator, "lblCalculator", 5160, 615, "calculator", "Calculator"},
        {&cmdExit, "cmdExit", &lblExit, "lblExit", 6240, 615, "exit", "Exit"},
    };
    for (const Tool& tool : tools) {
        *tool.button = makeIconButton(asxGenericContainer1, tool.name, twipsRect(0, tool.top, 735, tool.height),
                                      QLatin1String(tool.picture));
        // The label sits directly under its button.
        const int labelTop = tool.top + (tool.height == 495 ? 480 : 600);
        *tool.label = colouredLabel(asxGenericContainer1, tool.labelName, twipsRect(0, labelTop, 1440, 255), kYellow);
        connectHover(*tool.button, *tool.label, QLatin1String(tool.hover));
    }

    QFont clockFont = font();
    clockFont.setBold(true);
    lblTime = colouredLabel(asxGenericContainer1, "lblTime", twipsRect(0, 7320, 1440, 255), kYellow);
    lblDate = colouredLabel(asxGenericContainer1, "lblDate", twipsRect(0, 7560, 1440, 255), kYellow);
    lblTime->setFont(clockFont);
    lblDate->setFont(clockFont);

    connect(cmdCalendar, &QToolButton::clicked, this, &frmMain::cmdCalendar_Click);
    connect(cmdNote, &QToolButton::clicked, this, &frmMain::cmdNote_Click);
    connect(cmdAddressBook, &QToolButton::clicked, this, &frmMain::cmdAddressBook_Click);
    connect(cmdOrganizer, &QToolButton::clicked, this, &frmMain::cmdOrganizer_Click);
    connect(cmdEmail, &QToolButton::clicked, this, &frmMain::cmdEmail_Click);
    connect(cmdCheckEmail, &QToolButton::clicked, this, &frmMain::cmdCheckEmail_Click);
    connect(cmdCalculator, &QToolButton::clicked, this, &frmMain::cmdCalculator_Click);
    connect(cmdExit, &QToolButton::clicked, this, &frmMain::cmdExit_Click);
}

void frmMain::createAddressPanel()
{
    AddressOption = new QWidget(centralWidget());
    AddressOption->setObjectName(QStringLiteral("AddressOption"));
    AddressOption->setFixedWidth(twips(1875));
    AddressOption->setAutoFillBackground(true);
    AddressOption->hide();

    Label3 = colouredLabel(AddressOption, "Label3", twipsRect(60, 60, 1815, 375), kYellow,
                           QStringLiteral("Address Options"));
    Label3->setFont(QFont(QStringLiteral("Comic Sans MS"), 10, QFont::Bold));

    struct Entry {
        asxToolButton** button;
        const char* name;
        QLabel** label;
        const char* labelName;
        int top;
        const char* picture;
        const char* hover;  // none for the Exit button
    };
    const Entry entries[] = {
        {&cmdAddressNew, "cmdAddressNew", &lblAddressNew, "lblAddressNew", 480, "new", "New"},
        {&cmdAddressSave, "cmdAddressSave", &lblAddressSave, "lblAddressSave", 1200, "save", "Save"},
        {&cmdAddressClear, "cmdAddressClear", &lblAddressClear, "lblAddressClear", 2040, "clear", "Clear"},
        {&cmdAddressPrint, "cmdAddressPrint", &lblAddressPrint, "lblAddressPrint", 2760, "print", "Print"},
        {&cmdAddressEdit, "cmdAddressEdit", &lblAddressEdit, "lblAddressEdit", 3480, "edit", "Edit"},
        {&cmdAddressSearch, "cmdAddressSearch", &lblAddressSearch, "lblAddressSearch", 4320, "search", "Search"},
        {&cmdAddressDelete, "cmdAddressDelete", &lblAddressDelete, "lblAddressDelete", 5040, "delete", "Delete"},
        {&cmdAddressExit, "cmdAddressExit", &lblAddressExit, "lblAddressExit", 5760, "back", nullptr},
    };
    for (const Entry& entry : entries) {
        *entry.button =
            makeIconButton(AddressOption, entry.name, twipsRect(0, entry.top, 735, 495), QLatin1String(entry.picture));
        *entry.label =
            colouredLabel(AddressOption, entry.labelName, twipsRect(840, entry.top + 120, 855, 255), kYellow);
        if (entry.hover)
            connectHover(*entry.button, *entry.label, QLatin1String(entry.hover));
    }

    connect(cmdAddressNew, &QToolButton::clicked, this, &frmMain::cmdAddressNew_Click);
    connect(cmdAddressSave, &QToolButton::clicked, this, &frmMain::cmdAddressSave_Click);
    connect(cmdAddressClear, &QToolButton::clicked, this, &frmMain::cmdAddressClear_Click);
    connect(cmdAddressPrint, &QToolButton::clicked, this, &frmMain::cmdAddressPrint_Click);
    connect(cmdAddressEdit, &QToolButton::clicked, this, &frmMain::cmdAddressEdit_Click);
    connect(cmdAddressSearch, &QToolButton::clicked, this, &frmMain::cmdAddressSearch_Click);
    connect(cmdAddressDelete, &QToolButton::clicked, this, &frmMain::cmdAddressDelete_Click);
    connect(cmdAddressExit, &QToolButton::clicked, this, &frmMain::cmdAddressExit_Click);
}

void frmMain::createNotePanel()
{
    NoteOption = new asxGenericContainer(centralWidget());
    NoteOption->setObjectName(QStringLiteral("NoteOption"));
    NoteOption->setFixedWidth(twips(1785));
    NoteOption->setBackColor(mainBlue());
    NoteOption->setFrameShape(QFrame::Box);
    NoteOption->hide();

    Label4 = colouredLabel(NoteOption, "Label4", twipsRect(60, 120, 1700, 375), kLightYellow,
                           QStringLiteral("Note Options"));
    Label4->setFont(QFont(QStringLiteral("Comic Sans MS"), 10, QFont::Bold));

    struct Entry {
        asxToolButton** button;
        const char* name;
        QLabel** label;
        const char* labelName;
        int top;
        const char* picture;
        const char* hover;
    };
    const Entry entries[] = {
        {&cmdNew, "cmdNew", &lblNew, "lblNew", 600, "new", "New"},
        {&cmdOpen, "cmdOpen", &lblOpen, "lblOpen", 1200, "open", "Open"},
        {&cmdSave, "cmdSave", &lblSave, "lblSave", 1800, "save", "Save"},
        {&cmdPrint, "cmdPrint", &lblPrint, "lblPrint", 2520, "print", "Print"},
        {&cmdNoteExit, "cmdNoteExit", &lblNoteExit, "lblNoteExit", 3240, "back", "Exit"},
    };
    for (const Entry& entry : entries) {
        *entry.button =
            makeIconButton(NoteOption, entry.name, twipsRect(0, entry.top, 855, 495), QLatin1String(entry.picture));
        *entry.label =
            colouredLabel(NoteOption, entry.labelName, twipsRect(840, entry.top + 120, 855, 255), kLightYellow);
        connectHover(*entry.button, *entry.label, QLatin1String(entry.hover));
    }

    Label2 =
        colouredLabel(NoteOption, "Label2", twipsRect(60, 4200, 1700, 255), Qt::white, QStringLiteral("Other Options"));
    QFont bold = Label2->font();
    bold.setBold(true);
    Label2->setFont(bold);
    Label1 = colouredLabel(NoteOption, "Label1", twipsRect(0, 6840, 1700, 255), Qt::white);

    cmdSaveAs = makeTextButton(NoteOption, "cmdSaveAs", twipsRect(0, 4560, 1695, 375), QStringLiteral("Save As"));
    cmdUndo = makeTextButton(NoteOption, "cmdUndo", twipsRect(0, 4920, 1695, 375), QStringLiteral("Undo"));
    struct Pair {
        asxToolButton** button;
        const char* name;
        int left;
        int top;
        const char* caption;
    };
    const Pair pairs[] = {
        {&cmdCut, "cmdCut", 0, 5280, "Cut"},       {&cmdCopy, "cmdCopy", 840, 5280, "Copy"},
        {&cmdPaste, "cmdPaste", 0, 5640, "Paste"}, {&cmdSelectAll, "cmdSelectAll", 840, 5640, "Select All"},
        {&cmdTime, "cmdTime", 0, 6000, "Time"},    {&cmdDate, "cmdDate", 840, 6000, "Date"},
        {&cmdfind, "cmdfind", 0, 6360, "Find"},    {&cmdHelp, "cmdHelp", 840, 6360, "Help"},
    };
    for (const Pair& pair : pairs)
        *pair.button = makeTextButton(NoteOption, pair.name, twipsRect(pair.left, pair.top, 855, 375),
                                      QLatin1String(pair.caption));

    const std::pair<asxToolButton*, void (frmMain::*)()> handlers[] = {
        {cmdNew, &frmMain::cmdNew_Click},
        {cmdOpen, &frmMain::cmdOpen_Click},
        {cmdSave, &frmMain::cmdSave_Click},
        {cmdSaveAs, &frmMain::cmdSaveAs_Click},
        {cmdPrint, &frmMain::cmdPrint_Click},
        {cmdNoteExit, &frmMain::cmdNoteExit_Click},
        {cmdUndo, &frmMain::cmdUndo_Click},
        {cmdCut, &frmMain::cmdCut_Click},
        {cmdCopy, &frmMain::cmdCopy_Click},
        {cmdPaste, &frmMain::cmdPaste_Click},
        {cmdSelectAll, &frmMain::cmdSelectAll_Click},
        {cmdTime, &frmMain::cmdTime_Click},
        {cmdDate, &frmMain::cmdDate_Click},
        {cmdfind, &frmMain::cmdfind_Click},
        {cmdHelp, &frmMain::cmdHelp_Click},
    };
    for (const auto& [button, handler] : handlers)
        connect(button, &QToolButton::clicked, this, handler);
}

void frmMain::createMenus()
{
    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuExit = mnuFile->addAction(QStringLiteral("&Exit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    addFileExchangeEntries(mnuFile, mnuExit);

    mnuProperties = menuBar()->addMenu(QStringLiteral("&Properties"));
    mnuProperties->setObjectName(QStringLiteral("mnuProperties"));
    mnuChangePass = mnuProperties->addAction(QStringLiteral("Change &password"));
    mnuChangePass->setObjectName(QStringLiteral("mnuChangePass"));
    sep1 = mnuProperties->addSeparator();
    sep1->setObjectName(QStringLiteral("sep1"));
    mnuChangeInfo = mnuProperties->addAction(QStringLiteral("Change &Info"));
    mnuChangeInfo->setObjectName(QStringLiteral("mnuChangeInfo"));
    mnuSyncSettings = mnuProperties->addAction(QStringLiteral("&Sync Settings"));
    mnuSyncSettings->setObjectName(QStringLiteral("mnuSyncSettings"));
    connect(mnuSyncSettings, &QAction::triggered, this, [] { Screens::show<frmSyncSettings>(); });

    mnuAbout = menuBar()->addMenu(QStringLiteral("&About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    mnuAB = mnuAbout->addAction(QStringLiteral("&About"));
    mnuAB->setObjectName(QStringLiteral("mnuAB"));

    connect(mnuExit, &QAction::triggered, this, &frmMain::cmdExit_Click);
    connect(mnuChangePass, &QAction::triggered, this, &frmMain::mnuChangePass_Click);
    connect(mnuChangeInfo, &QAction::triggered, this, &frmMain::mnuChangeInfo_Click);
    connect(mnuAB, &QAction::triggered, this, &frmMain::mnuAB_Click);
}

void frmMain::connectHover(ButtonBase* button, QLabel* label, const QString& text)
{
    connect(button, &ButtonBase::MouseMove, label, [label, text] { showHover(label, text); });
    connect(button, &ButtonBase::MouseLeave, label, [label] { clearHover(label); });
}

void frmMain::Form_Load()
{
    CheckPassFile();
    // Only a program the user got into reminds of appointments.
    if (cmdOrganizer->isEnabled())
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
}

void frmMain::Form_Unload()
{
    Notes::stopLoading();
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
    checkStoreAtStart();
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

void frmMain::cmdAddressBook_Click()
{
    Screens::unload<frmAddress>();
    Screens::unload<frmOrganizer>();
    Screens::unload<frmCheckEmail>();
    Screens::unload<frmSendEmail>();
    AddressOption->setVisible(true);
}

void frmMain::cmdNote_Click()
{
    Screens::unload<frmAddress>();
    Screens::unload<frmOrganizer>();
    Screens::unload<frmCheckEmail>();
    Screens::unload<frmSendEmail>();
    Notes::LoadNewDoc(*m_notes);
}

void frmMain::cmdOrganizer_Click()
{
    Screens::unload<frmAddress>();
    LoadOrganizer();
}

void frmMain::LoadOrganizer()
{
    Screens::show<frmOrganizer>();
}

void frmMain::cmdEmail_Click()
{
    Screens::unload<frmAddress>();
    Screens::unload<frmOrganizer>();
    Screens::show<frmSendEmail>();
}

void frmMain::cmdCheckEmail_Click()
{
    Screens::unload<frmAddress>();
    Screens::unload<frmOrganizer>();
    Screens::unload<frmSendEmail>();
    Screens::show<frmCheckEmail>();
}

void frmMain::cmdCalculator_Click()
{
    Screens::show<frmCal>();
}

void frmMain::cmdCalendar_Click()
{
    LoadCalendar();
}

void frmMain::LoadCalendar()
{
    Screens::show<frmCalendar>();
}

void frmMain::cmdExit_Click()
{
    Screens::unload<frmMain>();
}

void frmMain::mnuChangePass_Click()
{
    Screens::load<frmChangePass>();
    Screens::show<frmChangePass>();
}

void frmMain::mnuChangeInfo_Click()
{
    Screens::load<frmChangeInfo>();
    Screens::show<frmChangeInfo>();
}

void frmMain::mnuAB_Click()
{
    Screens::load<frmAbout>();
    Screens::show<frmAbout>();
}

void frmMain::cmdNew_Click()
{
    Notes::LoadNewDoc(*m_notes);
}

void frmMain::cmdOpen_Click()
{
    Notes::Opendoc(*m_notes);
}

void frmMain::cmdSave_Click()
{
    Notes::SaveDoc();
}

void frmMain::cmdSaveAs_Click()
{
    Notes::SaveAss(*m_notes);
}

void frmMain::cmdPrint_Click()
{
    Notes::PrintNote();
}

void frmMain::cmdNoteExit_Click()
{
    NoteOption->setVisible(false);
}

void frmMain::cmdUndo_Click()
{
    Notes::Undo();
}

void frmMain::cmdCut_Click()
{
    Notes::Cut();
}

void frmMain::cmdCopy_Click()
{
    Notes::Copy();
}

void frmMain::cmdPaste_Click()
{
    Notes::Paste();
}

void frmMain::cmdSelectAll_Click()
{
    Notes::SelectAll();
}

void frmMain::cmdTime_Click()
{
    Notes::InsertTime(*m_notes);
}

void frmMain::cmdDate_Click()
{
    Notes::InsertDate(*m_notes);
}

void frmMain::cmdfind_Click()
{
    Notes::ShowFind();
}

void frmMain::cmdHelp_Click()
{
    Notes::Help();
}

void frmMain::cmdAddressNew_Click()
{
    Screens::show<frmAddress>();
    ClearAddressForm();
}

void frmMain::cmdAddressSave_Click()
{
    Screens::load<frmLoadSaving>();
    frmAddress* entry = Screens::load<frmAddress>();
    showSaveProgress(entry && entry->SavingAddress());
}

void frmMain::cmdAddressClear_Click()
{
    ClearAddressForm();
}

void frmMain::cmdAddressPrint_Click()
{
    if (frmAddress* entry = Screens::load<frmAddress>())
        entry->AddressPrinting();
}

void frmMain::cmdAddressEdit_Click()
{
    Screens::show<frmAddressEdit>();
}

void frmMain::cmdAddressSearch_Click()
{
    Screens::show<frmAddressSearch>();
}

void frmMain::cmdAddressDelete_Click()
{
    Screens::show<frmAddressDelete>();
}

void frmMain::cmdAddressExit_Click()
{
    // Open address screens stay open.
    AddressOption->setVisible(false);
}

void frmMain::lockProgram()
{
    mnuChangePass->setEnabled(false);
    mnuChangeInfo->setEnabled(false);
    mnuSyncSettings->setEnabled(false);
    // The imports and exports reach the records too.
    for (QAction* action : mnuFile->actions())
        action->setEnabled(action == mnuExit);
    for (asxToolButton* button : findChildren<asxToolButton*>())
        button->setEnabled(false);
}
