#include "shell/frmSplash.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include "controls/Controls.h"
#include "controls/Twips.h"
#include "kit/AppInfo.h"
#include "shell/frmMain.h"

namespace {
QLabel* blueLabel(QWidget* parent, const char* name, const QString& text, double points, bool bold, const QRect& rect)
{
    QLabel* label = makeLabel(parent, name, text, rect);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(64, 128, 255));
    label->setPalette(palette);
    return label;
}
}  // namespace

frmSplash::frmSplash()
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
    setFixedSize(twips(7875), twips(5055));
    // Black, with a soft blue glow behind the logo.
    setStyleSheet(QStringLiteral("frmSplash { background: qradialgradient(cx:0.25, cy:0.4, radius:0.8, "
                                 "fx:0.25, fy:0.4, stop:0 #10206a, stop:1 #000000); }"));
    setAttribute(Qt::WA_StyledBackground);

    imgLogo = makeControl<QLabel>(this, "imgLogo", twipsRect(480, 840, 2400, 2400));
    imgLogo->setPixmap(QIcon(QStringLiteral(":/icons/app.svg")).pixmap(140, 140));
    imgLogo->setAlignment(Qt::AlignCenter);

    lblProductName =
        blueLabel(this, "lblProductName", QStringLiteral("Product"), 32.25, true, twipsRect(3000, 1080, 4700, 855));
    lblPlatform =
        blueLabel(this, "lblPlatform", QStringLiteral("WIN ME/98/XP"), 15.75, true, twipsRect(3000, 2040, 4700, 435));
    lblVersion = blueLabel(this, "lblVersion", QStringLiteral("Version"), 12, true, twipsRect(3000, 2640, 4700, 375));
    lblCopyright = blueLabel(this, "lblCopyright", QStringLiteral("Free to use and share. Made with care in 2002."),
                             8.25, false, twipsRect(3000, 4560, 4700, 255));
    lblCopyright->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(2500);
    Timer1->setTimerType(Qt::PreciseTimer);  // a coarse timer may end the splash up to 5% early
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &frmSplash::Timer1_Timer);
}

void frmSplash::Form_Load()
{
    lblVersion->setText(AppInfo::versionLine());
    lblProductName->setText(AppInfo::kTitle);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    Timer1->start();
}

void frmSplash::Timer1_Timer()
{
    // Between the splash and the main window no window is open; the program
    // must not take that moment for its end.
    QApplication::setQuitOnLastWindowClosed(false);
    Screens::unload<frmSplash>();
    Screens::show<frmMain>();
    QApplication::setQuitOnLastWindowClosed(true);
}
