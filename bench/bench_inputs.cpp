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
//   python3-vobject reading the same file;
// - an IMAP folder name of "&" and base64 letters, decoded as the folder box
//   shows it (imapFolderName), next to Python decoding the same name;
// - a quick resync of a folder whose held messages go one VANISHED answer at
//   a time (ImapSession), next to Python taking the same UIDs from a set.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTemporaryDir>

#include "SideBySide.h"
#include "mail/ImapResponse.h"
#include "mail/ImapSession.h"
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

// A folder name of `count` "&"s, then as many runs of base64 closed by "-",
// every "&" waiting for a "-" far on.
QByteArray ampersands(int count)
{
    return QByteArray(count, '&') + QByteArray("AOQ").repeated(count) + '-';
}

// A quick resync of `held` messages, where each VANISHED answer takes one and
// names a wide range past them all.
QByteArray vanishing(int held)
{
    QByteArray answer = "* PREAUTH [CAPABILITY IMAP4rev1 CONDSTORE QRESYNC] in\r\n"
                        "* ENABLED QRESYNC\r\na1 OK\r\n"
                        "* OK [UIDVALIDITY 7] v\r\n* OK [HIGHESTMODSEQ 9] m\r\n* "
                        + QByteArray::number(held) + " EXISTS\r\na2 OK\r\n";
    for (int uid = 4; uid <= held; uid += 4)
        answer += "* VANISHED (EARLIER) " + QByteArray::number(uid) + ',' + QByteArray::number(held + uid)
                  + ":4000000000\r\n";
    return answer + "a3 OK\r\n";
}

bool resync(const QByteArray& answer, int held)
{
    ImapPlan plan;
    plan.knownUidValidity = 7;
    plan.lastKnownUid = quint32(held);
    plan.knownModSeq = 1;
    for (int uid = 1; uid <= held; ++uid)
        plan.heldFlags.insert(quint32(uid), {});
    ImapSession session;
    session.start(QStringLiteral("anna"), QStringLiteral("secret"), plan);
    session.connected(QHostAddress::LocalHost, true);
    session.feed(answer);
    return session.result().knownFlags.size() == size_t(held - held / 4);
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

const char* kPythonFolder = "import sys, re, base64\n"
                            "def run(m):\n"
                            "    b = m.group(1).replace(b',', b'/')\n"
                            "    return base64.b64decode(b + b'=' * (-len(b) % 4)).decode('utf-16-be').encode()\n"
                            "re.sub(rb'&([A-Za-z0-9+,]+)-', run, open(sys.argv[1], 'rb').read())\n";

const char* kPythonVanished = "import sys, bisect\n"
                              "held = list(range(1, int(sys.argv[2]) + 1))\n"
                              "for line in open(sys.argv[1], 'rb'):\n"
                              "    if line.startswith(b'* VANISHED'):\n"
                              "        for r in line.split()[-1].split(b','):\n"
                              "            lo, _, hi = r.partition(b':')\n"
                              "            lo = int(lo); hi = int(hi or lo)\n"
                              "            del held[bisect.bisect_left(held, lo):bisect.bisect_right(held, hi)]\n";

// Three rows: the input made by `make` at 1x, 4x and 16x of `base`, read by
// `ours` in this process and by `peer` (a Python script) from the file; both
// are told the size too.
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
            row.ours.push_back(runOurs([&] { return ours(bytes, base * times); }));
            row.peer.push_back(runProgram({QStringLiteral("/usr/bin/python3"), QStringLiteral("-c"),
                                           QString::fromLatin1(script), file, QString::number(base * times)}));
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
        [](const QByteArray& bytes, int) { return !decodeMime(bytes).text.isEmpty(); }, kPythonMail,
        QStringLiteral("Python's email package"));
    scaled(
        folder, QStringLiteral("a vCard line folded on without a colon (VCard::read)"), 14000, foldedWithoutColon,
        [](const QByteArray& bytes, int) {
            VCard::read(bytes);
            return true;
        },
        kPythonCard, QStringLiteral("python3-vobject"));
    scaled(
        folder, QStringLiteral("an IMAP folder name of \"&\"s waiting for a \"-\" (imapFolderName)"), 100000,
        ampersands, [](const QByteArray& bytes, int) { return !imapFolderName(bytes).isEmpty(); }, kPythonFolder,
        QStringLiteral("Python's base64"));
    scaled(folder, QStringLiteral("a quick resync where VANISHED takes the held one by one (ImapSession)"), 10000,
           vanishing, resync, kPythonVanished, QStringLiteral("a sorted Python list"));
    return 0;
}
