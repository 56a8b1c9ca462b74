// Check Mail as the user runs it: the check screen (frmCheckEmail, shown
// offscreen) fetching a mailbox of 1,000 messages of 10 KB from a local
// dovecot into an empty store — MailConnection, Pop3Session::keepIn and
// MailStore, each message written to the Maildir and listed — next to curl
// fetching the same mailbox to a file, in interleaved rounds. In clear on a
// free port, and over TLS on 995. Needs root (dovecot hands the mailbox to
// its own user, and 995 is a privileged port).
//
// The application folders go into $TESSALY_BENCH_DIR when it is set, else
// into a temporary folder. Where matters: ext4 makes a file slowly in a
// folder among many files deleted recently (a /tmp that test runs churn
// takes 0.3-0.6 ms a file here, a home folder 0.03 ms), and a check makes
// one file per message.
//
// The row "line" fetches one message whose body is one line of 100 MB, in
// clear: what such a message costs (peak RSS) next to the normal check.
//
//   bench_check [plain|tls|line]...      (default: all three)
#include "MailServers.h"
#include "SideBySide.h"

#include "controls/ListView.h"
#include "kit/AppFolder.h"
#include "kit/MailSettings.h"
#include "kit/MsgBox.h"
#include "mail/MailConnection.h"
#include "mail/frmCheckEmail.h"
#include "store/Connection.h"
#include "window/Screens.h"

#include <sqlite3.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QTemporaryDir>

#include <list>

namespace {

constexpr int kMessages = 1000;
constexpr qsizetype kMessageSize = 10 * 1024;
constexpr qsizetype kLineSize = qsizetype(100) * 1024 * 1024;
int expected = kMessages;  // messages in the mailbox of the row running
const QString kUser = QStringLiteral("anna");
const QString kPassword = QStringLiteral("secret");

// Message n: headers, then 78-character lines up to 10 KB with LF line ends
// as stored; the server sends it with CR LF.
QByteArray message(int n)
{
    QByteArray m = "Message-ID: <bench." + QByteArray::number(n)
                   + "@example.org>\n"
                     "From: Bench <bench@example.org>\nSubject: Message "
                   + QByteArray::number(n)
                   + "\n"
                     "Date: Tue, 5 Mar 2002 14:03:09 +0100\n\n";
    const QByteArray line = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-abcdefghijklm\n";
    while (m.size() + line.size() <= kMessageSize)
        m += line;
    m += QByteArray(kMessageSize - m.size() - 1, 'x') + '\n';
    return m;
}

void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// A fresh application folder with the e-mail settings pointing at `host`.
void emptyStore(const QString& host, const QString& folder)
{
    AppFolder::setPath(folder);
    QDir().mkpath(AppFolder::dataFolder());
    Connection con;
    con.Open(AppFolder::databaseFile());
    const QByteArray sql = "INSERT INTO tblEmail (SMTP, YourEmail, Remote, UserName, Password) VALUES ('', '', '"
                           + host.toUtf8() + "', '" + kUser.toUtf8() + "', '" + kPassword.toUtf8() + "')";
    sqlite3_exec(con.handle(), sql.constData(), nullptr, nullptr, nullptr);
    saveMessageLimit(con, 128);  // room for the 100 MB line
    con.Close();
}

// Check Mail clicked on the check screen, until the check has ended; true
// when all 1,000 messages are listed.
bool checkMail()
{
    auto* screen = Screens::load<frmCheckEmail>();
    QEventLoop loop;
    QObject::connect(screen->Winsock1, &MailConnection::finished, &loop, &QEventLoop::quit);
    screen->cmdCheckMail_Click();
    loop.exec();
    return screen->lvMessages->itemCount() == expected;
}

bool allInMaildir()
{
    Screens::unload<frmCheckEmail>();
    settle();
    return QDir(AppFolder::dataFolder() + QStringLiteral("/Mail/new")).entryList(QDir::Files).size() == expected;
}

struct Server {
    TestCertificates certs;
    std::unique_ptr<Pop3TestServer> pop3;
    qsizetype wireBytes = 0;  // all messages as the server sends them, CR LF line ends
};

bool startServer(Server& s, bool tls, QString* why)
{
    if (tls && !s.certs.make(why))
        return false;
    s.pop3 = std::make_unique<Pop3TestServer>(kUser, kPassword);
    for (int n = 1; n <= expected; ++n) {
        const QByteArray m =
            expected == 1 ? "Message-ID: <line@example.org>\nSubject: One line\n\n" + QByteArray(kLineSize, 'x') + '\n'
                          : message(n);
        s.wireBytes += m.size() + m.count('\n');
        if (!s.pop3->addMessage(m, why))
            return false;
    }
    if (!s.pop3->start(why, tls ? &s.certs : nullptr))
        return false;
    if (tls)
        setConnectionSettings({connectionSettings().connectLimit, connectionSettings().answerLimit,
                               QSslCertificate::fromPath(s.certs.pem(QStringLiteral("ca")))});
    return true;
}

// Everything a row made stays until the program ends: files deleted
// seconds before make the file system slow to create new ones.
void row(bool tls, bool line, Server& server, QTemporaryDir& folders)
{
    QString why;
    expected = line ? 1 : kMessages;
    const QString work = line  ? QStringLiteral("Check Mail, 100 MB line in one message, in clear "
                                                 "(frmCheckEmail: MailConnection, Pop3Session::keepIn, MailStore)")
                         : tls ? QStringLiteral("Check Mail, 1,000 x 10 KB into an empty store, TLS on 995 "
                                                "(frmCheckEmail: MailConnection, Pop3Session::keepIn, MailStore)")
                               : QStringLiteral("Check Mail, 1,000 x 10 KB into an empty store, in clear "
                                                "(frmCheckEmail: MailConnection, Pop3Session::keepIn, MailStore)");
    if (!startServer(server, tls, &why)) {
        std::printf("%s: not run: %s\n", qPrintable(work), qPrintable(why));
        appendToTable(QStringLiteral("| %1 | not run: %2 | | | | | |").arg(work, why));
        return;
    }
    const QString host =
        tls ? server.pop3->host() + QStringLiteral(":995") : QStringLiteral("127.0.0.1:%1").arg(server.pop3->port());
    QStringList curl = {QStringLiteral("curl"), QStringLiteral("-s")};
    if (tls)
        curl << QStringLiteral("--cacert") << server.certs.pem(QStringLiteral("ca"))
             << QStringLiteral("pop3s://%1:%2@%3/[1-%4]").arg(kUser, kPassword, host).arg(expected);
    else
        curl << QStringLiteral("pop3://%1:%2@127.0.0.1:%3/[1-%4]")
                    .arg(kUser, kPassword)
                    .arg(server.pop3->port())
                    .arg(expected);
    // On the same disk as ours.
    const QString out = folders.filePath(QStringLiteral("curl-%1.out").arg(tls));
    // getmail6 doing what the check does: every message into a file of a
    // Maildir of its own, nothing deleted on the server.
    const QString getmailDir = folders.filePath(QStringLiteral("getmail-%1").arg(tls));
    QDir().mkpath(getmailDir);
    QFile(folders.path()).setPermissions(QFile(folders.path()).permissions() | QFile::ExeOther);
    if (tls)  // where nobody may read it
        QFile::copy(server.certs.pem(QStringLiteral("ca")), getmailDir + QStringLiteral("/ca.pem"));
    const QString rc = getmailDir + QStringLiteral("/getmailrc");
    {
        QFile f(rc);
        f.open(QIODevice::WriteOnly);
        const QString retriever =
            tls ? QStringLiteral("type = SimplePOP3SSLRetriever\nserver = %1\nport = 995\nca_certs = %2\n")
                      .arg(server.pop3->host(), getmailDir + QStringLiteral("/ca.pem"))
                : QStringLiteral("type = SimplePOP3Retriever\nserver = 127.0.0.1\nport = %1\n")
                      .arg(server.pop3->port());
        f.write(QStringLiteral("[retriever]\n%1username = %2\npassword = %3\n[destination]\ntype = Maildir\n"
                               "path = %4/Maildir/\n[options]\nread_all = true\ndelete = false\nverbose = 0\n"
                               "message_log_syslog = false\n")
                    .arg(retriever, kUser, kPassword, getmailDir)
                    .toUtf8());
    }
    // getmail refuses to deliver as root, and the bench runs as root for
    // dovecot: it runs as nobody, in a folder of nobody's.
    const QStringList getmail = {QStringLiteral("setpriv"),
                                 QStringLiteral("--reuid=65534"),
                                 QStringLiteral("--regid=65534"),
                                 QStringLiteral("--clear-groups"),
                                 QStringLiteral("getmail"),
                                 QStringLiteral("--rcfile"),
                                 rc,
                                 QStringLiteral("--getmaildir"),
                                 getmailDir};
    const auto freshMaildir = [&] {
        QDir(getmailDir + QStringLiteral("/Maildir")).removeRecursively();
        for (const char* sub : {"tmp", "new", "cur"})
            QDir().mkpath(getmailDir + QStringLiteral("/Maildir/") + QLatin1String(sub));
        for (const QString& old : QDir(getmailDir).entryList({QStringLiteral("oldmail-*")}, QDir::Files))
            QFile::remove(getmailDir + QLatin1Char('/') + old);
        QProcess::execute(QStringLiteral("chown"), {QStringLiteral("-R"), QStringLiteral("65534:65534"), getmailDir});
    };
    Row r, g;
    long before = 0;  // the largest resident size with the screen open, before a check
    for (int i = 0; i < benchRounds(); ++i) {
        emptyStore(host, folders.filePath(QStringLiteral("%1-%2-%3").arg(tls).arg(line).arg(i)));
        Screens::show<frmCheckEmail>();
        settle();
        before = std::max(before, statusKilobytes("VmRSS:"));
        Run ours = runOurs(checkMail);
        ours.ok = allInMaildir() && ours.ok;
        r.ours.push_back(ours);
        Run peer = runProgram(curl, out);
        peer.ok = peer.ok && QFile(out).size() == server.wireBytes;
        r.peer.push_back(peer);
        freshMaildir();
        if (line)
            continue;  // getmail6 holds a message whole: the row compares with curl alone
        Run other = runProgram(getmail);
        other.ok =
            other.ok && QDir(getmailDir + QStringLiteral("/Maildir/new")).entryList(QDir::Files).size() == expected;
        g.peer.push_back(other);
    }
    QFile::remove(out);
    std::printf("  resident before the check (Qt, fonts, the screen, the open store): at most %s\n",
                qPrintable(megabytes(before)));
    g.ours = r.ours;
    report(work, r, QStringLiteral("curl > file (the wire alone)"), QStringLiteral("<= 2.0"),
           QStringLiteral("< 60 MB"));
    if (line)
        return;
    report(work, g, QStringLiteral("getmail6 into a Maildir"), QStringLiteral("<= 1.0"), QStringLiteral("< 60 MB"));
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    setMsgBoxHandler([](const MsgBoxCall& call) {
        std::printf("message box: %s\n", qPrintable(call.text));
        return MsgResult::OK;
    });
    QStringList which = app.arguments().mid(1);
    if (which.isEmpty())
        which = {QStringLiteral("plain"), QStringLiteral("tls"), QStringLiteral("line")};
    std::list<Server> servers;
    const QString place = qEnvironmentVariable("TESSALY_BENCH_DIR");
    if (!place.isEmpty())
        QDir().mkpath(place);
    QTemporaryDir folders(place.isEmpty() ? QDir::tempPath() + QStringLiteral("/bench_check-XXXXXX")
                                          : place + QStringLiteral("/check-XXXXXX"));
    for (const QString& w : which)
        row(w == QStringLiteral("tls"), w == QStringLiteral("line"), servers.emplace_back(), folders);
    Screens::unloadAll();
    settle();
    return 0;
}
