#include "MailServers.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kDovecot = QStringLiteral("/usr/sbin/dovecot");

// Stores each message exactly as it arrived (NNNN.eml) and its envelope
// (NNNN.env); the .eml appears only when both are complete.
const char kRawStore[] = R"PY(import os


class RawStore:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    @classmethod
    def from_cli(cls, parser, *args):
        return cls(*args)

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, '%04d' % self.count)
        def b(text):
            return (text or '').encode('utf-8', 'surrogateescape')
        with open(base + '.env', 'wb') as f:
            f.write(b'HELO ' + b(session.host_name) + b'\n')
            f.write(b'FROM ' + b(envelope.mail_from) + b'\n')
            for rcpt in envelope.rcpt_tos:
                f.write(b'TO ' + b(rcpt) + b'\n')
        with open(base + '.tmp', 'wb') as f:
            f.write(envelope.original_content)
        os.rename(base + '.tmp', base + '.eml')
        return '250 2.0.0 Ok: stored'
)PY";

bool writeFile(const QString &path, const QByteArray &bytes, QString *why)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        if (why)
            *why = path + QStringLiteral(": ") + f.errorString();
        return false;
    }
    return true;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool acceptsConnections(quint16 port)
{
    QTcpSocket probe;
    probe.connectToHost(QStringLiteral("127.0.0.1"), port);
    const bool ok = probe.waitForConnected(200);
    probe.abort();
    return ok;
}

bool chownTree(const QString &root, uid_t uid, gid_t gid)
{
    if (::chown(QFile::encodeName(root).constData(), uid, gid) != 0)
        return false;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        if (::chown(QFile::encodeName(it.next()).constData(), uid, gid) != 0)
            return false;
    }
    return true;
}

}  // namespace

quint16 freeLoopbackPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}

// ---------------------------------------------------------------------------

SmtpTestServer::SmtpTestServer() = default;

SmtpTestServer::~SmtpTestServer()
{
    stop();
}

QString SmtpTestServer::missing()
{
    if (!QFileInfo::exists(kPython))
        return kPython + QStringLiteral(" is not installed");
    QProcess probe;
    probe.start(kPython, {QStringLiteral("-c"), QStringLiteral("import aiosmtpd")});
    if (!probe.waitForFinished(20000) || probe.exitCode() != 0)
        return QStringLiteral("aiosmtpd is not installed for ") + kPython + QStringLiteral(" (python3-aiosmtpd)");
    return {};
}

bool SmtpTestServer::start(QString *why)
{
    if (!m_dir.isValid()) {
        *why = QStringLiteral("no temporary folder");
        return false;
    }
    QDir(m_dir.path()).mkdir(QStringLiteral("mail"));
    if (!writeFile(m_dir.filePath(QStringLiteral("rawstore.py")), kRawStore, why))
        return false;

    m_port = freeLoopbackPort();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PYTHONPATH"), m_dir.path());
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(kPython, {QStringLiteral("-m"), QStringLiteral("aiosmtpd"), QStringLiteral("-n"),
                              QStringLiteral("-l"), QStringLiteral("127.0.0.1:%1").arg(m_port),
                              QStringLiteral("-c"), QStringLiteral("rawstore.RawStore"),
                              m_dir.filePath(QStringLiteral("mail"))});
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        if (m_process.state() == QProcess::NotRunning) {
            *why = QStringLiteral("aiosmtpd exited: ") + QString::fromLocal8Bit(m_process.readAll());
            return false;
        }
        if (acceptsConnections(m_port))
            return true;
        QThread::msleep(50);
    }
    *why = QStringLiteral("aiosmtpd did not listen on port %1: ").arg(m_port)
           + QString::fromLocal8Bit(m_process.readAll());
    stop();
    return false;
}

void SmtpTestServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QList<SmtpTestServer::Received> SmtpTestServer::messages() const
{
    QList<Received> out;
    const QDir folder(m_dir.filePath(QStringLiteral("mail")));
    for (const QString &name : folder.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name)) {
        Received r;
        r.content = readFile(folder.filePath(name));
        const QByteArray env = readFile(folder.filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".env")));
        for (const QByteArray &line : env.split('\n')) {
            if (line.startsWith("HELO "))
                r.helo = line.mid(5);
            else if (line.startsWith("FROM "))
                r.mailFrom = line.mid(5);
            else if (line.startsWith("TO "))
                r.rcptTos << line.mid(3);
        }
        out << r;
    }
    return out;
}

QList<SmtpTestServer::Received> SmtpTestServer::waitForMessages(int count, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    QList<Received> got = messages();
    while (got.size() < count && !deadline.hasExpired()) {
        QThread::msleep(50);
        got = messages();
    }
    return got;
}

// ---------------------------------------------------------------------------

Pop3TestServer::Pop3TestServer(const QString &user, const QString &password)
    : m_user(user), m_password(password)
{
}

Pop3TestServer::~Pop3TestServer()
{
    stop();
}

QString Pop3TestServer::missing()
{
    if (!QFileInfo::exists(kDovecot))
        return kDovecot + QStringLiteral(" is not installed (dovecot-pop3d)");
    if (!getpwnam("dovecot") || !getpwnam("dovenull"))
        return QStringLiteral("the users dovecot and dovenull are missing (dovecot-core)");
    return {};
}

bool Pop3TestServer::addMessage(const QByteArray &text, QString *why)
{
    if (!prepareMaildir(why))
        return false;
    // Dovecot numbers new mail in the order of the file names.
    ++m_added;
    const QString name = QStringLiteral("%1.M%2P1.tessaly").arg(1000000000 + m_added).arg(m_added);
    const QString tmp = path(QStringLiteral("home/%1/Maildir/tmp/").arg(m_user) + name);
    if (!writeFile(tmp, text, why))
        return false;
    const passwd *owner = getpwnam("dovecot");
    if (owner && ::chown(QFile::encodeName(tmp).constData(), owner->pw_uid, owner->pw_gid) != 0) {
        if (why)
            *why = QStringLiteral("cannot hand ") + tmp + QStringLiteral(" to dovecot");
        return false;
    }
    return QFile::rename(tmp, path(QStringLiteral("home/%1/Maildir/new/").arg(m_user) + name));
}

bool Pop3TestServer::prepareMaildir(QString *why)
{
    if (m_prepared)
        return true;
    const passwd *mailOwner = getpwnam("dovecot");
    if (!m_dir.isValid() || !mailOwner) {
        if (why)
            *why = QStringLiteral("no temporary folder or no dovecot user");
        return false;
    }
    // The login and mail processes run as other users and must reach the folder.
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                            | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                                            | QFileDevice::ReadOther | QFileDevice::ExeOther);
    QDir root(m_dir.path());
    for (const char *sub : {"new", "cur", "tmp"})
        root.mkpath(QStringLiteral("home/%1/Maildir/%2").arg(m_user, QLatin1String(sub)));
    if (!chownTree(path(QStringLiteral("home")), mailOwner->pw_uid, mailOwner->pw_gid)) {
        if (why)
            *why = QStringLiteral("cannot hand the maildir to the dovecot user (needs root)");
        return false;
    }
    m_prepared = true;
    return true;
}

bool Pop3TestServer::start(QString *why)
{
    if (!prepareMaildir(why))
        return false;
    const passwd *mailOwner = getpwnam("dovecot");
    if (!writeFile(path(QStringLiteral("passwd")), m_user.toUtf8() + ":{PLAIN}" + m_password.toUtf8() + "\n", why))
        return false;

    m_port = freeLoopbackPort();
    const QString config = QStringLiteral(
        "protocols = pop3\n"
        "listen = 127.0.0.1\n"
        "base_dir = %1/run\n"
        "state_dir = %1/state\n"
        "log_path = %1/dovecot.log\n"
        "ssl = no\n"
        "disable_plaintext_auth = no\n"
        "auth_failure_delay = 0\n"
        "first_valid_uid = %2\n"
        "default_login_user = dovenull\n"
        "default_internal_user = dovecot\n"
        "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u %1/passwd\n}\n"
        "userdb {\n  driver = static\n  args = uid=dovecot gid=dovecot home=%1/home/%u\n}\n"
        "mail_location = maildir:%1/home/%u/Maildir\n"
        "service pop3-login {\n  inet_listener pop3 {\n    port = %3\n  }\n}\n")
        .arg(m_dir.path()).arg(mailOwner->pw_uid).arg(m_port);
    m_config = path(QStringLiteral("dovecot.conf"));
    if (!writeFile(m_config, config.toUtf8(), why))
        return false;

    QProcess dovecot;
    dovecot.setProcessChannelMode(QProcess::MergedChannels);
    dovecot.start(kDovecot, {QStringLiteral("-c"), m_config});
    if (!dovecot.waitForFinished(15000) || dovecot.exitCode() != 0) {
        *why = QStringLiteral("dovecot did not start: ") + QString::fromLocal8Bit(dovecot.readAll()) + log();
        return false;
    }
    m_running = true;
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        if (acceptsConnections(m_port))
            return true;
        QThread::msleep(50);
    }
    *why = QStringLiteral("dovecot did not listen on port %1: ").arg(m_port) + log();
    stop();
    return false;
}

void Pop3TestServer::stop()
{
    if (!m_running)
        return;
    m_running = false;
    const QString pidFile = path(QStringLiteral("run/master.pid"));
    QProcess::execute(kDovecot, {QStringLiteral("-c"), m_config, QStringLiteral("stop")});
    // The folder goes away with this object: wait until dovecot has let go of it.
    const QDeadlineTimer deadline(10000);
    while (QFileInfo::exists(pidFile) && !deadline.hasExpired())
        QThread::msleep(50);
}

QString Pop3TestServer::log() const
{
    return QString::fromLocal8Bit(readFile(path(QStringLiteral("dovecot.log"))));
}
