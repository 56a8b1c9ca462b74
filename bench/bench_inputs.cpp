// Inputs written to make the readers work hard, at 1x, 4x and 16x their
// size: the time must grow in step with the size (16x the input, about 16x
// the time), next to another program reading the same file.
//
//   build-bench/bench/bench_inputs [folder for the files]
//
// - mail of "begin" lines without an "end" line, decoded as the check
//   screen, the index, Reply and Forward decode a message (decodeMime),
//   next to Python's email package reading the same file;
// - a vCard whose line goes on over many folded lines without a colon, read
//   as an import or a CardDAV answer reads it (VCard::read), next to
//   python3-vobject reading the same file.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "SideBySide.h"
#include "mail/MimeMessage.h"
#include "sync/VCard.h"

namespace {

// `count` "begin" lines, each followed by a line of text, and no "end".
QByteArray beginLines(int count)
{
    QByteArray mail = "From: a@example.org\r\nSubject: begin\r\n\r\n";
    for (int i = 0; i < count; ++i)
        mail += "begin 644 file" + QByteArray::number(i) + ".bin\r\nsome text of the letter\r\n";
    return mail;
}

// A card whose NOTE name goes on over `count` folded lines with no colon.
QByteArray foldedWithoutColon(int count)
{
    QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna\r\nNOTE";
    for (int i = 0; i < count; ++i)
        card += "\r\n xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx";
    return card + "\r\nEND:VCARD\r\n";
}

const char* kPythonMail = "import sys, email\n"
                          "from email import policy\n"
                          "m = email.message_from_binary_file(open(sys.argv[1], 'rb'), policy=policy.default)\n"
                          "b = m.get_body(('plain',))\n"
                          "b.get_content() if b else None\n";

const char* kPythonCard = "import sys, vobject\n"
                          "try:\n"
                          "    list(vobject.readComponents(open(sys.argv[1], encoding='utf-8').read()))\n"
                          "except Exception:\n"
                          "    pass\n";

// Three rows: the input made by `make` at 1x, 4x and 16x of `base`, read by
// `ours` in this process and by `peer` (a Python script) from the file.
template <class Make, class Ours>
void scaled(const QString& folder, const QString& what, int base, Make make, Ours ours, const char* script,
            const QString& peerName)
{
    for (int times : {1, 4, 16}) {
        const QByteArray bytes = make(base * times);
        const QString file = QDir(folder).filePath(QStringLiteral("input-%1").arg(times));
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(file));
        out.close();
        Row row;
        for (int round = 0; round < benchRounds(); ++round) {
            row.ours.push_back(runOurs([&] { return ours(bytes); }));
            row.peer.push_back(runProgram(
                {QStringLiteral("/usr/bin/python3"), QStringLiteral("-c"), QString::fromLatin1(script), file}));
        }
        report(QStringLiteral("%1, %2x (%3 MB)").arg(what).arg(times).arg(double(bytes.size()) / (1 << 20), 0, 'f', 1),
               row, peerName, QStringLiteral("in step with the size"), QStringLiteral("—"));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir temporary;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    scaled(
        folder, QStringLiteral("mail of \"begin\" lines without an end (decodeMime)"), 8000, beginLines,
        [](const QByteArray& bytes) { return !decodeMime(bytes).text.isEmpty(); }, kPythonMail,
        QStringLiteral("Python's email package"));
    scaled(
        folder, QStringLiteral("a vCard line folded on without a colon (VCard::read)"), 14000, foldedWithoutColon,
        [](const QByteArray& bytes) {
            VCard::read(bytes);
            return true;
        },
        kPythonCard, QStringLiteral("python3-vobject"));
    return 0;
}
