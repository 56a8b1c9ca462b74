#include "mail/MailTexts.h"

#include "kit/AppInfo.h"

#include <QStringDecoder>

namespace MailTexts {

MailNotice smtpError(const QString &reply)
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

MailNotice sendSocketError(int number, const QString &description)
{
    return {QStringLiteral("Winsock Error number ") + QString::number(number)
                + QStringLiteral("\r\n") + description,
            kWinsockErrorTitle, MailIcon::Exclamation};
}

MailNotice attachmentUnreadable(const QString &path, const QString &reason)
{
    return {QStringLiteral("The file ") + path + QStringLiteral(" cannot be attached: ") + reason,
            AppInfo::kTitle, MailIcon::Exclamation};
}

MailNotice pop3Error(const QString &reply)
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

MailNotice checkSocketError(int number, const QString &description)
{
    return {QStringLiteral("Winsock Error: #") + QString::number(number)
                + QStringLiteral("\r\n") + description,
            AppInfo::kTitle, MailIcon::None};
}

MailNotice cantBeEmpty(const QString &controlName)
{
    return {controlName + QStringLiteral(" can't be empty"), AppInfo::kTitle, MailIcon::Critical};
}

QString decodeWireText(const QByteArray &bytes)
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
