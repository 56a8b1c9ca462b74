#pragma once

#include <optional>

// The program's command-line operations (import, export), run without a
// window and without the login: nothing when the arguments ask for none, so
// the program starts as usual; otherwise the exit status.
namespace CommandLine {
std::optional<int> run(int argc, char* argv[]);
}
