// A large RTF note: the notes window opening it (the rich-text box's
// LoadFile, to the first page painted) next to pandoc reading the same file,
// and the save of a note (Google Benchmark). The note is generated (many
// paragraphs of mixed formatting, list items, table rows) and written to a
// file first:
//
//   bench_rtf [--note=PATH] [Google Benchmark flags]
//
// PATH defaults to tessaly-bench-note.rtf in the temporary folder.

#include "controls/RichTextBox.h"
#include "kit/AtomicFile.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include "SideBySide.h"

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

// A note's save: the box's RTF written through the program's one atomic write.
void BM_NoteSave(benchmark::State& state)
{
    RichTextBox box;
    box.LoadFile(g_notePath);
    const QString path = g_notePath + QStringLiteral(".saved");
    restartPeak();
    for (auto _ : state) {
        if (!AtomicFile::write(path, box.TextRTF().toLatin1()).isEmpty())
            state.SkipWithError("the save failed");
    }
    QFile::remove(path);
    state.SetBytesProcessed(state.iterations() * note().size());
    countPeakAndLoad(state.counters);
}
BENCHMARK(BM_NoteSave)->Unit(benchmark::kMillisecond)->Iterations(3);

// The note window's open of this note (Notes' loadNote: a note of up to
// 20 MB goes through the box's LoadFile on the window's thread) into a shown
// 800x600 box until its first page is painted, next to pandoc reading the
// same file to plain text. pandoc takes minutes a run on this note, so it
// runs in the first round only.
void sideBySide()
{
    RichTextBox box;
    box.resize(800, 600);
    box.show();
    QApplication::processEvents();
    const QString pandoc = QStandardPaths::findExecutable(QStringLiteral("pandoc"));
    Row row;
    for (int round = 0; round < benchRounds(); ++round) {
        box.clear();
        QApplication::processEvents();
        row.ours.push_back(runUntilPainted(box.viewport(), [&] { box.LoadFile(g_notePath); }));
        if (round == 0 && !pandoc.isEmpty())
            row.peer.push_back(
                runProgram({pandoc, QStringLiteral("-f"), QStringLiteral("rtf"), QStringLiteral("-t"),
                            QStringLiteral("plain"), g_notePath, QStringLiteral("-o"), QStringLiteral("/dev/null")}));
    }
    report(QStringLiteral("a 10 MB RTF note opened, to its first page painted (RichTextBox::LoadFile, as the notes "
                          "window opens a note of up to 20 MB)"),
           row, pandoc.isEmpty() ? QString() : QStringLiteral("pandoc -f rtf -t plain, first round only"),
           QStringLiteral("<= 0.02"), QStringLiteral("—"));
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
