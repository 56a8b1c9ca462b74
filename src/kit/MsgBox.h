#pragma once

#include <functional>

#include <QString>

enum class MsgButtons { OKOnly, OKCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgResult { OK, Cancel, Yes, No };

struct MsgBoxCall {
    QString text;
    MsgButtons buttons = MsgButtons::OKOnly;
    MsgIcon icon = MsgIcon::None;
    QString title;  // already filled with the program title when none was given
};

// Every message the program shows goes through here. The title defaults to
// the program title.
MsgResult MsgBox(const QString& text, MsgButtons buttons = MsgButtons::OKOnly, MsgIcon icon = MsgIcon::None,
                 const QString& title = QString());

// Tests replace the window with a recorder; an empty function restores it.
void setMsgBoxHandler(std::function<MsgResult(const MsgBoxCall&)> handler);
// The window that shows a message, given by the window services at start
// (showMessagesInWindows); until then a message goes to standard error.
void setMsgBoxWindow(std::function<MsgResult(const MsgBoxCall&)> window);
