#pragma once

#include "mail/MailAction.h"

#include <QStringList>

// Actions as one readable line each, so a whole conversation step can be
// compared at once and a mismatch prints what differs.
inline QStringList describe(const MailActions &actions)
{
    static const char *const icons[] = {"none", "information", "exclamation", "critical"};
    QStringList lines;
    for (const MailAction &a : actions) {
        switch (a.kind) {
        case MailAction::Kind::Send:
            lines << QStringLiteral("send ") + QString::fromLatin1(a.bytes);
            break;
        case MailAction::Kind::Close:
            lines << QStringLiteral("close");
            break;
        case MailAction::Kind::Notify:
            lines << QStringLiteral("notify [%1|%2] %3")
                         .arg(a.notice.title, QLatin1String(icons[int(a.notice.icon)]), a.notice.text);
            break;
        case MailAction::Kind::List:
            lines << QStringLiteral("list ") + a.keys.join(QLatin1Char(' '));
            break;
        case MailAction::Kind::Finished:
            lines << (a.ok ? QStringLiteral("finished ok") : QStringLiteral("finished failed"));
            break;
        }
    }
    return lines;
}
