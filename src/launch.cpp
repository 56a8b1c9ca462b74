// The program as the user starts it. A search from the command line is
// answered here with the store alone: loading the windows' libraries takes
// several times as long as the search itself. Anything else is the whole
// program, tessaly-app beside this file, run in this process's place.

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include <QCoreApplication>
#include <QStringList>

#include "kit/SearchCommand.h"

int main(int argc, char* argv[])
{
    if (argc >= 2 && std::string_view(argv[1]) == "--search") {
        const QCoreApplication app(argc, argv);
        return SearchCommand::run(QCoreApplication::arguments().mid(2).join(QLatin1Char(' ')));
    }
    // The real file, wherever a link to it was started from.
    std::string self(PATH_MAX, '\0');
    const ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
    self.resize(length > 0 ? size_t(length) : 0);
    const std::string program = self.substr(0, self.rfind('/') + 1) + "tessaly-app";
    execv(program.c_str(), argv);
    std::fprintf(stderr, "tessaly: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
    return 127;
}
