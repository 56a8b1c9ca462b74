// The send screen's encoding of a 100 MB attachment into what is sent (the
// SMTP data, made a slice at a time and written out as the connection
// writes it to the socket), next to GNU uuencode on the same file; and
// assembling a 50 MB POP3 message that arrives in 1 KB pieces.
#include "mail/Pop3Session.h"

#include "mail/SmtpSession.h"
#include <QHostAddress>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "SideBySide.h"

#include <chrono>

namespace {

constexpr qsizetype kAttachmentSize = 100 * 1000 * 1000;
constexpr qsizetype kMessageSize = 50 * 1000 * 1000;
constexpr qsizetype kPieceSize = 1024;

// One 100 MB file of random bytes for both encoders, written a slice at a
// time (nothing of it stays in this process's memory).
void writeAttachment(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        std::abort();
    QRandomGenerator rng(2002);
    QByteArray slice(1000 * 1000, Qt::Uninitialized);
    for (qsizetype done = 0; done < kAttachmentSize; done += slice.size()) {
        rng.fillRange(reinterpret_cast<quint32*>(slice.data()), slice.size() / 4);
        if (f.write(slice) != slice.size())
            std::abort();
    }
}

// The RETR answer for a 50 MB message of 78-character lines, some of them
// dot-stuffed, cut into 1 KB arrivals.
const QByteArrayList& messagePieces()
{
    static const QByteArrayList pieces = [] {
        QByteArray wire = "+OK 50000000 octets\r\nMessage-ID: <big@example.org>\r\nSubject: big\r\n\r\n";
        wire.reserve(kMessageSize + 4096);
        const QByteArray line = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-abcdefghijklmn\r\n";
        const QByteArray stuffed = "..period at the start of the line, doubled on the wire by the server...\r\n";
        for (int i = 0; wire.size() < kMessageSize; ++i)
            wire += (i % 100 == 0) ? stuffed : line;
        wire += ".\r\n";
        QByteArrayList out;
        for (qsizetype i = 0; i < wire.size(); i += kPieceSize)
            out << wire.mid(i, kPieceSize);
        return out;
    }();
    return pieces;
}

void BM_Pop3Assemble_50MB_in_1KB_pieces(benchmark::State& state)
{
    const QByteArrayList& pieces = messagePieces();
    for (auto _ : state) {
        CMessages messages;
        Pop3Session session(messages);
        session.start(QStringLiteral("anna"), QStringLiteral("secret"));
        session.connected(QHostAddress::LocalHost, true);  // the login goes in clear only to this computer
        session.feed("+OK\r\n-ERR\r\n+OK\r\n+OK\r\n+OK 1 50000000\r\n");
        // From the first piece to the message parsed and held.
        const auto begin = std::chrono::steady_clock::now();
        for (const QByteArray& piece : pieces)
            session.feed(piece);
        const auto end = std::chrono::steady_clock::now();
        if (messages.Count() != 1 || session.step() != Pop3Step::Quit) {
            state.SkipWithError("message not assembled");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
    }
    state.SetBytesProcessed(state.iterations() * kMessageSize);
}
BENCHMARK(BM_Pop3Assemble_50MB_in_1KB_pieces)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);

// The data of a message with the file attached, as the send screen hands
// it to the session, made and written to `out` a slice at a time as the
// connection writes it to the socket; true when all of it was written.
bool sendData(const QString& attachment, const QString& out)
{
    SmtpMessage m;
    m.sender = QStringLiteral("anna@example.org");
    m.recipients = QStringLiteral("bob@example.net");
    m.subject = QStringLiteral("The file");
    m.text = QStringLiteral("Here it is.");
    m.messageId = QStringLiteral("<bench@example.org>");
    m.attachments = {attachment};
    const std::shared_ptr<MailData> data = SmtpSession::messageData(m);
    QFile file(out);
    if (!data || !file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return false;
    qint64 written = 0;
    for (QByteArray slice; !(slice = data->next()).isEmpty();)
        written += file.write(slice);
    return written == data->size() && !data->failure();
}

// Ours and GNU uuencode, each writing to a file beside the attachment, in
// interleaved rounds.
void sideBySide(int rounds)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("attachment.bin"));
    writeAttachment(path);
    const QString ours = dir.filePath(QStringLiteral("ours.data")), gnu = dir.filePath(QStringLiteral("gnu.uue"));
    Row r;
    for (int i = 0; i < rounds; ++i) {
        r.ours.push_back(runOurs([&] { return sendData(path, ours); }));
        r.peer.push_back(runProgram({QStringLiteral("uuencode"), path, QStringLiteral("attachment.bin")}, gnu));
    }
    report(QStringLiteral("Send with a 100 MB attachment: its SMTP data (SmtpSession::messageData, UUEncodeStream) "
                          "made and written to a file a slice at a time"),
           r, QStringLiteral("GNU uuencode > file"), QStringLiteral("<= 0.5"), QStringLiteral("< 40 MB"));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sideBySide(benchRounds());
    return 0;
}
