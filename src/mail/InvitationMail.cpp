#include "mail/InvitationMail.h"

#include "kit/AppFolder.h"
#include "kit/Clock.h"
#include "kit/ConnectionSettings.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"
#include "mail/AddressCompletion.h"
#include "mail/HostPort.h"
#include "mail/MailCompose.h"
#include "mail/MailConnection.h"
#include "mail/MailNoticeBox.h"
#include "mail/MailPassword.h"
#include "mail/MailTexts.h"
#include "mail/OAuthConversation.h"
#include "store/StoreError.h"

InvitationMail::InvitationMail(QWidget* screen, QObject* parent)
    : QObject(parent)
    , m_screen(screen)
{
    m_link = new MailConnection(m_session, connectionSettings(), this);
    m_link->setObjectName(QStringLiteral("invitationLink"));
    // The answer's own line says it went; a failure still has its box.
    connect(m_link, &MailConnection::notice, this, [](const MailNotice& notice) {
        if (notice.text != MailTexts::kMessageSent)
            showMailNotice(notice);
    });
    connect(m_link, &MailConnection::finished, this, [this](bool ok) {
        if (!m_oauth)
            finished(ok);
    });
}

InvitationMail::~InvitationMail()
{
    m_link->drop();
}

void InvitationMail::send(SmtpMessage message, const MailSettings& settings)
{
    const HostPort server = splitHostPort(settings.smtp, kSmtpPort);
    message.sender = settings.yourEmail;
    message.date = Clock::now();
    message.host = server.host;
    message.tls = smtpTlsMode(server.port);
    message.userName = settings.userName;
    message.password = settings.password;
    m_waiting.append({message, settings});
    if (!m_busy)
        next();
}

void InvitationMail::next()
{
    if (m_waiting.isEmpty())
        return;
    m_busy = true;
    const SmtpMessage message = m_waiting.first().first;
    m_settings = m_waiting.takeFirst().second;
    const HostPort server = splitHostPort(m_settings.smtp, kSmtpPort);
    if (m_settings.signIn == SignInKind::OAuth2) {
        if (!m_oauth) {
            if (!m_con.isOpen())
                m_con.Open(AppFolder::databaseFile());
            m_oauth = new OAuthConversation(accountSignIn(m_con, m_settings), m_session, *m_link, this);
            connect(m_oauth, &OAuthConversation::finished, this, &InvitationMail::finished);
            connect(m_oauth, &OAuthConversation::signInFailed, this,
                    [](const QString& said) { MsgBox(said, MsgButtons::OKOnly, MsgIcon::Exclamation); });
        }
        m_oauth->run([this, message, server](const QString& token) {
            SmtpMessage signedIn = message;
            signedIn.password = token;
            m_session.start(signedIn);
            m_link->open(server.host, server.port, signedIn.tls);
        });
        return;
    }
    // A login never goes out with an empty password; none given, nothing goes and the next waits.
    if (!message.userName.isEmpty() && message.password.isEmpty() && m_screen) {
        if (!m_con.isOpen() && !storeGuard([&] { m_con.Open(AppFolder::databaseFile()); })) {
            finished(false);
            return;
        }
        withMailPassword(m_screen, m_con, m_settings, server.host, [this, message](const QString& password) {
            SmtpMessage withPassword = message;
            withPassword.password = password;
            m_session.start(withPassword);
            const HostPort at = splitHostPort(m_settings.smtp, kSmtpPort);
            m_link->open(at.host, at.port, withPassword.tls);
        });
        return;
    }
    m_session.start(message);
    m_link->open(server.host, server.port, message.tls);
}

void InvitationMail::finished(bool ok)
{
    m_busy = false;
    emit sent(ok);
    next();
}

namespace {
std::optional<MailSettings> accountSettings(const std::function<void(const StoreError&)>& report)
{
    std::optional<MailSettings> out;
    try {
        Connection con;
        con.Open(AppFolder::databaseFile());
        out = readMailSettings(con, report);
    } catch (const StoreError& e) {
        report(e);
    }
    return out;
}
}  // namespace

Invitation::Mailer invitationMailer(QWidget* screen)
{
    auto* mail = new InvitationMail(screen, screen);
    const auto complete = [](const QString& typed) {
        QStringList out;
        try {
            Connection con;
            con.Open(AppFolder::databaseFile());
            for (const AddressCompletion::Match& m : AddressCompletion::matching(con, typed))
                out << m.address;
        } catch (const StoreError&) {
            // No completion; the address is typed whole.
        }
        return out;
    };
    const auto own = [] {
        const std::optional<MailSettings> s = accountSettings([](const StoreError&) {});
        return s ? bareAddress(s->yourEmail) : QString();
    };
    const auto send = [mail = QPointer<InvitationMail>(mail)](const Invitation::Outgoing& o) {
        const std::optional<MailSettings> s = accountSettings(reportStoreError);
        if (!s || !mail)
            return;
        SmtpMessage message;
        message.recipients = o.recipients.join(QLatin1String(", "));
        message.subject = o.subject;
        message.text = o.text;
        message.calendar = o.calendar;
        message.calendarMethod = o.method;
        mail->send(message, *s);
    };
    return {complete, own, send};
}
