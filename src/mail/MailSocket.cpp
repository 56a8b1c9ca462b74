#include "mail/MailSocket.h"

#include "kit/MsgBox.h"

#include <QSignalBlocker>

namespace MailSocket {

namespace {

MsgIcon boxIcon(MailIcon icon)
{
    switch (icon) {
    case MailIcon::None: return MsgIcon::None;
    case MailIcon::Information: return MsgIcon::Information;
    case MailIcon::Exclamation: return MsgIcon::Exclamation;
    case MailIcon::Critical: return MsgIcon::Critical;
    }
    return MsgIcon::None;
}

}  // namespace

void showNotice(const MailNotice &notice)
{
    MsgBox(notice.text, MsgButtons::OKOnly, boxIcon(notice.icon), notice.title);
}

void drop(QTcpSocket *socket)
{
    const QSignalBlocker quiet(socket);
    socket->abort();
}

void carryOut(QTcpSocket *socket, const MailActions &actions, const std::function<void(const QStringList &)> &list)
{
    for (const MailAction &action : actions) {
        switch (action.kind) {
        case MailAction::Kind::Send:
            socket->write(action.bytes);
            break;
        case MailAction::Kind::Close:
            // The machine has already drawn its conclusion; the close itself
            // must not be reported back to it as news.
            drop(socket);
            break;
        case MailAction::Kind::Notify:
            showNotice(action.notice);
            break;
        case MailAction::Kind::List:
            if (list)
                list(action.keys);
            break;
        case MailAction::Kind::Finished:
            break;
        }
    }
}

}  // namespace MailSocket
