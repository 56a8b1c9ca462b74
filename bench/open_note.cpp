// Opening a very large note, once per run, so that /usr/bin/time -v can
// give the peak memory of exactly one open:
//
//   open_note write-text PATH MB    writes MB megabytes of plain text lines
//   open_note write-rtf PATH MB     writes MB megabytes of formatted RTF
//   open_note load PATH             the box's LoadFile on the window's thread
//                                   (how Open read every file before)
//   open_note open PATH             the note panel's Open, as a person uses it
//
// It prints the time until the note shows its text and the longest time the
// window did not answer: a 10 ms timer runs all along, and the longest gap
// between two of its ticks is that time.

#include "controls/RichTextBox.h"
#include "notes/NoteDesk.h"
#include "notes/NoteDocuments.h"
#include "notes/frmNote.h"
#include "window/FileDialogs.h"
#include "window/Screens.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

#include <cstdio>

namespace {
int writeNote(const QString& path, qint64 megabytes, bool rtf)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    const QByteArray head =
        rtf ? R"({\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fswiss Arial;}{\f1\froman Times New Roman;}})"
              R"({\colortbl;\red255\green0\blue0;\red0\green0\blue255;}\f0\fs20 )"
            : "";
    file.write(head);
    for (qint64 i = 0; file.size() < megabytes * 1000 * 1000; ++i) {
        QByteArray line = "Line " + QByteArray::number(i);
        line += rtf ? R"( with \b bold\b0 , \i italic\i0 , {\cf1 red} and {\f1\fs24 larger} words \'e9t\'e9.\par)"
                      "\r\n"
                    : " of a long plain note, with a few words to wrap and some more after them.\n";
        file.write(line);
    }
    if (rtf)
        file.write("}");
    return file.error() == QFileDevice::NoError ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1].startsWith(QLatin1String("write-")))
        return writeNote(args[2], args[3].toLongLong(), args[1] == QLatin1String("write-rtf"));
    if (args.size() != 3 || (args[1] != QLatin1String("load") && args[1] != QLatin1String("open"))) {
        std::fprintf(stderr, "usage: open_note write-text|write-rtf PATH MB | load|open PATH\n");
        return 2;
    }

    QMdiArea area;
    area.resize(1000, 700);
    area.show();
    Screens::setWorkArea(&area);
    NoteDesk desk;
    const QString path = args[2];
    setFileDialogHandler([&](const FileDialogRequest&) { return std::optional<QString>(path); });
    frmNote* note = Notes::LoadNewDoc(desk);
    QApplication::processEvents();

    QElapsedTimer clock, sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    ticker.start(10);
    clock.start();
    sinceTick.start();
    if (args[1] == QLatin1String("load"))
        note->RichNote->LoadFile(path);
    else
        Notes::Opendoc(desk);
    // The first page drawn.
    QApplication::processEvents();
    longestGap = std::max(longestGap, sinceTick.elapsed());
    std::printf("%s: %lld ms until shown, longest unanswered %lld ms, %lld characters\n", qPrintable(args[1]),
                clock.elapsed(), longestGap, qlonglong(note->RichNote->document()->characterCount()));
    // Nothing more to measure: leave without tearing down 200 MB of text.
    std::fflush(stdout);
    std::_Exit(0);
}
