#include "kit/Launcher.h"

#include <QProcess>

namespace {
std::function<bool(const QString&, const QStringList&)>& launcher()
{
    static std::function<bool(const QString&, const QStringList&)> l;
    return l;
}
}  // namespace

bool startProgram(const QString& program, const QStringList& arguments)
{
    if (launcher())
        return launcher()(program, arguments);
    return QProcess::startDetached(program, arguments);
}

void setLauncher(std::function<bool(const QString&, const QStringList&)> l)
{
    launcher() = std::move(l);
}
