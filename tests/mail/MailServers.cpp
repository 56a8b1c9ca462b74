#include "MailServers.h"
#include "support/Files.h"
#include "support/Run.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <pwd.h>
#include <unistd.h>

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kDovecot = QStringLiteral("/usr/sbin/dovecot");
const QString kDovecotImap = QStringLiteral("/usr/lib/dovecot/imap");

// Stores each message as NNNN.eml: "HELO", "FROM" and "TO" lines, an empty
// line, then the data as it arrived; each login tried is a line of "logins".
const char kServer[] = R"PY(import os, ssl, sys, threading
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult
folder, host, port, mode, cert, key = sys.argv[1:7]
class Store:
    count = 0
    async def handle_DATA(self, server, session, env):
        if mode == 'refuse':
            return '554 5.6.0 Refused'
        Store.count += 1
        head = ['HELO ' + session.host_name, 'FROM ' + env.mail_from] + ['TO ' + r for r in env.rcpt_tos]
        with open(os.path.join(folder, 'tmp'), 'wb') as f:
            f.write('\n'.join(head).encode() + b'\n\n' + env.original_content)
        os.rename(os.path.join(folder, 'tmp'), os.path.join(folder, '%04d.eml' % Store.count))
        return '250 2.0.0 Ok: stored'
def login(server, session, env, mechanism, data):
    print(mechanism, data.login.decode(), file=open(os.path.join(folder, 'logins'), 'a'))
    return AuthResult(success=(data.login, data.password) == (b'anna', b'pass word'))
kw = dict(data_size_limit=64 * 2**20)
if mode not in ('plain', 'refuse'):
    ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    ctx.load_cert_chain(cert, key)
    kw.update(auth_required=True, authenticator=login, auth_require_tls=mode == 'starttls')
    kw.update(tls_context=ctx, require_starttls=True) if mode == 'starttls' else kw.update(ssl_context=ctx)
Controller(Store(), hostname=host, port=int(port), **kw).start()
threading.Event().wait()
)PY";

const char kCertificates[] = R"SH(set -e
ca() { openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout $1.key -out $1.pem -days 2 -subj /CN=$1; }
mk() { openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout $1.key -out $1.csr -subj /CN=$1
  printf "subjectAltName=$3" > $1.ext
  openssl x509 -req -in $1.csr -CA $2.pem -CAkey $2.key -CAcreateserial -days 2 -out $1.pem -extfile $1.ext; }
ca ca; ca stranger; mk good ca IP:127.0.0.1,IP:127.0.0.2,IP:$0; mk wrongname ca DNS:other.example
mk unknownca stranger IP:127.0.0.1,IP:127.0.0.2,IP:$0; mk names ca DNS:autoconfig.example.test,DNS:example.test)SH";

bool fail(QString* why, const QString& text)
{
    *why = text;
    return false;
}

// Up to 15 s until `port` accepts connections, while `process` (if any) runs.
bool waitUntilListening(const QString& host, quint16 port, const QProcess* process = nullptr)
{
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired() && (!process || process->state() != QProcess::NotRunning)) {
        QTcpSocket probe;
        probe.connectToHost(host, port);
        if (probe.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    return false;
}

// Dovecot's mail processes run as its own user and must own the maildir.
bool handToDovecot(const QString& path)
{
    const passwd* owner = getpwnam("dovecot");
    return owner && ::chown(QFile::encodeName(path).constData(), owner->pw_uid, owner->pw_gid) == 0;
}

}  // namespace

quint16 freeLoopbackPort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

bool otherImapReader(quint16 port, const QString& script)
{
    const QString program = QStringLiteral("import imaplib\nm = imaplib.IMAP4('127.0.0.1', %1)\n"
                                           "m.login('anna', 'pass word')\n%2\nm.logout()\n")
                                .arg(port)
                                .arg(script);
    return QProcess::execute(QStringLiteral("python3"), {QStringLiteral("-c"), program}) == 0;
}

QString ownLoopbackAddress()
{
    // The program chooses TLS by the port (465, 587, 995), so those tests need
    // the real numbers; every 127.x.y.z is this machine on Linux, so each test
    // process takes an address of its own where the three are free, and runs
    // next to others without sharing a port.
    static const QString address = [] {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const quint32 r = QRandomGenerator::global()->bounded(1u << 24);
            const QHostAddress candidate((127u << 24) | (r | 0x10000u));  // never 127.0.x.y
            bool free = true;
            for (const quint16 port : {465, 587, 995}) {
                QTcpServer probe;
                free = free && probe.listen(candidate, port);
            }
            if (free)
                return candidate.toString();
        }
        return QString();
    }();
    return address;
}

bool TestCertificates::make(QString* why)
{
    QString said;
    return run(QStringLiteral("sh"), {QStringLiteral("-c"), QString::fromLatin1(kCertificates), ownLoopbackAddress()},
               &said, 60000, m_dir.path())
               == 0
           || fail(why, QStringLiteral("openssl made no certificates: ") + said);
}

SmtpTestServer::~SmtpTestServer()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString SmtpTestServer::missing()
{
    if (run(kPython, {QStringLiteral("-c"), QStringLiteral("import aiosmtpd")}, nullptr, 20000) != 0)
        return QStringLiteral("aiosmtpd is not installed for ") + kPython + QStringLiteral(" (python3-aiosmtpd)");
    return {};
}

bool SmtpTestServer::start(QString* why, const QString& mode, const TestCertificates* certs, const QString& certName,
                           quint16 port)
{
    const QString script = m_dir.filePath(QStringLiteral("server.py"));
    if (!writeFile(script, kServer))
        return fail(why, QStringLiteral("cannot write ") + script);
    m_host = port ? ownLoopbackAddress() : QStringLiteral("127.0.0.1");
    m_port = port ? port : freeLoopbackPort();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(kPython, {script, m_dir.path(), m_host, QString::number(m_port), mode,
                              certs ? certs->pem(certName) : QString(), certs ? certs->key(certName) : QString()});
    return waitUntilListening(m_host, m_port, &m_process)
           || fail(why, QStringLiteral("aiosmtpd did not listen: ") + QString::fromLocal8Bit(m_process.readAll()));
}

QByteArrayList SmtpTestServer::logins() const
{
    const QByteArray text = readFile(m_dir.filePath(QStringLiteral("logins"))).trimmed();
    return text.isEmpty() ? QByteArrayList() : text.split('\n');
}

QList<SmtpTestServer::Received> SmtpTestServer::waitForMessages(int count, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    const QDir folder(m_dir.path());
    QFileInfoList files;
    while ((files = folder.entryInfoList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name)).size() < count
           && !deadline.hasExpired())
        QThread::msleep(50);
    QList<Received> out;
    for (const QFileInfo& file : files) {
        const QByteArray text = readFile(file.filePath());
        const qsizetype split = text.indexOf("\n\n");
        Received r{{}, {}, {}, text.mid(split + 2)};
        for (const QByteArray& line : text.left(split).split('\n')) {
            if (line.startsWith("HELO "))
                r.helo = line.mid(5);
            else if (line.startsWith("FROM "))
                r.mailFrom = line.mid(5);
            else
                r.rcptTos << line.mid(3);
        }
        out << r;
    }
    return out;
}

Pop3TestServer::Pop3TestServer(const QString& user, const QString& password)
    : m_user(user)
    , m_password(password)
{
}

Pop3TestServer::~Pop3TestServer()
{
    if (!m_running)
        return;
    QProcess::execute(kDovecot, {QStringLiteral("-c"), path(QStringLiteral("dovecot.conf")), QStringLiteral("stop")});
    // The folder goes away with this object: wait until dovecot has let go of it.
    const QDeadlineTimer deadline(10000);
    while (QFileInfo::exists(path(QStringLiteral("run/master.pid"))) && !deadline.hasExpired())
        QThread::msleep(50);
}

QString Pop3TestServer::missing()
{
    if (!QFileInfo::exists(kDovecot) || !getpwnam("dovecot") || !getpwnam("dovenull"))
        return QStringLiteral("dovecot is not installed (dovecot-pop3d)");
    return {};
}

bool Pop3TestServer::prepareMaildir(QString* why)
{
    if (m_prepared)
        return true;
    // The login and mail processes run as other users and must reach the folder.
    QFile::setPermissions(m_dir.path(),
                          QFile::permissions(m_dir.path()) | QFileDevice::ExeOther | QFileDevice::ReadOther);
    const QString maildir = QStringLiteral("home/%1/Maildir/").arg(m_user);
    for (const QString& sub :
         {QStringLiteral("home"), QStringLiteral("home/") + m_user, maildir, maildir + QStringLiteral("new"),
          maildir + QStringLiteral("cur"), maildir + QStringLiteral("tmp")}) {
        if (!QDir(m_dir.path()).mkpath(sub) || !handToDovecot(path(sub)))
            return fail(why, QStringLiteral("cannot hand the maildir to the dovecot user (needs root)"));
    }
    return m_prepared = true;
}

bool Pop3TestServer::addMessage(const QByteArray& text, QString* why)
{
    QString ignored;
    why = why ? why : &ignored;
    if (!prepareMaildir(why))
        return false;
    // Dovecot numbers new mail in the order of the file names.
    ++m_added;
    const QString name = QStringLiteral("%1.M%2P1.tessaly").arg(1000000000 + m_added).arg(m_added);
    const QString maildir = path(QStringLiteral("home/%1/Maildir/").arg(m_user));
    return (writeFile(maildir + QStringLiteral("tmp/") + name, text)
            && handToDovecot(maildir + QStringLiteral("tmp/") + name)
            && QFile::rename(maildir + QStringLiteral("tmp/") + name, maildir + QStringLiteral("new/") + name))
           || fail(why, QStringLiteral("cannot hand ") + name + QStringLiteral(" to dovecot"));
}

bool Pop3TestServer::dropMessage(int n)
{
    for (const char* sub : {"new", "cur"}) {
        QDir dir(path(QStringLiteral("home/%1/Maildir/").arg(m_user) + QLatin1String(sub)));
        for (const QString& name : dir.entryList({QStringLiteral("%1.*").arg(1000000000 + n)}, QDir::Files))
            return dir.remove(name);
    }
    return false;
}

bool Pop3TestServer::start(QString* why, const TestCertificates* certs)
{
    if (!prepareMaildir(why)
        || !writeFile(path(QStringLiteral("passwd")), m_user.toUtf8() + ":{PLAIN}" + m_password.toUtf8() + "\n"))
        return false;
    m_port = freeLoopbackPort();
    m_tlsPort = certs ? 995 : 0;
    m_host = ownLoopbackAddress();
    const QString ssl = certs ? QStringLiteral("ssl = required\nssl_cert = <%1\nssl_key = <%2\n")
                                    .arg(certs->pem(QStringLiteral("good")), certs->key(QStringLiteral("good")))
                              : QStringLiteral("ssl = no\ndisable_plaintext_auth = no\n");
    // IMAP on a port of its own, where dovecot has it.
    m_imapPort = QFileInfo::exists(kDovecotImap) ? freeLoopbackPort() : 0;
    const QString imap =
        m_imapPort ? QStringLiteral("protocols = $protocols imap\nservice imap-login {\n  inet_listener imap {\n"
                                    "    port = %1\n  }\n  inet_listener imaps {\n    port = 0\n  }\n}\n")
                             .arg(m_imapPort)
                         + (m_imapCapability.isEmpty() ? QString()
                                                       : QStringLiteral("imap_capability = %1\n").arg(m_imapCapability))
                   : QString();
    const QString config =
        ssl
        + QStringLiteral("protocols = pop3\nlisten = 127.0.0.1, %5\nbase_dir = %1/run\nstate_dir = %1/state\n"
                         "log_path = %1/dovecot.log\nauth_failure_delay = 0\nfirst_valid_uid = %2\n"
                         "default_login_user = dovenull\ndefault_internal_user = dovecot\n"
                         "%6"
                         "userdb {\n  driver = static\n  args = uid=dovecot gid=dovecot home=%1/home/%u\n}\n"
                         "mail_location = maildir:%1/home/%u/Maildir\n"
                         "service pop3-login {\n  inet_listener pop3 {\n    port = %3\n  }\n%4}\n")
              .arg(m_dir.path())
              .arg(getpwnam("dovecot")->pw_uid)
              .arg(m_port)
              .arg(certs ? QStringLiteral(
                               "  inet_listener pop3s {\n    address = %1\n    port = 995\n    ssl = yes\n  }\n")
                               .arg(m_host)
                         : QString())
              .arg(m_host)
              .arg(m_passdb.isEmpty()
                       ? QStringLiteral("passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u "
                                        "%1/passwd\n}\n")
                             .arg(m_dir.path())
                       : m_passdb)
        + imap + m_extraConfig;
    if (!writeFile(path(QStringLiteral("dovecot.conf")), config.toUtf8()))
        return fail(why, QStringLiteral("cannot write the dovecot configuration"));
    QString said;
    m_running = run(kDovecot, {QStringLiteral("-c"), path(QStringLiteral("dovecot.conf"))}, &said, 15000) == 0;
    return (m_running && waitUntilListening(QStringLiteral("127.0.0.1"), m_port))
           || fail(why, QStringLiteral("dovecot did not start: ") + said
                            + QString::fromLocal8Bit(readFile(path(QStringLiteral("dovecot.log")))));
}

void Pop3TestServer::checkTokensAt(const QString& introspectionUrl, const QString& mechanisms, const QString& scope)
{
    const QString args = path(QStringLiteral("oauth2.conf"));
    writeFile(args, QStringLiteral("introspection_mode = post\nintrospection_url = %1\nusername_attribute = username\n"
                                   "active_attribute = active\nactive_value = true\nscope = %2\n")
                        .arg(introspectionUrl, scope)
                        .toUtf8());
    m_passdb = QStringLiteral("auth_mechanisms = %1\npassdb {\n  driver = oauth2\n  mechanisms = %1\n  args = %2\n}\n")
                   .arg(mechanisms, args);
}

OAuthTestServer::~OAuthTestServer()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString OAuthTestServer::missing()
{
    if (run(kPython, {QStringLiteral("-c"), QStringLiteral("import authlib, flask, radicale")}, nullptr, 20000) != 0)
        return QStringLiteral("Authlib, Flask or Radicale is not installed for ") + kPython
               + QStringLiteral(" (python3-authlib, python3-flask, radicale)");
    return {};
}

bool OAuthTestServer::start(QString* why)
{
    m_port = freeLoopbackPort();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(kPython,
                    {qEnvironmentVariable("TESSALY_SOURCE_DIR") + QStringLiteral("/tests/support/oauth_server.py"),
                     QString::number(m_port), m_dir.path()});
    return waitUntilListening(QStringLiteral("127.0.0.1"), m_port, &m_process)
           || fail(why,
                   QStringLiteral("the OAuth2 server did not listen: ") + QString::fromLocal8Bit(m_process.readAll()));
}

bool OAuthTestServer::steer(const QString& what, const QString& form) const
{
    const QString post = QStringLiteral("import sys, urllib.request\n"
                                        "urllib.request.urlopen(sys.argv[1], sys.argv[2].encode(), timeout=10)");
    return run(kPython, {QStringLiteral("-c"), post, url(QStringLiteral("/test/") + what), form}, nullptr, 20000) == 0;
}

QByteArrayList OAuthTestServer::grants() const
{
    const QByteArray text = readFile(m_dir.filePath(QStringLiteral("grants"))).trimmed();
    return text.isEmpty() ? QByteArrayList() : text.split('\n');
}
