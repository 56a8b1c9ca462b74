#include <csignal>
#include <cstdio>

#include <QApplication>
#include <QDateTime>
#include <QIcon>
#include <QTimer>

#include "controls/Controls.h"
#include "kit/AppFolder.h"
#include "kit/AppInfo.h"
#include "kit/Clock.h"
#include "shell/frmSplash.h"
#include "sync/CommandLine.h"
#include "window/MessageWindow.h"
#include "window/Screens.h"

namespace {
// TESSALY_EXIT_AFTER_START=1 (used by the installed-program test and the start-up bench): once the
// start-up has reached the main window or a screen that waits for the user,
// print the folders in use and the windows that are up, then end the run.
// The start-up bench reads "shown:", when the first window after the splash
// was first painted (wall clock, ms since the epoch).
class FirstPaint : public QObject {
public:
    using QObject::QObject;
    qint64 shownAt = 0;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!shownAt && event->type() == QEvent::Paint && watched->isWidgetType()
            && QStringList{QStringLiteral("frmMain"), QStringLiteral("frmLogin"), QStringLiteral("frmPassInfo")}
                   .contains(static_cast<QWidget*>(watched)->window()->objectName()))
            shownAt = QDateTime::currentMSecsSinceEpoch();
        return false;
    }
};

void reportStartAndExit()
{
    auto* firstPaint = new FirstPaint(qApp);
    qApp->installEventFilter(firstPaint);
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, firstPaint] {
        QStringList windows;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && !w->objectName().isEmpty())
                windows << w->objectName();
        if (!QApplication::activeModalWidget() && !windows.contains(QStringLiteral("frmMain")))
            return;
        static int waited = 0;  // for the first paint, a second at most
        if (!firstPaint->shownAt && ++waited < 10)
            return;
        poll->stop();
        std::printf("data: %s\nshipped: %s\nwindows: %s\nshown: %lld\n", qPrintable(AppFolder::path()),
                    qPrintable(AppFolder::shippedFolder()), qPrintable(windows.join(QLatin1Char(' '))),
                    static_cast<long long>(firstPaint->shownAt));
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
    poll->start(100);
}
}  // namespace

int main(int argc, char* argv[])
{
    // Past a file-size limit a write must fail and be reported like a full
    // disk, not end the program with the note unsaved.
    std::signal(SIGXFSZ, SIG_IGN);
    Clock::holdZone();
    // Imports and exports asked for on the command line run without a window.
    if (const std::optional<int> status = CommandLine::run(argc, argv))
        return *status;
    QApplication app(argc, argv);
    QApplication::setApplicationName(AppInfo::kTitle);
    QGuiApplication::setDesktopFileName(AppInfo::kAppId);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    QApplication::setFont(screenFont());
    showMessagesInWindows();
    auto* zone = new QTimer(&app);
    QObject::connect(zone, &QTimer::timeout, &Clock::followZone);
    zone->start(60 * 1000);
    if (qEnvironmentVariableIntValue("TESSALY_EXIT_AFTER_START") == 1)
        reportStartAndExit();
    Screens::show<frmSplash>();
    return app.exec();
}
