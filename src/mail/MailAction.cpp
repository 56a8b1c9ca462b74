#include "mail/MailAction.h"

MailAction MailAction::send(const QByteArray& bytes, bool tracked)
{
    MailAction a;
    a.kind = Kind::Send;
    a.bytes = bytes;
    a.tracked = tracked;
    return a;
}

MailAction MailAction::send(std::shared_ptr<MailData> data)
{
    MailAction a;
    a.kind = Kind::Send;
    a.data = std::move(data);
    a.tracked = true;
    return a;
}

MailAction MailAction::startTls()
{
    MailAction a;
    a.kind = Kind::StartTls;
    return a;
}

MailAction MailAction::progress(int current, int total)
{
    MailAction a;
    a.kind = Kind::Progress;
    a.current = current;
    a.total = total;
    return a;
}

MailAction MailAction::close()
{
    MailAction a;
    a.kind = Kind::Close;
    return a;
}

MailAction MailAction::notify(const MailNotice& notice)
{
    MailAction a;
    a.kind = Kind::Notify;
    a.notice = notice;
    return a;
}

MailAction MailAction::list(const QStringList& keys)
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

MailAction MailAction::changed()
{
    MailAction a;
    a.kind = Kind::Changed;
    return a;
}
