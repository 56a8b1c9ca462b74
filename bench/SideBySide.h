#pragma once
// What the side-by-side figures share: medians of interleaved rounds, and the
// sqlite3 tool's own time for a query with its output sent to /dev/null.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QtGlobal>

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

// The sqlite3 tool's "Run Time: real" for `sql` on `db`, output to
// /dev/null: the query's own time, without the tool's start.
inline double sqlite3Milliseconds(const QString& db, const QString& sql)
{
    const QByteArray command = "printf '.output /dev/null\\n.timer on\\n%s;\\n' \"$SQL\" | sqlite3 '" + db.toUtf8()
                               + "' 2>&1 | sed -n 's/^Run Time: real \\([0-9.]*\\).*/\\1/p'";
    qputenv("SQL", sql.toUtf8());
    FILE* out = popen(command.constData(), "r");
    if (!out)
        return -1;
    double seconds = -1;
    if (std::fscanf(out, "%lf", &seconds) != 1)
        seconds = -1;
    pclose(out);
    return seconds * 1000.0;
}

// Resident memory of this process, in kB.
inline long residentKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string word;
    long kb = -1;
    while (status >> word)
        if (word == "VmRSS:" && status >> kb)
            break;
    return kb;
}

// One line of the side-by-side table: what, ours, theirs, the ratio and the
// target; rows are also appended to $TESSALY_BENCH_TABLE for bench/run-all.sh.
inline void reportRow(const char* what, double ours, const char* theirsName, double theirs, const char* target)
{
    const double ratio = theirs > 0 ? ours / theirs : 0;
    std::printf("%-48s ours %8.2f ms   %s %8.2f ms   ratio %5.2f   (target %s)\n", what, ours, theirsName, theirs,
                ratio, target);
    if (const char* table = std::getenv("TESSALY_BENCH_TABLE")) {
        if (FILE* f = std::fopen(table, "a")) {
            std::fprintf(f, "| %s | %.2f ms | %s %.2f ms | %.2f | %s |\n", what, ours, theirsName, theirs, ratio,
                         target);
            std::fclose(f);
        }
    }
}

// A line with one figure of ours and its target, no other tool.
inline void reportOwn(const char* what, const QString& figure, const char* target)
{
    std::printf("%-48s %s   (target %s)\n", what, qPrintable(figure), target);
    if (const char* table = std::getenv("TESSALY_BENCH_TABLE")) {
        if (FILE* f = std::fopen(table, "a")) {
            std::fprintf(f, "| %s | %s | — | — | %s |\n", what, qPrintable(figure), target);
            std::fclose(f);
        }
    }
}

inline int benchRounds()
{
    const int rounds = qEnvironmentVariableIntValue("TESSALY_BENCH_ROUNDS");
    return rounds > 0 ? rounds : 7;
}
