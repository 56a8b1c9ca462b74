#include "mail/HostPort.h"

namespace {

// 1 to 65535 written in decimal digits only; 0 when it is anything else.
quint16 portNumber(QStringView text)
{
    if (text.isEmpty() || text.size() > 5)
        return 0;
    uint value = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        value = value * 10 + uint(c.unicode() - '0');
    }
    return value <= 65535 ? quint16(value) : 0;
}

}  // namespace

HostPort splitHostPort(const QString& box, quint16 defaultPort)
{
    const QString text = box.trimmed();

    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close > 0) {
            const QString inside = text.mid(1, close - 1);
            const QStringView rest = QStringView(text).mid(close + 1);
            if (rest.isEmpty())
                return {inside, defaultPort};
            if (rest.front() == QLatin1Char(':')) {
                if (const quint16 port = portNumber(rest.mid(1)))
                    return {inside, port};
            }
        }
        return {text, defaultPort};
    }

    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0 || colon != text.lastIndexOf(QLatin1Char(':')))
        return {text, defaultPort};
    if (const quint16 port = portNumber(QStringView(text).mid(colon + 1)))
        return {text.left(colon), port};
    return {text, defaultPort};
}

TlsMode smtpTlsMode(quint16 port)
{
    if (port == 465)
        return TlsMode::Implicit;
    return port == 587 ? TlsMode::Required : TlsMode::Offered;
}

TlsMode pop3TlsMode(quint16 port)
{
    return port == 995 ? TlsMode::Implicit : TlsMode::Offered;
}

TlsMode imapTlsMode(quint16 port)
{
    return port == kImapPort ? TlsMode::Implicit : TlsMode::Offered;
}
