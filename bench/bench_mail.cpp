// Uuencoding a 100 MB attachment, ours next to GNU uuencode on the same
// file, and assembling a 50 MB POP3 message that arrives in 1 KB pieces.
#include "mail/Pop3Session.h"
#include "mail/mdlMUUEncode.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "SideBySide.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr qsizetype kAttachmentSize = 100 * 1000 * 1000;
constexpr qsizetype kMessageSize = 50 * 1000 * 1000;
constexpr qsizetype kPieceSize = 1024;

// One 100 MB file of random bytes for both encoders, made once per run.
const QString& attachmentPath()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString p = dir.filePath(QStringLiteral("attachment.bin"));
        QByteArray data(kAttachmentSize, Qt::Uninitialized);
        QRandomGenerator rng(2002);
        rng.fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size())
            std::abort();
        return p;
    }();
    return path;
}

void BM_UUEncodeFile_100MB(benchmark::State& state)
{
    const QString path = attachmentPath();
    for (auto _ : state) {
        std::optional<QByteArray> block = UUEncodeFile(path);
        benchmark::DoNotOptimize(block);
    }
    state.SetBytesProcessed(state.iterations() * kAttachmentSize);
}
BENCHMARK(BM_UUEncodeFile_100MB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

double childCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_GnuUuencode_100MB(benchmark::State& state)
{
    if (QStandardPaths::findExecutable(QStringLiteral("uuencode")).isEmpty()) {
        state.SkipWithError("uuencode (sharutils) is not installed");
        return;
    }
    const QByteArray command = "uuencode '" + QFile::encodeName(attachmentPath()) + "' attachment.bin > /dev/null";
    const double cpuBefore = childCpuSeconds();
    for (auto _ : state) {
        if (std::system(command.constData()) != 0) {
            state.SkipWithError("uuencode failed");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * kAttachmentSize);
    // The CPU column counts this process only; this is the encoder's own.
    state.counters["uuencode_cpu_ms"] =
        benchmark::Counter((childCpuSeconds() - cpuBefore) * 1000.0 / double(state.iterations()));
}
BENCHMARK(BM_GnuUuencode_100MB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

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

// Ours and GNU uuencode, each writing its block to a file beside the
// attachment, in interleaved rounds; medians and the throughput ratio.
void sideBySide(int rounds)
{
    const QString path = attachmentPath();
    const QString ours = path + QStringLiteral(".ours.uue");
    const QString gnu = path + QStringLiteral(".gnu.uue");
    const QByteArray command =
        "uuencode '" + QFile::encodeName(path) + "' attachment.bin > '" + QFile::encodeName(gnu) + "'";
    const bool haveGnu = !QStandardPaths::findExecutable(QStringLiteral("uuencode")).isEmpty();
    std::vector<double> oursTimes, gnuTimes;
    bool ok = true;
    for (int r = 0; r < rounds; ++r) {
        oursTimes.push_back(millisecondsOf([&] {
                                QFile out(ours);
                                ok = ok && out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)
                                     && UUEncodeFileTo(path, out);
                            })
                            / 1000);
        if (haveGnu)
            gnuTimes.push_back(millisecondsOf([&] { ok = ok && std::system(command.constData()) == 0; }) / 1000);
    }
    if (!ok)
        std::printf("an encoder failed\n");
    const double o = medianOf(oursTimes), g = medianOf(gnuTimes);
    std::printf("\nside by side, 100 MB to a file on the same disk, median of %d interleaved rounds:\n", rounds);
    std::printf("  ours UUEncodeFileTo: %.0f ms (%.0f MB/s, %lld bytes)\n", o * 1000, kAttachmentSize / o / 1e6,
                QFileInfo(ours).size());
    if (haveGnu)
        std::printf("  GNU uuencode > file: %.0f ms (%.0f MB/s, %lld bytes)\n  ratio: ours %.2fx the throughput "
                    "of GNU uuencode (target at least 2)\n",
                    g * 1000, kAttachmentSize / g / 1e6, QFileInfo(gnu).size(), g / o);
    if (haveGnu) {
        // A throughput ratio: GNU's time over ours (target at least 2).
        const QByteArray what = "uuencode 100 MB to a file (" + QByteArray::number(int(kAttachmentSize / o / 1e6))
                                + " MB/s against " + QByteArray::number(int(kAttachmentSize / g / 1e6)) + ")";
        reportRow(what.constData(), o * 1000, "GNU uuencode > file", g * 1000, ">= 2 throughput (time <= 0.5)");
    }
    QFile::remove(ours);
    QFile::remove(gnu);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sideBySide(benchRounds());
    return 0;
}
