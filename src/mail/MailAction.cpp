#include "mail/MailAction.h"

MailAction MailAction::send(const QByteArray &bytes)
{
    MailAction a;
    a.kind = Kind::Send;
    a.bytes = bytes;
    return a;
}

MailAction MailAction::close()
{
    MailAction a;
    a.kind = Kind::Close;
    return a;
}

MailAction MailAction::notify(const MailNotice &notice)
{
    MailAction a;
    a.kind = Kind::Notify;
    a.notice = notice;
    return a;
}

MailAction MailAction::list(const QStringList &keys)
{
    MailAction a;
    a.kind = Kind::List;
    a.keys = keys;
    return a;
}

MailAction MailAction::finished(bool ok)
{
    MailAction a;
    a.kind = Kind::Finished;
    a.ok = ok;
    return a;
}
