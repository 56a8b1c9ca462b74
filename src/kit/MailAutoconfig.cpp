#include "kit/MailAutoconfig.h"

#include <QXmlStreamReader>

namespace {

using SignIn = FoundSettings::SignIn;

struct Provider {
    const char* domains;  // separated by blanks
    FoundServer in;
    FoundServer out;
    SignIn signIn;
};

// IMAP with TLS from the first byte everywhere; the user name is the address.
const QList<Provider>& providers()
{
    static const QList<Provider> list = {
        {"gmail.com googlemail.com", {"imap.gmail.com", 993}, {"smtp.gmail.com", 465}, SignIn::OAuth2},
        {"outlook.com hotmail.com live.com msn.com",
         {"outlook.office365.com", 993},
         {"smtp-mail.outlook.com", 587, FoundTls::StartTls},
         SignIn::OAuth2},
        {"yahoo.com", {"imap.mail.yahoo.com", 993}, {"smtp.mail.yahoo.com", 465}, SignIn::Password},
        {"icloud.com me.com mac.com",
         {"imap.mail.me.com", 993},
         {"smtp.mail.me.com", 587, FoundTls::StartTls},
         SignIn::Password},
        {"gmx.net gmx.de gmx.at gmx.ch",
         {"imap.gmx.net", 993},
         {"mail.gmx.net", 587, FoundTls::StartTls},
         SignIn::Password},
        {"gmx.com", {"imap.gmx.com", 993}, {"mail.gmx.com", 587, FoundTls::StartTls}, SignIn::Password},
        {"fastmail.com fastmail.fm", {"imap.fastmail.com", 993}, {"smtp.fastmail.com", 465}, SignIn::Password},
    };
    return list;
}

// One server element of the document, as read.
struct Candidate {
    QString type;  // imap, pop3, smtp
    QString host;
    quint16 port = 0;
    std::optional<FoundTls> tls;
    std::optional<SignIn> signIn;  // the first kind named that this program knows
    bool namedSignIn = false;      // any authentication element at all
    QString userName;
};

quint16 portOf(const QString& text)
{
    bool ok = false;
    const uint port = text.toUInt(&ok);
    return ok && port > 0 && port <= 65535 ? quint16(port) : 0;
}

std::optional<FoundTls> tlsOf(const QString& socketType)
{
    if (socketType == QLatin1String("SSL"))
        return FoundTls::Tls;
    if (socketType == QLatin1String("STARTTLS"))
        return FoundTls::StartTls;
    if (socketType == QLatin1String("plain"))
        return FoundTls::None;
    return std::nullopt;
}

std::optional<SignIn> signInOf(const QString& authentication)
{
    if (authentication == QLatin1String("password-cleartext") || authentication == QLatin1String("plain"))
        return SignIn::Password;
    if (authentication == QLatin1String("OAuth2"))
        return SignIn::OAuth2;
    return std::nullopt;
}

QString filledIn(QString text, const QString& address)
{
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    text.replace(QLatin1String("%EMAILADDRESS%"), address);
    text.replace(QLatin1String("%EMAILLOCALPART%"), address.left(at));
    text.replace(QLatin1String("%EMAILDOMAIN%"), address.mid(at + 1));
    return text;
}

// Reads the server element the reader stands on, to its end.
Candidate readServer(QXmlStreamReader& xml, const QString& address)
{
    Candidate c;
    c.type = xml.attributes().value(QLatin1String("type")).toString();
    while (xml.readNextStartElement()) {
        const QStringView name = xml.name();
        if (name == QLatin1String("hostname")) {
            c.host = filledIn(xml.readElementText().trimmed(), address).toLower();
        } else if (name == QLatin1String("port")) {
            c.port = portOf(xml.readElementText().trimmed());
        } else if (name == QLatin1String("socketType")) {
            c.tls = tlsOf(xml.readElementText().trimmed());
        } else if (name == QLatin1String("username")) {
            c.userName = filledIn(xml.readElementText().trimmed(), address);
        } else if (name == QLatin1String("authentication")) {
            const std::optional<SignIn> kind = signInOf(xml.readElementText().trimmed());
            if (!c.signIn)
                c.signIn = kind;
            c.namedSignIn = true;
        } else {
            xml.skipCurrentElement();
        }
    }
    return c;
}

bool usable(const Candidate& c)
{
    // No authentication element means the password, as the format's readers take it.
    return isHostName(c.host) && c.port != 0 && c.tls && (c.signIn || !c.namedSignIn);
}

// The first of `types` using TLS, else the first at all.
const Candidate* chosen(const QList<Candidate>& servers, const QStringList& types)
{
    const Candidate* first = nullptr;
    for (const Candidate& c : servers) {
        if (!types.contains(c.type) || !usable(c))
            continue;
        if (*c.tls != FoundTls::None)
            return &c;
        if (!first)
            first = &c;
    }
    return first;
}

QString tlsText(FoundTls tls)
{
    switch (tls) {
    case FoundTls::Tls:
        return QStringLiteral("TLS");
    case FoundTls::StartTls:
        return QStringLiteral("STARTTLS");
    case FoundTls::None:
        break;
    }
    return QStringLiteral("no encryption");
}

}  // namespace

QString addressDomain(const QString& address)
{
    const QString text = address.trimmed();
    const qsizetype at = text.lastIndexOf(QLatin1Char('@'));
    const QString domain = text.mid(at + 1).toLower();
    return at > 0 && domain.contains(QLatin1Char('.')) && isHostName(domain) ? domain : QString();
}

bool isHostName(const QString& text)
{
    if (text.isEmpty() || text.size() > 253 || text.startsWith(QLatin1Char('.')) || text.startsWith(QLatin1Char('-')))
        return false;
    for (const QChar c : text) {
        const bool allowed =
            (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.') || c == QLatin1Char('-');
        if (!allowed)
            return false;
    }
    return true;
}

std::optional<FoundSettings> builtInSettings(const QString& address)
{
    const QString domain = addressDomain(address);
    for (const Provider& p : providers()) {
        if (!QString::fromLatin1(p.domains).split(QLatin1Char(' ')).contains(domain))
            continue;
        FoundSettings found;
        found.in = p.in;
        found.out = p.out;
        found.userName = address.trimmed();
        found.signIn = p.signIn;
        found.source = FoundSettings::Source::BuiltIn;
        return found;
    }
    return std::nullopt;
}

std::optional<FoundSettings> readAutoconfig(const QByteArray& bytes, const QString& address)
{
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("clientConfig"))
        return std::nullopt;
    QList<Candidate> servers;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()
            && (xml.name() == QLatin1String("incomingServer") || xml.name() == QLatin1String("outgoingServer")))
            servers.append(readServer(xml, address.trimmed()));
    }
    if (xml.hasError())
        return std::nullopt;

    const Candidate* in = chosen(servers, {QStringLiteral("imap"), QStringLiteral("pop3")});
    const Candidate* out = chosen(servers, {QStringLiteral("smtp")});
    if (!in && !out)
        return std::nullopt;
    FoundSettings found;
    found.source = FoundSettings::Source::Autoconfig;
    for (const Candidate* c : {out, in}) {  // the incoming server's user name and sign-in count first
        if (!c)
            continue;
        (c == in ? found.in : found.out) = {c->host, c->port, *c->tls};
        found.signIn = c->signIn.value_or(SignIn::Password);
        if (!c->userName.isEmpty())
            found.userName = c->userName;
    }
    if (in && in->type == QLatin1String("pop3"))
        found.incoming = IncomingKind::Pop3;
    if (found.userName.isEmpty())
        found.userName = address.trimmed();
    return found;
}

const QList<SrvService>& srvServices()
{
    static const QList<SrvService> list = {
        {"_imaps._tcp", true, IncomingKind::Imap, FoundTls::Tls},
        {"_imap._tcp", true, IncomingKind::Imap, FoundTls::StartTls},
        {"_pop3s._tcp", true, IncomingKind::Pop3, FoundTls::Tls},
        {"_pop3._tcp", true, IncomingKind::Pop3, FoundTls::StartTls},
        {"_submissions._tcp", false, IncomingKind::Imap, FoundTls::Tls},
        {"_submission._tcp", false, IncomingKind::Imap, FoundTls::StartTls},
    };
    return list;
}

std::optional<FoundSettings> settingsFromSrv(const QList<FoundServer>& firstAnswers, const QString& address)
{
    FoundSettings found;
    found.source = FoundSettings::Source::Dns;
    found.from = addressDomain(address);
    found.userName = address.trimmed();
    for (qsizetype i = 0; i < firstAnswers.size() && i < srvServices().size(); ++i) {
        const SrvService& service = srvServices().at(i);
        const FoundServer& answer = firstAnswers.at(i);
        FoundServer& slot = service.incoming ? found.in : found.out;
        // RFC 2782: a target of "." says the service is not offered here.
        if (!slot.host.isEmpty() || !isHostName(answer.host) || answer.port == 0)
            continue;
        slot = {answer.host.toLower(), answer.port, service.tls};
        if (service.incoming)
            found.incoming = service.kind;
    }
    return found.any() ? std::optional(found) : std::nullopt;
}

QString describeFound(const FoundSettings& found)
{
    QStringList lines;
    const auto server = [](const FoundServer& s) {
        return QStringLiteral("%1 port %2, %3").arg(s.host).arg(s.port).arg(tlsText(s.tls));
    };
    if (!found.in.host.isEmpty())
        lines << QStringLiteral("Incoming (%1): %2")
                     .arg(found.incoming == IncomingKind::Imap ? QStringLiteral("IMAP") : QStringLiteral("POP3"),
                          server(found.in));
    if (!found.out.host.isEmpty())
        lines << QStringLiteral("Outgoing (SMTP): ") + server(found.out);
    lines << QStringLiteral("User name: ") + found.userName;
    lines << QStringLiteral("Sign-in: ")
                 + (found.signIn == SignIn::OAuth2 ? QStringLiteral("OAuth2 (through the provider's web page)")
                                                   : QStringLiteral("password"));
    switch (found.source) {
    case FoundSettings::Source::BuiltIn:
        lines << QStringLiteral("Found in: this program's list of providers");
        break;
    case FoundSettings::Source::Autoconfig:
        lines << QStringLiteral("Found in: the settings the domain publishes at ") + found.from;
        break;
    case FoundSettings::Source::Dns:
        lines << QStringLiteral("Found in: the DNS service records of ") + found.from;
        break;
    }
    return lines.join(QLatin1Char('\n'));
}

QString hostBoxText(const FoundServer& server)
{
    return server.host + QLatin1Char(':') + QString::number(server.port);
}
