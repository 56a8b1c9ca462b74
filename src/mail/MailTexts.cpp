#include "mail/MailTexts.h"

#include "kit/AppInfo.h"

#include <QStringDecoder>

namespace MailTexts {

MailNotice smtpError(const QString& reply)
{
    return {QStringLiteral("SMTP Error: ") + reply, kSmtpErrorTitle, MailIcon::Information};
}

MailNotice smtpClosedEarly()
{
    return smtpError(kSmtpClosedEarly);
}

MailNotice messageSent()
{
    return {kMessageSent, AppInfo::kTitle, MailIcon::Information};
}

MailNotice sendSocketError(int number, const QString& description)
{
    return {QStringLiteral("Winsock Error number ") + QString::number(number) + QStringLiteral("\r\n") + description,
            kWinsockErrorTitle, MailIcon::Exclamation};
}

MailNotice attachmentUnreadable(const QString& path, const QString& reason)
{
    return {QStringLiteral("The file ") + path + QStringLiteral(" cannot be attached: ") + reason, AppInfo::kTitle,
            MailIcon::Exclamation};
}

MailNotice pop3Error(const QString& reply)
{
    return {QStringLiteral("POP3 Error: ") + reply, kPop3ErrorTitle, MailIcon::Exclamation};
}

MailNotice pop3ClosedEarly()
{
    return pop3Error(kPop3ClosedEarly);
}

MailNotice noMail()
{
    return {kNoMail, AppInfo::kTitle, MailIcon::Information};
}

MailNotice checkSocketError(int number, const QString& description)
{
    return {QStringLiteral("Winsock Error: #") + QString::number(number) + QStringLiteral("\r\n") + description,
            AppInfo::kTitle, MailIcon::None};
}

MailNotice cantBeEmpty(const QString& controlName)
{
    return {controlName + QStringLiteral(" can't be empty"), AppInfo::kTitle, MailIcon::Critical};
}

MailNotice lineBreakInLogin()
{
    return {QStringLiteral("The user name or the password contains a line break, which cannot be sent to "
                           "the server. Please correct it in the e-mail settings."),
            AppInfo::kTitle, MailIcon::Critical};
}

QString noStartTls(const QString& host)
{
    return QStringLiteral("The server %1 offers no secure connection (STARTTLS), which this port "
                          "requires. Nothing was sent.")
        .arg(host);
}

QString noOAuth(const QString& host)
{
    return QStringLiteral("The server %1 offers no OAuth2 sign-in (OAUTHBEARER or XOAUTH2), and this account signs in "
                          "with nothing else. Nothing was sent.")
        .arg(host);
}

QString noStls(const QString& host)
{
    return QStringLiteral("The server %1 offers no secure connection (STLS). Nothing was sent.").arg(host);
}

QString secureConnectionFailed(const QString& host, const QString& reason)
{
    return QStringLiteral("The secure connection to %1 failed: %2 Nothing was sent.").arg(host, reason);
}

QString noConnection(const QString& host, int seconds)
{
    return QStringLiteral("No connection to %1 within %2 seconds.").arg(host).arg(seconds);
}

QString noAnswer(const QString& host, int seconds, const QString& waitingFor)
{
    return QStringLiteral("No answer from %1 within %2 seconds while waiting for %3.")
        .arg(host)
        .arg(seconds)
        .arg(waitingFor);
}

QString decodeWireText(const QByteArray& bytes)
{
    // A leading byte-order mark is message text too: keep it.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

}  // namespace MailTexts
