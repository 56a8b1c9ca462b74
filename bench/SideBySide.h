#pragma once
// What the side-by-side figures share: ours and another program doing the
// same work in interleaved rounds, each round's wall time, CPU time and peak
// resident memory, and one table row of medians for bench/run-all.sh.
//
// Ours runs in this process: its peak is the process's high-water mark from
// the start of the round (reset through /proc/self/clear_refs), so it holds
// the program's own baseline (Qt, the open store) as the user's program
// would. The other program runs as a child, without a shell; its time and
// CPU come from wait4(), its peak from /usr/bin/time.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>
#include <QWidget>
#include <QtGlobal>

#include <sqlite3.h>

extern char** environ;

inline double medianOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Milliseconds of wall time that `work` takes.
template <class Work>
double millisecondsOf(Work&& work)
{
    const auto begin = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
}

inline int benchRounds()
{
    const int rounds = qEnvironmentVariableIntValue("TESSALY_BENCH_ROUNDS");
    return rounds > 0 ? rounds : 7;
}

inline QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2) : QString();
}

// One run of one side.
struct Run {
    double ms = 0;
    double cpuMs = 0;  // user + system
    long peakKb = 0;
    bool ok = true;
};

inline double cpuMilliseconds(const rusage& u)
{
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

inline long statusKilobytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string word;
    long kb = -1;
    while (status >> word)
        if (word == field && status >> kb)
            break;
    return kb;
}

// The process's high-water mark starts again from what is resident now.
inline void restartPeak()
{
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// For a Google Benchmark case: the peak since restartPeak() and the load
// average of the last minute, as counters beside its time.
template <class Counters>
void countPeakAndLoad(Counters& counters)
{
    counters["peak_MB"] = double(statusKilobytes("VmHWM:")) / 1024;
    counters["load"] = loadAverage().section(QLatin1Char(' '), 0, 0).toDouble();
}

// Ours: `work` in this process; false from it marks the run as failed.
template <class Work>
Run runOurs(Work&& work)
{
    restartPeak();
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    Run run;
    run.ms = millisecondsOf([&] { run.ok = work(); });
    getrusage(RUSAGE_SELF, &after);
    run.cpuMs = cpuMilliseconds(after) - cpuMilliseconds(before);
    run.peakKb = statusKilobytes("VmHWM:");
    return run;
}

// What the user waits for after a click: `work`, then the event loop until
// `widget` (a list's viewport: where its rows are drawn) has been painted.
// The clocks stop where the paint pass that drew it ends: at the first event
// after its paint events, or when the loop's turn returns. A screen may go
// on in the same turn with work it left for idle time once it was painted
// (the planner's other pages); the user does not wait for that.
// `drawn` tells the widgets meant; for a screen that `work` opens, they
// cannot be named before.
template <class Work>
Run runUntilPainted(const std::function<bool(QWidget*)>& drawn, Work&& work)
{
    struct Watch : QObject {
        std::function<bool(QWidget*)> drawn;
        bool painting = false, painted = false;
        std::chrono::steady_clock::time_point end;
        rusage cpuEnd{};
        void stop()
        {
            painted = true;
            end = std::chrono::steady_clock::now();
            getrusage(RUSAGE_SELF, &cpuEnd);
        }
        bool eventFilter(QObject* target, QEvent* event) override
        {
            if (painted)
                return false;
            if (event->type() == QEvent::Paint)
                painting = painting || (target->isWidgetType() && drawn(static_cast<QWidget*>(target)));
            else if (painting)
                stop();
            return false;
        }
    } watch;
    watch.drawn = drawn;
    restartPeak();
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto begin = std::chrono::steady_clock::now();
    QCoreApplication::instance()->installEventFilter(&watch);
    work();
    QElapsedTimer waited;
    waited.start();
    while (!watch.painted && waited.elapsed() < 5000) {
        QCoreApplication::processEvents();
        if (watch.painting && !watch.painted)
            watch.stop();
    }
    QCoreApplication::instance()->removeEventFilter(&watch);
    Run run;
    run.ok = watch.painted;
    if (!run.ok)
        watch.stop();
    run.ms = std::chrono::duration<double, std::milli>(watch.end - begin).count();
    run.cpuMs = cpuMilliseconds(watch.cpuEnd) - cpuMilliseconds(before);
    run.peakKb = statusKilobytes("VmHWM:");
    return run;
}

template <class Work>
Run runUntilPainted(QWidget* widget, Work&& work)
{
    return runUntilPainted([widget](QWidget* w) { return w == widget || widget->isAncestorOf(w); },
                           std::forward<Work>(work));
}

// The other program: `argv` started without a shell, its output to `out`,
// its input from `in` when given; ok when it exited with 0. It starts
// through /usr/bin/time, which reports its peak: a child made straight from
// this process would report this process's peak as its own.
inline Run runProgram(const QStringList& argv, const QString& out = QStringLiteral("/dev/null"),
                      const QString& in = QString())
{
    QTemporaryFile peak;
    peak.open();
    std::vector<QByteArray> bytes = {"/usr/bin/time", "-f", "%M", "-o", QFile::encodeName(peak.fileName())};
    for (const QString& a : argv)
        bytes.push_back(QFile::encodeName(a));
    std::vector<char*> args;
    for (QByteArray& b : bytes)
        args.push_back(b.data());
    args.push_back(nullptr);
    const QByteArray outName = QFile::encodeName(out), inName = QFile::encodeName(in);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, outName.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!in.isEmpty())
        posix_spawn_file_actions_addopen(&files, 0, inName.constData(), O_RDONLY, 0);
    Run run;
    pid_t pid = 0;
    int status = -1;
    rusage usage{};
    run.ms = millisecondsOf([&] {
        if (posix_spawn(&pid, args[0], &files, nullptr, args.data(), environ) == 0)
            wait4(pid, &status, 0, &usage);
    });
    posix_spawn_file_actions_destroy(&files);
    run.ok = pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.cpuMs = cpuMilliseconds(usage);
    run.peakKb = peak.readAll().trimmed().split('\n').last().toLong();
    return run;
}

// The sqlite3 tool running `sql` (one or more statements) on `db`, output
// to /dev/null, timed finer than its own 1 ms timer: one process runs the
// statements `repeat` + `base` times, another `base` times, and the
// difference over `repeat` is the time of one run of them, without the
// tool's start. Statements that change the file run once after none
// (`repeat` 1, `base` 0).
inline Run sqlite3Run(const QString& db, const QString& sql, int repeat = 200, int base = 1)
{
    const auto script = [&](int times) {
        auto* file = new QTemporaryFile;
        file->open();
        file->write(".output /dev/null\n");
        for (int i = 0; i < times; ++i)
            file->write(sql.toUtf8() + '\n');
        file->flush();
        return file;
    };
    std::unique_ptr<QTemporaryFile> once(script(base)), many(script(repeat + base));
    const Run a = runProgram({QStringLiteral("sqlite3"), db}, QStringLiteral("/dev/null"), once->fileName());
    const Run b = runProgram({QStringLiteral("sqlite3"), db}, QStringLiteral("/dev/null"), many->fileName());
    Run run;
    run.ok = a.ok && b.ok;
    run.ms = (b.ms - a.ms) / repeat;
    run.cpuMs = (b.cpuMs - a.cpuMs) / repeat;
    run.peakKb = b.peakKb;
    return run;
}

// What `work` had `db` run: each statement as written with its values, not
// those its triggers ran; the sqlite3 tool given them does the same work.
inline QByteArray statementsRun(sqlite3* db, const std::function<void()>& work)
{
    QByteArray statements;
    const auto note = [](unsigned, void* into, void* statement, void* sql) {
        if (!QByteArray(static_cast<const char*>(sql)).startsWith("--")) {
            char* expanded = sqlite3_expanded_sql(static_cast<sqlite3_stmt*>(statement));
            *static_cast<QByteArray*>(into) += QByteArray(expanded) + ";\n";
            sqlite3_free(expanded);
        }
        return 0;
    };
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, note, &statements);
    work();
    sqlite3_trace_v2(db, 0, nullptr, nullptr);
    return statements;
}

// A copy of the store `db` has open, at `copy`: its log moved into the file first.
inline bool copyStore(sqlite3* db, const QString& copy)
{
    QFile::remove(copy);
    return sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) == SQLITE_OK
           && QFile::copy(QString::fromUtf8(sqlite3_db_filename(db, "main")), copy);
}

// The sqlite3 tool doing what `statements` did, on `copy`, with the
// settings the program's connections have.
inline Run sqlite3Doing(const QString& copy, const QByteArray& statements)
{
    return sqlite3Run(
        copy, QStringLiteral("PRAGMA synchronous=NORMAL; PRAGMA cache_size=-8192;\n") + QString::fromUtf8(statements),
        1, 0);
}

// The program as a user starts it, copied into `folder`: the starter
// (tessaly) and the program it runs in its place (tessaly-app beside it),
// from the build's tessaly folder next to the benchmarks. False when either
// is missing.
inline bool copyProgram(const QString& folder)
{
    const QString built = QCoreApplication::applicationDirPath() + QStringLiteral("/../tessaly/");
    for (const QString& name : {QStringLiteral("tessaly"), QStringLiteral("tessaly-app")}) {
        QFile::remove(folder + u'/' + name);
        if (!QFile::copy(built + name, folder + u'/' + name))
            return false;
    }
    return true;
}

// The rounds of one row, and its line: printed, and appended to
// $TESSALY_BENCH_TABLE for bench/run-all.sh.
struct Row {
    std::vector<Run> ours, peer;
    bool ok() const
    {
        return std::all_of(ours.begin(), ours.end(), [](const Run& r) { return r.ok; })
               && std::all_of(peer.begin(), peer.end(), [](const Run& r) { return r.ok; }) && !ours.empty();
    }
};

inline double medianMs(const std::vector<Run>& runs)
{
    std::vector<double> v;
    for (const Run& r : runs)
        v.push_back(r.ms);
    return medianOf(v);
}

inline double medianCpu(const std::vector<Run>& runs)
{
    std::vector<double> v;
    for (const Run& r : runs)
        v.push_back(r.cpuMs);
    return medianOf(v);
}

inline long peakOf(const std::vector<Run>& runs)
{
    long kb = 0;
    for (const Run& r : runs)
        kb = std::max(kb, r.peakKb);
    return kb;
}

inline QString timeText(double ms)
{
    return ms >= 1000 ? QStringLiteral("%1 s").arg(ms / 1000, 0, 'f', 2) : QStringLiteral("%1 ms").arg(ms, 0, 'f', 2);
}

inline QString megabytes(long kb)
{
    return QStringLiteral("%1 MB").arg(double(kb) / 1024, 0, 'f', 1);
}

inline void appendToTable(const QString& line)
{
    if (const char* table = std::getenv("TESSALY_BENCH_TABLE")) {
        if (FILE* f = std::fopen(table, "a")) {
            std::fprintf(f, "%s\n", line.toUtf8().constData());
            std::fclose(f);
        }
    }
}

// `work` says what both sides do and which code of ours runs; `peerName`
// what the other program is (empty: no peer); `goal` the target of the
// ratio (or of our time), `memoryGoal` the target of our peak.
inline void report(const QString& work, const Row& row, const QString& peerName, const QString& goal,
                   const QString& memoryGoal)
{
    const bool peer = !peerName.isEmpty();
    const double ours = medianMs(row.ours), theirs = medianMs(row.peer);
    const QString ratio = peer && theirs > 0 ? QString::number(ours / theirs, 'f', 2) : QStringLiteral("—");
    const QString failed = row.ok() ? QString() : QStringLiteral(" (A RUN FAILED)");
    const QString oursText = QStringLiteral("%1 (CPU %2)").arg(timeText(ours), timeText(medianCpu(row.ours)));
    const QString peerText =
        peer ? QStringLiteral("%1 %2 (CPU %3)").arg(peerName, timeText(theirs), timeText(medianCpu(row.peer)))
             : QStringLiteral("—");
    const QString memory = peer
                               ? QStringLiteral("%1 / %2").arg(megabytes(peakOf(row.ours)), megabytes(peakOf(row.peer)))
                               : megabytes(peakOf(row.ours));
    std::printf("%s%s\n  ours %s | peer %s | ratio %s (goal %s) | peak %s (goal %s) | %zu rounds, load %s\n",
                qPrintable(work), qPrintable(failed), qPrintable(oursText), qPrintable(peerText), qPrintable(ratio),
                qPrintable(goal), qPrintable(memory), qPrintable(memoryGoal), row.ours.size(),
                qPrintable(loadAverage()));
    std::fflush(stdout);
    appendToTable(QStringLiteral("| %1%2 | %3 | %4 | %5 | %6 | %7 | %8 |")
                      .arg(work, failed, oursText, peerText, ratio, goal, memory, memoryGoal));
}
