#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file at `path` with `bytes` so that a reader sees the old file
// or the new one, never a part: a temporary file in the same folder, every
// write checked, flushed to the disk, then renamed over the target. False,
// with the reason in `error`, when any step fails; the target is untouched then.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error);
