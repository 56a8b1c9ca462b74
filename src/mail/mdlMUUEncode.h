#pragma once

#include "mail/MailAction.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// Attachments travel uuencoded inside the message body. A block is
// "begin 664 <name>", data lines of at most 45 bytes each, "`" and "end";
// every line ends in LF. A short last group is padded with spaces, and a
// length that is a multiple of 45 still gets its (empty) last data line:
// both are part of the block's established form.

// The block for `data` under `fileName`.
QByteArray UUEncodeBytes(const QByteArray& data, const QString& fileName);

// The file name the begin line carries: what follows the last "\" or "/".
QString UUEncodeFileName(const QString& path);

// What the Send command puts below the message text: each file's block
// followed by CR LF, in list order, read and encoded a slice at a time so
// that an attachment is never held whole. Each file is read no further than
// the length it had when opened (a device has none).
//
// In the mail data form, the blocks are as they go out inside the message
// data: every line ends in CR LF, and a line that begins with "." gets a
// second one (only a last data line of 14 bytes begins with one).
class UUEncodeStream : public MailData {
public:
    enum class Form { Blocks, MailData };
    // What one next() reads of a file: whole data lines, about 256 KB. A
    // slice goes out before the next is made, so this much (and its
    // encoding) is what a Send holds of an attachment.
    static constexpr qsizetype kSliceBytes = qsizetype(45) * 5825;

    explicit UUEncodeStream(const QStringList& paths, Form form = Form::Blocks);

    // Opens every file. The first that cannot be opened stops it: `failure`
    // holds the message box to show, `failedAt` its position in the list.
    bool open(MailNotice* failure = nullptr, qsizetype* failedAt = nullptr);

    // All next() gives, from the files' lengths when opened.
    qint64 size() const override { return m_size; }
    // The next slice (one read of a file); empty at the end, and when a file
    // could not be read, which failure() then names.
    QByteArray next() override;
    std::optional<MailNotice> failure() const override { return m_failure; }

private:
    struct File {
        QString path;
        std::unique_ptr<QFile> file;
        qint64 left = 0;  // bytes not read yet
    };

    Form m_form;
    std::vector<File> m_files;
    std::size_t m_at = 0;  // the file being encoded
    bool m_begun = false;  // its begin line is out
    QByteArray m_in;       // a slice of the file; fewer than a line's bytes are held over
    qsizetype m_held = 0;
    QByteArray m_out;
    qint64 m_size = 0;
    std::optional<MailNotice> m_failure;
};
