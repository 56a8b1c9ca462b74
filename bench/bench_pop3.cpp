// Fetching a mailbox of 1,000 messages of 10 KB from a local dovecot over
// TLS (port 995): the check screen's connection and protocol machine, and
// curl on the same mailbox in the same iteration. Needs root (dovecot hands
// the mailbox to its own user, and 995 is a privileged port).
#include "MailServers.h"
#include "SideBySide.h"

#include "MailBenchMain.h"
#include "mail/CMessages.h"
#include "mail/MailConnection.h"
#include "mail/MailNoticeBox.h"
#include "mail/Pop3Session.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

constexpr int kMessages = 1000;
constexpr qsizetype kMessageSize = 10 * 1024;
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

struct Mailbox {
    TestCertificates certs;
    ConnectionSettings trust;  // the mail connections trust the test authority
    std::unique_ptr<Pop3TestServer> server;
    qsizetype wireBytes = 0;  // what the server sends of all messages, CR LF line ends
    QString error;
};

Mailbox& mailbox()
{
    static Mailbox b;
    static const bool ready = [] {
        b.error = Pop3TestServer::missing();
        if (!b.error.isEmpty() || !b.certs.make(&b.error))
            return false;
        b.server = std::make_unique<Pop3TestServer>(kUser, kPassword);
        for (int n = 1; n <= kMessages; ++n) {
            const QByteArray m = message(n);
            b.wireBytes += m.size() + m.count('\n');
            if (!b.server->addMessage(m, &b.error))
                return false;
        }
        if (!b.server->start(&b.error, &b.certs))
            return false;
        b.trust.extraCaCertificates = QSslCertificate::fromPath(b.certs.pem(QStringLiteral("ca")));
        return true;
    }();
    if (!ready)
        b.server.reset();
    return b;
}

// What the check screen does: the connection carries out what the machine
// says, over TLS from the first byte. False when the check failed.
bool fetchAll(CMessages& messages)
{
    Pop3Session session(messages);
    MailConnection connection(session, mailbox().trust, nullptr);
    QObject::connect(&connection, &MailConnection::notice, &showMailNotice);
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&connection, &MailConnection::finished, [&](bool done) {
        ok = done;
        loop.quit();
    });
    session.start(kUser, kPassword, QStringLiteral("127.0.0.1"), TlsMode::Implicit);
    connection.open(QStringLiteral("127.0.0.1"), 995, TlsMode::Implicit);
    loop.exec();
    return ok;
}

// curl over TLS on the same mailbox, one connection ("[1-1000]"), writing
// to a file: the shell redirects, so no byte passes through this process.
bool curlAll(const QString& out)
{
    const QString command = QStringLiteral("curl -s --cacert %1 'pop3s://%2:%3@127.0.0.1:995/[1-%4]' > %5")
                                .arg(mailbox().certs.pem(QStringLiteral("ca")), kUser, kPassword)
                                .arg(kMessages)
                                .arg(out);
    return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), command}) == 0
           && QFile(out).size() == mailbox().wireBytes;
}

void BM_Pop3Tls_1000x10KB_vs_curl(benchmark::State& state)
{
    if (!mailbox().server) {
        state.SkipWithError(qPrintable(mailbox().error));
        return;
    }
    const QString out = QDir::temp().filePath(QStringLiteral("tessaly-bench-curl.out"));
    std::vector<double> ours, curl;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        CMessages messages;
        if (!fetchAll(messages) || messages.Count() != kMessages) {
            state.SkipWithError("the mailbox was not fetched whole");
            return;
        }
        ours.push_back(double(t.nsecsElapsed()) / 1e6);
        t.restart();
        if (!curlAll(out)) {
            state.SkipWithError("curl failed or fetched something else");
            return;
        }
        curl.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    state.counters["ours_ms"] = medianOf(ours);
    state.counters["curl_ms"] = medianOf(curl);
    state.counters["ratio"] = medianOf(ours) / medianOf(curl);
    std::printf("\nside by side, medians of %zu interleaved rounds:\n", ours.size());
    reportRow("POP3 1,000 x 10 KB over TLS from dovecot", medianOf(ours), "curl > file", medianOf(curl), "<= 1.0");
    QFile::remove(out);
}
BENCHMARK(BM_Pop3Tls_1000x10KB_vs_curl)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(benchRounds());

}  // namespace

int main(int argc, char** argv)
{
    return runMailBenchmarks(argc, argv, [] { mailbox().server.reset(); });
}
