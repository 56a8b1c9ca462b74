// The send screen's Send of a message with a 100 MB attachment, uuencoded
// and as a MIME part, to a server on loopback that takes it, with the Sent
// copy the screen keeps: next to GNU uuencode and base64 encoding the same
// file.
#include "kit/AppFolder.h"
#include "kit/MailSettings.h"
#include "kit/MsgBox.h"
#include "mail/MailConnection.h"
#include "mail/frmSendEmail.h"
#include "store/Connection.h"
#include "window/Screens.h"

#include <sqlite3.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "SideBySide.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr qsizetype kAttachmentSize = 100 * 1000 * 1000;

// One 100 MB file of random bytes for both encoders, written a slice at a
// time (nothing of it stays in this process's memory).
void writeAttachment(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        std::abort();
    QRandomGenerator rng(2002);
    QByteArray slice(1000 * 1000, Qt::Uninitialized);
    for (qsizetype done = 0; done < kAttachmentSize; done += slice.size()) {
        rng.fillRange(reinterpret_cast<quint32*>(slice.data()), slice.size() / 4);
        if (f.write(slice) != slice.size())
            std::abort();
    }
}

// A mail server that takes every message and keeps none of it, on a thread
// of its own so that it never waits on the screen's event loop: it says
// "go on" to each command and reads the data until its final "." as fast
// as the socket gives it. What the screen sends is timed, not a server.
class SinkServer {
public:
    SinkServer()
    {
        m_listen = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (m_listen < 0 || bind(m_listen, reinterpret_cast<sockaddr*>(&a), len) != 0 || listen(m_listen, 4) != 0
            || getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            std::abort();
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~SinkServer()
    {
        shutdown(m_listen, SHUT_RDWR);
        close(m_listen);
        m_thread.join();
    }
    quint16 port() const { return m_port; }
    qint64 lastData() const { return m_data; }  // octets of the last message's data, its "." line included

private:
    void serve()
    {
        for (int c; (c = accept(m_listen, nullptr, nullptr)) >= 0; close(c))
            converse(c);
    }
    static void say(int c, const char* line) { (void)!write(c, line, std::strlen(line)); }
    void converse(int c)
    {
        std::vector<char> buf(1 << 20);
        std::string line;
        say(c, "220 sink\r\n");
        for (;;) {
            const ssize_t n = read(c, buf.data(), buf.size());
            if (n <= 0)
                return;
            for (ssize_t i = 0; i < n; ++i) {
                line += buf[i];
                if (buf[i] != '\n')
                    continue;
                if (line.rfind("DATA", 0) == 0) {
                    say(c, "354 go on\r\n");
                    if (!readData(c, buf, i + 1, n))
                        return;
                    say(c, "250 taken\r\n");
                    i = n;  // the client waits for the answer before its next command
                } else if (line.rfind("QUIT", 0) == 0) {
                    say(c, "221 bye\r\n");
                    return;
                } else {
                    say(c, "250 ok\r\n");
                }
                line.clear();
            }
        }
    }
    // Up to and with "\r\n.\r\n"; the last five octets are kept across reads.
    bool readData(int c, std::vector<char>& buf, ssize_t from, ssize_t n)
    {
        std::string tail;
        m_data = 0;
        for (;;) {
            m_data += n - from;
            if (n - from >= 5) {
                tail.assign(buf.data() + n - 5, 5);
            } else {
                tail.append(buf.data() + from, size_t(n - from));
                if (tail.size() > 5)
                    tail.erase(0, tail.size() - 5);
            }
            if (tail.size() == 5 && tail == "\r\n.\r\n")
                return true;
            from = 0;
            n = read(c, buf.data(), buf.size());
            if (n <= 0)
                return false;
        }
    }

    int m_listen = -1;
    quint16 m_port = 0;
    std::atomic<qint64> m_data = 0;
    std::thread m_thread;
};

// The send screen with the e-mail settings pointing at the sink: Send
// clicked with the file attached, until the screen says it was sent and
// the Sent copy is kept; true when the copy is as large as the data.
bool sendOnScreen(const QString& attachment, const SinkServer& sink)
{
    auto* screen = Screens::load<frmSendEmail>();
    screen->txtRecipient->setText(QStringLiteral("bob@example.net"));
    screen->txtSubject->setText(QStringLiteral("The file"));
    screen->txtMessage->setPlainText(QStringLiteral("Here it is."));
    screen->lstAttachments->addItem(attachment);
    QEventLoop loop;
    bool sent = false;
    QObject::connect(screen->Winsock1, &MailConnection::finished, &loop, [&](bool ok) {
        sent = ok;
        loop.quit();
    });
    screen->cmdSend_Click();
    loop.exec();
    Screens::unload<frmSendEmail>();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const QFileInfoList kept =
        QDir(AppFolder::dataFolder() + QStringLiteral("/Mail/.Sent/new")).entryInfoList(QDir::Files, QDir::Time);
    return sent && !kept.isEmpty() && kept.first().size() > kAttachmentSize && sink.lastData() > kept.first().size();
}

// A fresh application folder whose e-mail settings send to the sink, the
// files as MIME parts or uuencoded.
void settingsFor(const QString& folder, quint16 port, bool mime)
{
    AppFolder::setPath(folder);
    QDir().mkpath(AppFolder::dataFolder());
    Connection con;
    con.Open(AppFolder::databaseFile());
    const QByteArray sql = "INSERT INTO tblEmail (SMTP, YourEmail, Remote, UserName, Password) VALUES ('127.0.0.1:"
                           + QByteArray::number(port) + "', 'anna@example.org', '', '', '')";
    sqlite3_exec(con.handle(), sql.constData(), nullptr, nullptr, nullptr);
    saveAttachmentForm(con, 1, mime);
    con.Close();
}

// Ours (the whole Send of the screen, with its Sent copy) and the standard
// encoder of the same form, each writing beside the attachment, in
// interleaved rounds.
void sideBySide(int rounds)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("attachment.bin"));
    writeAttachment(path);
    SinkServer sink;
    for (const bool mime : {false, true}) {
        const QString peer = dir.filePath(QStringLiteral("peer.out"));
        Row r;
        // What was resident before a Send (Qt, the store, the sink), and
        // the most a Send added to it.
        long before = 0, added = 0;
        for (int i = 0; i < rounds; ++i) {
            settingsFor(dir.filePath(QStringLiteral("app-%1-%2").arg(mime).arg(i)), sink.port(), mime);
            const long resident = statusKilobytes("VmRSS:");
            r.ours.push_back(runOurs([&] { return sendOnScreen(path, sink); }));
            before = std::max(before, resident);
            added = std::max(added, r.ours.back().peakKb - resident);
            QDir(AppFolder::dataFolder()).removeRecursively();
            r.peer.push_back(
                mime ? runProgram({QStringLiteral("base64"), path}, peer)
                     : runProgram({QStringLiteral("uuencode"), path, QStringLiteral("attachment.bin")}, peer));
        }
        QFile::remove(peer);
        std::printf("%s: resident before Send (at most) %s, the Send added (at most) %s\n", mime ? "MIME" : "uuencoded",
                    qPrintable(megabytes(before)), qPrintable(megabytes(added)));
        report(mime ? QStringLiteral("Send with a 100 MB attachment as a MIME part: the send screen's Send "
                                     "(frmSendEmail, SmtpSession, MailConnection) to a server on loopback, "
                                     "with its Sent copy")
                    : QStringLiteral("Send with a 100 MB attachment uuencoded: the send screen's Send (frmSendEmail, "
                                     "SmtpSession, MailConnection) to a server on loopback, with its Sent copy"),
               r, mime ? QStringLiteral("base64 > file") : QStringLiteral("GNU uuencode > file"),
               mime ? QStringLiteral("<= 1.0") : QStringLiteral("<= 0.5"), QStringLiteral("< 40 MB"));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    setMsgBoxHandler([](const MsgBoxCall&) { return MsgResult::OK; });
    sideBySide(benchRounds());
    return 0;
}
