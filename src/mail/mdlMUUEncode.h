#pragma once

#include "mail/MailAction.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include <optional>

// Attachments travel uuencoded inside the message body. A block is
// "begin 664 <name>", data lines of at most 45 bytes each, "`" and "end";
// every line ends in LF. A short last group is padded with spaces, and a
// length that is a multiple of 45 still gets its (empty) last data line:
// both are part of the block's established form.

// The block for `data` under `fileName`.
QByteArray UUEncodeBytes(const QByteArray& data, const QString& fileName);

// The file name the begin line carries: what follows the last "\" or "/".
QString UUEncodeFileName(const QString& path);

// The block for the file at `path`. Without a readable file there is no
// block; `error` then says why.
std::optional<QByteArray> UUEncodeFile(const QString& path, QString* error = nullptr);

// The same block written to `out` a slice at a time, for a block that need
// not be held in memory. False, with the reason, when the file cannot be read
// or `out` refuses a write.
bool UUEncodeFileTo(const QString& path, QIODevice& out, QString* error = nullptr);

// What the Send command puts below the message text: each file's block
// followed by CR LF, in list order. The first file that cannot be read stops
// it: `failure` holds the message box to show, `failedAt` its position.
std::optional<QByteArray> UUEncodeAttachments(const QStringList& paths, MailNotice* failure = nullptr,
                                              qsizetype* failedAt = nullptr);
