#include "sync/CommandLine.h"

#include <cstdio>
#include <functional>

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include "kit/AppFolder.h"
#include "kit/Clock.h"
#include "kit/Occurrences.h"
#include "store/Connection.h"
#include "store/SearchIndex.h"
#include "store/StoreError.h"

#include "sync/SyncFiles.h"
#include "sync/SyncNow.h"

namespace {

struct Operation {
    const char* option;
    const char* help;
    FileOutcome (*run)(const QString&);
    bool takesFile = true;
};

constexpr Operation kOperations[] = {
    {"--import-contacts", "add the contacts of a vCard file (3.0 or 4.0) to the address book",
     SyncFiles::importContacts},
    {"--export-contacts", "write the address book to a vCard 4.0 file", SyncFiles::exportContacts},
    {"--import-appointments", "add the events of an iCalendar file to the day planner", SyncFiles::importAppointments},
    {"--export-appointments", "write the day planner to an iCalendar file", SyncFiles::exportAppointments},
    {"--sync", "sync the address book and the day planner with the server of the Sync Settings",
     [](const QString&) -> FileOutcome {
         SyncOutcome outcome = SyncNow::run();
         if (outcome.move)  // the user takes a move from the File menu, where both addresses are shown
             outcome.message += QStringLiteral(" The command line does not follow it: File, Sync Now asks whether to.");
         return outcome;
     },
     false},
};

void printLine(std::FILE* to, const QString& line)
{
    std::fprintf(to, "%s\n", line.toLocal8Bit().constData());
    std::fflush(to);
}

QString usage()
{
    QString text = QStringLiteral("Usage: tessaly [OPTION [FILE]]...\n"
                                  "Without options the program starts as usual. Each option works on the\n"
                                  "program's own data, prints one line, and the exit status is 0 only when\n"
                                  "every one of them succeeded.\n");
    for (const Operation& op : kOperations)
        text += QStringLiteral("  %1%2\n      %3\n")
                    .arg(QLatin1String(op.option), QLatin1String(op.takesFile ? " FILE" : ""), QLatin1String(op.help));
    text += QStringLiteral("  --search WORDS...\n      print what the words find, one a line: kind, a tab, title\n");
    text += QStringLiteral("  --help\n      show this text");
    return text;
}

const Operation* find(const QString& option)
{
    for (const Operation& op : kOperations)
        if (option == QLatin1String(op.option))
            return &op;
    return nullptr;
}

const QString kKinds[] = {QStringLiteral("Contact"), QStringLiteral("Appointment"), QStringLiteral("Note"),
                          QStringLiteral("Mail"), QStringLiteral("Task")};

// The index as the program keeps it: one the program has not filled yet
// (an older store) finds what was written since.
int search(const QString& words)
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
    return 0;
}

}  // namespace

std::optional<int> CommandLine::run(int argc, char* argv[])
{
    if (argc < 2 || std::string_view(argv[1]).substr(0, 2) != "--")
        return std::nullopt;
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.contains(QStringLiteral("--help"))) {
        printLine(stdout, usage());
        return 0;
    }
    if (args.first() == QLatin1String("--search"))
        return search(args.mid(1).join(QLatin1Char(' ')));
    // Every option is checked before any of them runs, so a typing error changes nothing.
    QList<std::pair<const Operation*, QString>> work;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const Operation* op = find(args[i]);
        if (!op) {
            printLine(stderr, QStringLiteral("tessaly: unknown option %1 (try --help)").arg(args[i]));
            return 2;
        }
        if (!op->takesFile) {
            work.append({op, QString()});
            continue;
        }
        if (i + 1 == args.size() || args[i + 1].isEmpty()) {
            printLine(stderr, QStringLiteral("tessaly: %1 needs a file name (try --help)").arg(args[i]));
            return 2;
        }
        work.append({op, args[++i]});
    }
    int status = 0;
    for (const auto& [op, file] : work) {
        const FileOutcome outcome = op->run(file);
        printLine(outcome.ok ? stdout : stderr, outcome.message);
        if (!outcome.ok)
            status = 1;
    }
    return status;
}
