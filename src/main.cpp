#include <QApplication>
#include <QFont>
#include <QIcon>

#include "kit/AppInfo.h"
#include "kit/Screens.h"
#include "shell/frmSplash.h"
#include "sync/CommandLine.h"

int main(int argc, char* argv[])
{
    // Imports and exports asked for on the command line run without a window.
    if (const std::optional<int> status = CommandLine::run(argc, argv))
        return *status;
    QApplication app(argc, argv);
    QApplication::setApplicationName(AppInfo::kTitle);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    // The screens are laid out for a small sans serif face of 8 points.
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPointSizeF(8.25);
    QApplication::setFont(font);
    Screens::show<frmSplash>();
    return app.exec();
}
