#pragma once

#include "mail/MailAction.h"
#include "mail/MailSession.h"
#include "support/Files.h"
#include "support/Fixture.h"

#include <QStringList>
#include <QTest>

// How far this process's peak memory rose, in kB, above what it held
// when `work` began (far too much when the peak cannot be started again).
template <class Work>
qint64 peakGrowth(Work&& work)
{
    const auto kb = [](const char* field) {
        const QByteArray status = readFile(QStringLiteral("/proc/self/status"));
        return status.mid(status.indexOf(field) + 6).trimmed().split(' ').value(0).toLongLong();
    };
    const qint64 before = writeFile(QStringLiteral("/proc/self/clear_refs"), "5") ? kb("VmRSS:") : -(1 << 30);
    work();
    return kb("VmHWM:") - before;
}

// What a bounded piece of work may add to the peak, in kB: a few MB. The
// address sanitizer keeps freed blocks in quarantine before reusing them.
#ifdef __SANITIZE_ADDRESS__
inline constexpr qint64 kBoundedGrowthKb = 12 * 1024;
#else
inline constexpr qint64 kBoundedGrowthKb = 8 * 1024;
#endif

// Actions as one line, so a step of a conversation is compared at once and
// a mismatch prints what differs. The message itself shows as "message".
inline QString describe(const MailActions& actions)
{
    static const char* const icons[] = {"None", "Information", "Exclamation", "Critical"};
    QStringList lines;
    for (const MailAction& a : actions) {
        switch (a.kind) {
        case MailAction::Kind::Send:
            lines << (a.tracked ? QStringLiteral("message") : QString::fromUtf8(a.bytes));
            break;
        case MailAction::Kind::StartTls:
            lines << QStringLiteral("starttls");
            break;
        case MailAction::Kind::Close:
            lines << QStringLiteral("close");
            break;
        case MailAction::Kind::Notify:
            lines << QStringLiteral("%1|%2|%3")
                         .arg(QLatin1String(icons[int(a.notice.icon)]), a.notice.title, a.notice.text);
            break;
        case MailAction::Kind::List:
            lines << QStringLiteral("list ") + a.keys.join(QLatin1Char(' '));
            break;
        case MailAction::Kind::Progress:
            lines << QStringLiteral("%1 of %2").arg(a.current).arg(a.total);
            break;
        case MailAction::Kind::Finished:
            lines << (a.ok ? QStringLiteral("ok") : QStringLiteral("failed"));
            break;
        case MailAction::Kind::Changed:
            lines << QStringLiteral("changed");
            break;
        }
    }
    return lines.join(QLatin1String(" | "));
}

// The socket errors of a conversation's steps: "<hang-up>" and "<fault>".
inline MailActions socketEvent(MailSession& s, const QString& in)
{
    return in == "<hang-up>" ? s.socketError(QAbstractSocket::RemoteHostClosedError, QStringLiteral("gone"))
                             : s.socketError(QAbstractSocket::HostNotFoundError, QStringLiteral("no host"));
}

// Plays a conversation on a started session, step by step: "what the server
// says => what the session does", where "<tls>", "<close>", "<timeout>",
// "<hang-up>" and "<fault>" stand for those events.
template <class Session>
void converse(Session& s, const QStringList& steps)
{
    for (const QString& step : steps) {
        const QString in = step.section(QStringLiteral(" => "), 0, 0);
        const MailActions got = in == "<tls>"                          ? s.tlsReady()
                                : in == "<close>"                      ? s.closed()
                                : in == "<timeout>"                    ? s.timedOut(QStringLiteral("T"))
                                : in == "<hang-up>" || in == "<fault>" ? socketEvent(s, in)
                                                                       : s.feed(in.toLatin1());
        QCOMPARE(describe(got), step.section(QStringLiteral(" => "), 1));
    }
}

// All of a Send's data, as the connection writes it.
inline QByteArray drain(MailData& data)
{
    QByteArray all;
    for (QByteArray slice; !(slice = data.next()).isEmpty();)
        all += slice;
    return all;
}

// One row of e-mail settings, written straight into the file.
inline void storeMailSettings(const QString& dbPath, const QStringList& values)
{
    QStringList quoted;
    for (QString v : values)
        quoted << QLatin1Char('\'') + v.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
    Db::exec(dbPath, QStringLiteral("INSERT INTO tblEmail (SMTP, YourEmail, Remote, UserName, Password) VALUES (%1)")
                         .arg(quoted.join(QStringLiteral(", "))));
}
