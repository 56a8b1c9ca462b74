#include "shell/frmAbout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTextEdit>

#include "controls/Controls.h"
#include "controls/RichTextBox.h"
#include "controls/Twips.h"
#include "kit/AppFolder.h"
#include "kit/AppInfo.h"
#include "kit/Launcher.h"
#include "kit/MsgBox.h"

namespace {
const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");
const QString kNoDescription = QStringLiteral("No description available.");
const QString kDescriptionName = QStringLiteral("Description");

// Where the system-information tool is registered: the full path of the
// program, or failing that the folder it was installed to.
constexpr quint32 kLocalMachine = 0x80000002;
const QString kToolKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString kToolValue = QStringLiteral("PATH");
const QString kToolFolderKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString kToolFolderValue = QStringLiteral("MSINFO");
const QString kToolFileName = QStringLiteral("MSINFO32.EXE");

// The desktop programs that show what the machine is made of, best first.
const char* const kSystemInfoPrograms[] = {"hardinfo", "kinfocenter", "gnome-system-monitor", "mate-system-monitor"};

// This platform keeps no such settings store, so the two values are answered
// from the first system-information program found on the PATH.
QString installedSystemInfoProgram()
{
    for (const char* name : kSystemInfoPrograms) {
        QString found = QStandardPaths::findExecutable(QLatin1String(name));
        if (!found.isEmpty())
            return found;
    }
    return QString();
}
}  // namespace

frmAbout::frmAbout()
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About MyApp"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    // A tool window stays out of the task bar; it still keeps the program
    // running after the main window has gone, like any other window.
    setWindowFlags(Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_QuitOnClose, true);
    setFixedSize(twips(6075), twips(4695));
    setStyleSheet(QStringLiteral("frmAbout { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
                                 "stop:0 #ffffff, stop:0.5 #eef2fa, stop:1 #d6e0f2); }"));
    setAttribute(Qt::WA_StyledBackground);

    Image1 = makeControl<QLabel>(this, "Image1", twipsRect(240, 240, 540, 540));
    Image1->setPixmap(QIcon(QStringLiteral(":/icons/app.svg")).pixmap(twips(540), twips(540)));

    lblTitle = makeLabel(this, "lblTitle", QStringLiteral("Application Title"), twipsRect(1050, 240, 4785, 480));
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    QPalette titlePalette = lblTitle->palette();
    titlePalette.setColor(QPalette::WindowText, QColor(0, 0, 128));
    lblTitle->setPalette(titlePalette);

    lblVersion = makeLabel(this, "lblVersion", QStringLiteral("Version"), twipsRect(1050, 780, 4785, 255));

    txtDescription = makeControl<RichTextBox>(this, "txtDescription", twipsRect(1050, 1125, 4785, 2505));
    txtDescription->setReadOnly(true);
    txtDescription->setAccessibleName(kDescriptionName);

    // Two lines, grey over white, cut the buttons off as an etched groove.
    const QColor lineColors[2] = {QColor(128, 128, 128), Qt::white};
    for (int i = 0; i < 2; ++i) {
        Line1[i] = makeControl<QFrame>(this, QStringLiteral("Line1_%1").arg(i), twipsRect(90, 3795 + 15 * i, 5895, 15));
        Line1[i]->setAutoFillBackground(true);
        QPalette p = Line1[i]->palette();
        p.setColor(QPalette::Window, lineColors[i]);
        Line1[i]->setPalette(p);
    }

    cmdSysInfo =
        makeCommandButton(this, "cmdSysInfo", QStringLiteral("&System Info..."), twipsRect(3195, 4020, 1260, 375));
    cmdSysInfo->setAutoDefault(true);
    cmdOK = makeCommandButton(this, "cmdOK", QStringLiteral("OK"), twipsRect(4575, 4020, 1260, 375));
    cmdOK->setDefault(true);

    setTabOrder(cmdOK, cmdSysInfo);
    setTabOrder(cmdSysInfo, txtDescription);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    Keys::setDefaultButton(this, cmdOK);  // OK is both the default and the cancel button
    Keys::setCancelButton(this, cmdOK);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
}

void frmAbout::Form_Load()
{
    setWindowTitle(QStringLiteral("About ") + AppInfo::kTitle);
    lblVersion->setText(AppInfo::versionLine());
    lblTitle->setText(AppInfo::kTitle);
    loadDescription();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    cmdOK->setFocus();
}

// The description file belongs to the installation: rich text, plain text,
// or nothing at all.
void frmAbout::loadDescription()
{
    try {
        txtDescription->LoadFile(AppFolder::descriptionFile());
    } catch (const RichTextBoxError&) {
        txtDescription->setPlainText(kNoDescription);
    }
}

void frmAbout::cmdOK_Click()
{
    Screens::unload<frmAbout>();
}

void frmAbout::cmdSysInfo_Click()
{
    StartSysInfo();
}

void frmAbout::StartSysInfo()
{
    QString SysInfoPath;
    if (GetKeyValue(kLocalMachine, kToolKey, kToolValue, SysInfoPath)) {
        if (startProgram(SysInfoPath))
            return;
    } else if (GetKeyValue(kLocalMachine, kToolFolderKey, kToolFolderValue, SysInfoPath)) {
        const QString program = SysInfoPath + QLatin1Char('/') + kToolFileName;
        if (QFileInfo(program).isFile() && startProgram(program))
            return;
    }
    MsgBox(kUnavailable, MsgButtons::OKOnly, MsgIcon::None);
}

bool frmAbout::GetKeyValue(quint32 KeyRoot, const QString& KeyName, const QString& SubKeyRef, QString& KeyVal)
{
    KeyVal.clear();
    if (KeyRoot != kLocalMachine)
        return false;
    QString value;
    if (KeyName.compare(kToolKey, Qt::CaseInsensitive) == 0 && SubKeyRef.compare(kToolValue, Qt::CaseInsensitive) == 0)
        value = installedSystemInfoProgram();
    else if (KeyName.compare(kToolFolderKey, Qt::CaseInsensitive) == 0
             && SubKeyRef.compare(kToolFolderValue, Qt::CaseInsensitive) == 0) {
        const QString program = installedSystemInfoProgram();
        if (!program.isEmpty())
            value = QFileInfo(program).absolutePath();
    }
    if (value.isEmpty())
        return false;
    KeyVal = value;
    return true;
}
