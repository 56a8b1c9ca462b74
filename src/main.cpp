#include <csignal>
#include <cstdio>

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QTimer>

#include "kit/AppFolder.h"
#include "kit/AppInfo.h"
#include "kit/Screens.h"
#include "shell/frmSplash.h"
#include "sync/CommandLine.h"

namespace {
// TESSALY_EXIT_AFTER_START=1 (used by the installed-program test): once the
// start-up has reached the main window or a screen that waits for the user,
// print the folders in use and the windows that are up, then end the run.
void reportStartAndExit()
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll] {
        QStringList windows;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && !w->objectName().isEmpty())
                windows << w->objectName();
        if (!QApplication::activeModalWidget() && !windows.contains(QStringLiteral("frmMain")))
            return;
        poll->stop();
        std::printf("data: %s\nshipped: %s\nwindows: %s\n", qPrintable(AppFolder::path()),
                    qPrintable(AppFolder::shippedFolder()), qPrintable(windows.join(QLatin1Char(' '))));
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
    // Imports and exports asked for on the command line run without a window.
    if (const std::optional<int> status = CommandLine::run(argc, argv))
        return *status;
    QApplication app(argc, argv);
    QApplication::setApplicationName(AppInfo::kTitle);
    QGuiApplication::setDesktopFileName(AppInfo::kAppId);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    // The screens are laid out for a small sans serif face of 8 points.
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPointSizeF(8.25);
    QApplication::setFont(font);
    if (qEnvironmentVariableIntValue("TESSALY_EXIT_AFTER_START") == 1)
        reportStartAndExit();
    Screens::show<frmSplash>();
    return app.exec();
}
