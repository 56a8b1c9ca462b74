#pragma once

#include <functional>

// Locking the program is the main window's business, but the login decides
// when. The main window hands its lock routine here; the login calls lock().
namespace ProgramLock {
void setHandler(std::function<void()> handler);
// Runs the handler; nothing when no main window has registered one.
void lock();
}  // namespace ProgramLock
