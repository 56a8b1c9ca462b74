#include "kit/SearchCommand.h"

#include <cstdio>

#include <QFileInfo>

#include "kit/AppFolder.h"
#include "kit/Clock.h"
#include "kit/Occurrences.h"
#include "store/Connection.h"
#include "store/SearchIndex.h"
#include "store/StoreError.h"

namespace {
const QString kKinds[] = {QStringLiteral("Contact"), QStringLiteral("Appointment"), QStringLiteral("Note"),
                          QStringLiteral("Mail"), QStringLiteral("Task")};

void printLine(std::FILE* to, const QString& line)
{
    std::fprintf(to, "%s\n", line.toLocal8Bit().constData());
}
}  // namespace

// The index as the program keeps it: one the program has not filled yet
// (an older store) finds what was written since.
int SearchCommand::run(const QString& words)
{
    const QString path = AppFolder::databaseFile();
    try {
        if (!QFileInfo(path).isFile())
            throw StoreError(QStringLiteral("The database file %1 does not exist.").arg(path));
        Connection con;
        con.Open(path);
        const SearchIndex::Dating dating{Clock::today(), Clock::parseDate,
                                         [&con](qint64 row) { return Occurrences::nextFrom(con, row, Clock::today()); },
                                         Clock::dateText};
        for (const SearchIndex::SearchHit& hit : SearchIndex::search(con.handle(), words, dating)) {
            QString title = hit.title;
            title.remove(SearchIndex::kMarkOpen).remove(SearchIndex::kMarkClose);
            printLine(stdout, kKinds[int(hit.kind)] + QLatin1Char('\t') + title.simplified());
        }
    } catch (const StoreError& e) {
        printLine(stderr, QStringLiteral("tessaly: %1").arg(e.reason()));
        return 1;
    }
    std::fflush(stdout);
    return 0;
}
