#include "kit/MsgBox.h"

#include <cstdio>

#include "kit/AppInfo.h"

namespace {
std::function<MsgResult(const MsgBoxCall&)>& handler()
{
    static std::function<MsgResult(const MsgBoxCall&)> h;
    return h;
}

std::function<MsgResult(const MsgBoxCall&)>& window()
{
    static std::function<MsgResult(const MsgBoxCall&)> w;
    return w;
}

// Without windows (the command line, a program still starting) the text goes
// to standard error and the answer is the one that changes nothing.
MsgResult withoutWindow(const MsgBoxCall& call)
{
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(call.title), qUtf8Printable(call.text));
    switch (call.buttons) {
    case MsgButtons::OKOnly:
        return MsgResult::OK;
    case MsgButtons::YesNo:
        return MsgResult::No;
    case MsgButtons::OKCancel:
    case MsgButtons::YesNoCancel:
        break;
    }
    return MsgResult::Cancel;
}
}  // namespace

MsgResult MsgBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title)
{
    const MsgBoxCall call{text, buttons, icon, title.isEmpty() ? AppInfo::kTitle : title};
    if (handler())
        return handler()(call);
    return window() ? window()(call) : withoutWindow(call);
}

void setMsgBoxHandler(std::function<MsgResult(const MsgBoxCall&)> h)
{
    handler() = std::move(h);
}

void setMsgBoxWindow(std::function<MsgResult(const MsgBoxCall&)> w)
{
    window() = std::move(w);
}
