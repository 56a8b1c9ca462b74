#pragma once

#include <QString>

// `tessaly --search WORDS`: what the search box finds, printed one hit a
// line (its kind, a tab, its title), on the program's own store. It needs
// nothing but the store, so the program's starter answers it before the
// windows' libraries are loaded. Returns the exit status.
namespace SearchCommand {
int run(const QString& words);
}
