#include "MailServers.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <pwd.h>
#include <unistd.h>

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kDovecot = QStringLiteral("/usr/sbin/dovecot");

// Stores each message as NNNN.eml: the envelope as "HELO", "FROM" and "TO"
// lines, an empty line, then the data exactly as it arrived. The file
// appears under its name only once it is complete.
const char kRawStore[] = R"PY(import os


class RawStore:
    def __init__(self, folder):
        self.folder, self.count = folder, 0

    @classmethod
    def from_cli(cls, parser, *args):
        return cls(*args)

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, '%04d' % self.count)
        head = ['HELO ' + (session.host_name or ''), 'FROM ' + (envelope.mail_from or '')]
        head += ['TO ' + rcpt for rcpt in envelope.rcpt_tos]
        with open(base + '.tmp', 'wb') as f:
            f.write('\n'.join(head).encode('utf-8', 'surrogateescape') + b'\n\n' + envelope.original_content)
        os.rename(base + '.tmp', base + '.eml')
        return '250 2.0.0 Ok: stored'
)PY";

bool fail(QString *why, const QString &text)
{
    if (why)
        *why = text;
    return false;
}

bool writeFile(const QString &path, const QByteArray &bytes, QString *why)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return fail(why, path + QStringLiteral(": ") + f.errorString());
    return true;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Polls for up to 15 s until `port` accepts connections; gives up early
// when `process` (if any) has exited.
bool waitUntilListening(quint16 port, const QProcess *process = nullptr)
{
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired() && (!process || process->state() != QProcess::NotRunning)) {
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (probe.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    return false;
}

// Dovecot's mail processes run as its own user and must own the maildir.
bool handToDovecot(const QString &path)
{
    const passwd *owner = getpwnam("dovecot");
    return owner && ::chown(QFile::encodeName(path).constData(), owner->pw_uid, owner->pw_gid) == 0;
}

}  // namespace

quint16 freeLoopbackPort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

// ---------------------------------------------------------------------------

SmtpTestServer::~SmtpTestServer()
{
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
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
    return waitUntilListening(m_port, &m_process)
           || fail(why, QStringLiteral("aiosmtpd did not listen on port %1: ").arg(m_port)
                            + QString::fromLocal8Bit(m_process.readAll()));
}

QList<SmtpTestServer::Received> SmtpTestServer::waitForMessages(int count, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    const auto stored = [this] {
        const QDir folder(m_dir.filePath(QStringLiteral("mail")));
        return folder.entryInfoList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name);
    };
    QFileInfoList files = stored();
    while (files.size() < count && !deadline.hasExpired()) {
        QThread::msleep(50);
        files = stored();
    }
    QList<Received> out;
    for (const QFileInfo &file : files) {
        const QByteArray text = readFile(file.filePath());
        const qsizetype split = text.indexOf("\n\n");
        Received r;
        r.content = text.mid(split + 2);
        for (const QByteArray &line : text.left(split).split('\n')) {
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

// ---------------------------------------------------------------------------

Pop3TestServer::Pop3TestServer(const QString &user, const QString &password)
    : m_user(user), m_password(password)
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
    if (!QFileInfo::exists(kDovecot))
        return kDovecot + QStringLiteral(" is not installed (dovecot-pop3d)");
    if (!getpwnam("dovecot") || !getpwnam("dovenull"))
        return QStringLiteral("the users dovecot and dovenull are missing (dovecot-core)");
    return {};
}

bool Pop3TestServer::prepareMaildir(QString *why)
{
    if (m_prepared)
        return true;
    if (!m_dir.isValid())
        return fail(why, QStringLiteral("no temporary folder"));
    // The login and mail processes run as other users and must reach the folder.
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                            | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                                            | QFileDevice::ReadOther | QFileDevice::ExeOther);
    const QString maildir = QStringLiteral("home/%1/Maildir/").arg(m_user);
    for (const QString &sub : {QStringLiteral("home"), QStringLiteral("home/") + m_user, maildir,
                               maildir + QStringLiteral("new"), maildir + QStringLiteral("cur"),
                               maildir + QStringLiteral("tmp")}) {
        if (!QDir(m_dir.path()).mkpath(sub) || !handToDovecot(path(sub)))
            return fail(why, QStringLiteral("cannot hand the maildir to the dovecot user (needs root)"));
    }
    return m_prepared = true;
}

bool Pop3TestServer::addMessage(const QByteArray &text, QString *why)
{
    if (!prepareMaildir(why))
        return false;
    // Dovecot numbers new mail in the order of the file names.
    ++m_added;
    const QString name = QStringLiteral("%1.M%2P1.tessaly").arg(1000000000 + m_added).arg(m_added);
    const QString maildir = path(QStringLiteral("home/%1/Maildir/").arg(m_user));
    const QString tmp = maildir + QStringLiteral("tmp/") + name;
    if (!writeFile(tmp, text, why))
        return false;
    return (handToDovecot(tmp) && QFile::rename(tmp, maildir + QStringLiteral("new/") + name))
           || fail(why, QStringLiteral("cannot hand ") + tmp + QStringLiteral(" to dovecot"));
}

bool Pop3TestServer::start(QString *why)
{
    if (!prepareMaildir(why)
        || !writeFile(path(QStringLiteral("passwd")), m_user.toUtf8() + ":{PLAIN}" + m_password.toUtf8() + "\n", why))
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
        .arg(m_dir.path()).arg(getpwnam("dovecot")->pw_uid).arg(m_port);
    const QString configPath = path(QStringLiteral("dovecot.conf"));
    if (!writeFile(configPath, config.toUtf8(), why))
        return false;

    const auto log = [this] { return QString::fromLocal8Bit(readFile(path(QStringLiteral("dovecot.log")))); };
    QProcess dovecot;
    dovecot.setProcessChannelMode(QProcess::MergedChannels);
    dovecot.start(kDovecot, {QStringLiteral("-c"), configPath});
    if (!dovecot.waitForFinished(15000) || dovecot.exitCode() != 0)
        return fail(why, QStringLiteral("dovecot did not start: ") + QString::fromLocal8Bit(dovecot.readAll()) + log());
    m_running = true;
    return waitUntilListening(m_port)
           || fail(why, QStringLiteral("dovecot did not listen on port %1: ").arg(m_port) + log());
}
