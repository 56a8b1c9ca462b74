#include "window/MessageWindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>

#include "kit/MsgBox.h"
#include "kit/OAuth2.h"

namespace {
MsgResult showWindow(const MsgBoxCall& call)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(call.title);
    box.setText(call.text);
    switch (call.icon) {
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MsgIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    }
    switch (call.buttons) {
    case MsgButtons::OKOnly:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::OKCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MsgResult::Yes;
    case QMessageBox::No:
        return MsgResult::No;
    case QMessageBox::Cancel:
        return MsgResult::Cancel;
    default:
        return call.buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::OK;
    }
}
}  // namespace

void showMessagesInWindows()
{
    setMsgBoxWindow(showWindow);
    // An OAuth2 sign-in opens in the system browser.
    setOAuthBrowser([](const QUrl& url) { QDesktopServices::openUrl(url); });
}
