// Load and save of a large RTF note: the reader and writer on their own, and
// the rich-text box loading the file. The note is generated (many paragraphs
// of mixed formatting, list items, table rows) and also written to a file;
// after the benchmarks, our reader and pandoc load that very file side by
// side and the ratio of their CPU times is printed:
//
//   bench_rtf [--note=PATH] [Google Benchmark flags]
//
// PATH defaults to tessaly-bench-note.rtf in the temporary folder.

#include "controls/RichTextBox.h"
#include "kit/AtomicFile.h"
#include "rtf/RtfReader.h"
#include "rtf/RtfWriter.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTextDocument>

#include <ctime>
#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr qsizetype kNoteBytes = 10 * 1024 * 1024;

// A fixed pseudo-random sequence: every run measures the same note.
class Lcg {
public:
    std::uint32_t next()
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return std::uint32_t(m_state >> 33);
    }
    int below(int n) { return int(next() % std::uint32_t(n)); }

private:
    std::uint64_t m_state = 2002;
};

// Paragraphs of words in four fonts and five colours, with bold, italic,
// underline, strike-through, size changes, highlights, tabs, line breaks,
// accented (\'hh) and Cyrillic (\u) words, aligned and indented paragraphs,
// bulleted and numbered list items and rows of small tables: what a long note
// written in a word processor looks like.
QByteArray generateNote(qsizetype bytes)
{
    static const char* const words[] = {
        "meeting",
        "with",
        "the",
        "team",
        "about",
        "budget",
        "and",
        "planning",
        "for",
        "next",
        "quarter",
        "call",
        "Anna",
        "before",
        "Friday",
        "remember",
        "to",
        "bring",
        "notes",
        "report",
        "caf\\'e9",
        "na\\'efve",
        "\\'80 120",
        "r\\'e9sum\\'e9",
        "\\u1046 ?\\u1091 ?\\u1082 ?",
        "\\{draft\\}",
        "C:\\\\Notes",
        "2002",
        "invoice",
        "address",
    };
    static const char* const onOff[][2] = {
        {"\\b ", "\\b0 "},           {"\\i ", "\\i0 "},      {"\\ul ", "\\ulnone "},
        {"\\strike ", "\\strike0 "}, {"\\cf2 ", "\\cf0 "},   {"\\highlight4 ", "\\highlight0 "},
        {"\\f1 ", "\\f0 "},          {"\\fs28 ", "\\fs20 "},
    };
    static const char* const paragraphs[] = {
        "\\pard ", "\\pard\\qc ", "\\pard\\qj\\li720\\ri360 ", "\\pard\\fi-360\\li720\\sb120\\sa120 ", "\\pard\\qr ",
    };
    Lcg rng;
    QByteArray rtf;
    rtf.reserve(bytes + 4096);
    rtf += "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
           "{\\f1\\froman\\fcharset0 Times New Roman;}{\\f2\\fmodern\\fcharset0 Courier New;}"
           "{\\f3\\fswiss\\fcharset0 Verdana;}}\r\n"
           "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green128\\blue0;\\red0\\green0\\blue255;"
           "\\red255\\green255\\blue0;}\r\n"
           "{\\*\\listtable{\\list{\\listlevel\\levelnfc23{\\leveltext\\'01\\'95;}}\\listid1}"
           "{\\list{\\listlevel\\levelnfc0{\\leveltext\\'02\\'00.;}}\\listid2}}\r\n"
           "{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}{\\listoverride\\listid2\\ls2}}\r\n"
           "\\viewkind4\\uc1\\pard\\f0\\fs20 ";
    while (rtf.size() < bytes) {
        const int kind = rng.below(20);
        const bool row = kind == 2;  // a table row of two cells, the paragraph its second
        switch (kind) {
        case 0:
            rtf += "\\pard\\ls1\\fi-360\\li720{\\listtext\\'95\\tab}";
            break;
        case 1:
            rtf += "\\pard\\ls2\\fi-360\\li720{\\listtext 1.\\tab}";
            break;
        case 2:
            rtf += "\\trowd\\cellx3000\\cellx6000\\pard\\intbl ";
            rtf += words[rng.below(30)];
            rtf += "\\cell ";
            break;
        default:
            rtf += paragraphs[rng.below(5)];
        }
        const int length = 40 + rng.below(80);
        for (int w = 0; w < length; ++w) {
            if (rng.below(6) == 0) {
                const auto& f = onOff[rng.below(8)];
                rtf += f[0];
                rtf += words[rng.below(30)];
                rtf += ' ';
                rtf += words[rng.below(30)];
                rtf += f[1];
            } else {
                rtf += words[rng.below(30)];
            }
            const int gap = rng.below(40);
            rtf += gap == 0 ? "\\tab " : gap == 1 ? "\\line " : " ";
        }
        rtf += row ? "\\cell\\row\r\n" : "\\par\r\n";
    }
    rtf += '}';
    return rtf;
}

QByteArray& note()
{
    static QByteArray bytes = generateNote(kNoteBytes);
    return bytes;
}

QString g_notePath;

void BM_RtfLoad(benchmark::State& state)
{
    const QByteArray rtf = generateNote(state.range(0) * 1024 * 1024);
    for (auto _ : state) {
        QTextDocument doc;
        RtfReader::read(rtf, doc);
        benchmark::DoNotOptimize(doc.characterCount());
    }
    state.SetBytesProcessed(state.iterations() * rtf.size());
    state.SetComplexityN(rtf.size());
}
BENCHMARK(BM_RtfLoad)->Arg(1)->Arg(2)->Arg(5)->Arg(10)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

void BM_RtfSave(benchmark::State& state)
{
    QTextDocument doc;
    RtfReader::read(note(), doc);
    qsizetype written = 0;
    for (auto _ : state) {
        const QByteArray rtf = RtfWriter::write(doc);
        written = rtf.size();
        benchmark::DoNotOptimize(rtf.constData());
    }
    state.SetBytesProcessed(state.iterations() * written);
    state.counters["output_MB"] = double(written) / (1024 * 1024);
}
BENCHMARK(BM_RtfSave)->Unit(benchmark::kMillisecond);

// The box as the note window uses it: LoadFile, then the first event round
// (the first page laid out and painted); the rest is laid out in steps later.
void BM_RichTextBoxLoadFile(benchmark::State& state)
{
    RichTextBox box;
    box.resize(800, 600);
    box.show();
    for (auto _ : state) {
        box.LoadFile(g_notePath);
        QApplication::processEvents();
    }
    state.SetBytesProcessed(state.iterations() * note().size());
}
BENCHMARK(BM_RichTextBoxLoadFile)->Unit(benchmark::kMillisecond)->Iterations(3);

// A note's save: the box's RTF written through the program's one atomic write.
void BM_NoteSave(benchmark::State& state)
{
    RichTextBox box;
    box.LoadFile(g_notePath);
    const QString path = g_notePath + QStringLiteral(".saved");
    for (auto _ : state) {
        if (!AtomicFile::write(path, box.TextRTF().toLatin1()).isEmpty())
            state.SkipWithError("the save failed");
    }
    QFile::remove(path);
    state.SetBytesProcessed(state.iterations() * note().size());
}
BENCHMARK(BM_NoteSave)->Unit(benchmark::kMillisecond)->Iterations(3);

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

double childCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Best of three CPU (and its wall) time of one load.
template <typename Load>
std::pair<double, double> bestOfThree(Load load)
{
    QElapsedTimer wall;
    double cpu = 1e9, cpuWall = 0;
    for (int i = 0; i < 3; ++i) {
        const double before = processCpuSeconds();
        wall.start();
        load();
        const double used = processCpuSeconds() - before;
        if (used < cpu) {
            cpu = used;
            cpuWall = wall.elapsed() / 1000.0;
        }
    }
    return {cpu, cpuWall};
}

// Our load and pandoc's on the same file, one after the other: CPU time (the
// machine is shared, so wall time says less) and the ratio. Ours twice: the
// reader alone, and the note window's way (the rich-text box's LoadFile into
// a shown box, then the event round that lays out and paints the first page).
void sideBySide()
{
    const auto [reader, readerWall] = bestOfThree([] {
        QFile file(g_notePath);
        file.open(QIODevice::ReadOnly);
        QTextDocument doc;
        RtfReader::read(file.readAll(), doc);
    });
    RichTextBox box;
    box.resize(800, 600);
    box.show();
    QApplication::processEvents();
    const auto [shown, shownWall] = bestOfThree([&box] {
        box.LoadFile(g_notePath);
        QApplication::processEvents();
    });
    std::printf("\nside by side on %s:\n"
                "  ours   RtfReader::read (file read included): %.2f s CPU, %.2f s wall\n"
                "  ours   RichTextBox::LoadFile + first page shown: %.2f s CPU, %.2f s wall\n",
                qPrintable(g_notePath), reader, readerWall, shown, shownWall);
    const QString pandoc = QStandardPaths::findExecutable(QStringLiteral("pandoc"));
    if (pandoc.isEmpty()) {
        std::printf("  pandoc: not installed\n");
        return;
    }
    QProcess p;
    QElapsedTimer wall;
    const double cpu = childCpuSeconds();
    wall.start();
    p.start(pandoc, {QStringLiteral("-f"), QStringLiteral("rtf"), QStringLiteral("-t"), QStringLiteral("plain"),
                     g_notePath, QStringLiteral("-o"), QStringLiteral("/dev/null")});
    p.waitForFinished(-1);
    const double theirs = childCpuSeconds() - cpu;
    const double theirsWall = wall.elapsed() / 1000.0;
    std::printf("  pandoc -f rtf -t plain: %.2f s CPU, %.2f s wall (exit %d)\n"
                "  ratio, reader: ours %.0fx faster (CPU), %.0fx (wall)\n"
                "  ratio, box:    ours %.0fx faster (CPU), %.0fx (wall)\n",
                theirs, theirsWall, p.exitCode(), theirs / reader, theirsWall / readerWall, theirs / shown,
                theirsWall / shownWall);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
    g_notePath = QDir::temp().filePath(QStringLiteral("tessaly-bench-note.rtf"));
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--note=", 7) == 0) {
            g_notePath = QString::fromLocal8Bit(argv[i] + 7);
        } else {
            std::fprintf(stderr, "bench_rtf: unknown argument %s\n", argv[i]);
            return 1;
        }
    }
    QApplication app(argc, argv);
    QFile file(g_notePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(note()) != note().size()) {
        std::fprintf(stderr, "bench_rtf: cannot write %s\n", qPrintable(g_notePath));
        return 1;
    }
    file.close();
    std::printf("note: %s (%lld bytes)\n", qPrintable(g_notePath), static_cast<long long>(note().size()));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sideBySide();
    return 0;
}
