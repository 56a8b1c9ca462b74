#pragma once

#include <QProcess>
#include <QStringList>

// Runs `program` in `folder` (the current one when empty) until it ends, at
// most `ms`; what it wrote, output and errors together, goes to `out`. The
// exit code, or -1 when it did not end normally.
inline int run(const QString& program, const QStringList& args, QString* out = nullptr, int ms = 30000,
               const QString& folder = {})
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(folder);
    p.start(program, args);
    const bool ended = p.waitForFinished(ms) && p.exitStatus() == QProcess::NormalExit;
    if (out)
        *out = QString::fromUtf8(p.readAll());
    return ended ? p.exitCode() : -1;
}
