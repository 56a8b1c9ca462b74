#include "kit/ProgramLock.h"

#include <utility>

namespace {
std::function<void()>& handler()
{
    static std::function<void()> h;
    return h;
}
}  // namespace

void ProgramLock::setHandler(std::function<void()> h)
{
    handler() = std::move(h);
}

void ProgramLock::lock()
{
    if (handler())
        handler()();
}
