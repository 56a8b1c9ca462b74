// Fetching a mailbox of 1,000 messages of 10 KB from a local dovecot: the
// check screen's protocol machine over a real socket, next to curl fetching
// the same messages. Needs root (dovecot hands the mailbox to its own user).
#include "MailServers.h"

#include "mail/CMessages.h"
#include "mail/Pop3Session.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

constexpr int kMessages = 1000;
constexpr qsizetype kMessageSize = 10 * 1024;
const QString kUser = QStringLiteral("anna");
const QString kPassword = QStringLiteral("secret");

// Message n: headers, then 78-character lines up to 10 KB with LF line ends
// as stored; the server sends it with CR LF.
QByteArray message(int n)
{
    QByteArray m = "Message-ID: <bench." + QByteArray::number(n) + "@example.org>\n"
                   "From: Bench <bench@example.org>\nSubject: Message " + QByteArray::number(n) + "\n"
                   "Date: Tue, 5 Mar 2002 14:03:09 +0100\n\n";
    const QByteArray line = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-abcdefghijklm\n";
    while (m.size() + line.size() <= kMessageSize)
        m += line;
    m += QByteArray(kMessageSize - m.size() - 1, 'x') + '\n';
    return m;
}

struct Mailbox {
    std::unique_ptr<Pop3TestServer> server;
    qsizetype wireBytes = 0;  // what the server sends of all messages, CR LF line ends
    QString error;
};

Mailbox &mailbox()
{
    static Mailbox box = [] {
        Mailbox b;
        b.error = Pop3TestServer::missing();
        if (!b.error.isEmpty())
            return b;
        b.server = std::make_unique<Pop3TestServer>(kUser, kPassword);
        for (int n = 1; n <= kMessages; ++n) {
            const QByteArray m = message(n);
            b.wireBytes += m.size() + m.count('\n');
            if (!b.server->addMessage(m, &b.error))
                return b;
        }
        if (!b.server->start(&b.error))
            b.server.reset();
        return b;
    }();
    return box;
}

double childCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// What the check screen does: connect, feed every arrival, write what the
// machine says to send, close when it says so. Returns false on a timeout.
bool fetchAll(CMessages &messages)
{
    Pop3Session session(messages);
    QTcpSocket socket;
    QEventLoop loop;
    bool finished = false;
    const auto carryOut = [&](const MailActions &actions) {
        for (const MailAction &a : actions) {
            if (a.kind == MailAction::Kind::Send) {
                socket.write(a.bytes);
            } else if (a.kind == MailAction::Kind::Close) {
                socket.abort();
            } else if (a.kind == MailAction::Kind::Finished) {
                finished = a.ok;
                loop.quit();
            }
        }
    };
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { carryOut(session.feed(socket.readAll())); });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, [&](QAbstractSocket::SocketError e) {
        carryOut(session.socketError(e, socket.errorString()));
    });
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    session.start(kUser, kPassword);
    socket.connectToHost(mailbox().server->host(), mailbox().server->port());
    loop.exec();
    return finished;
}

void BM_Pop3Session_1000x10KB(benchmark::State &state)
{
    if (!mailbox().server) {
        state.SkipWithError(qPrintable(mailbox().error));
        return;
    }
    for (auto _ : state) {
        CMessages messages;
        if (!fetchAll(messages) || messages.Count() != kMessages
            || messages.Item(kMessages)->Size() != int(message(kMessages).size() + message(kMessages).count('\n'))) {
            state.SkipWithError("the mailbox was not fetched whole");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
    state.SetBytesProcessed(state.iterations() * mailbox().wireBytes);
}
BENCHMARK(BM_Pop3Session_1000x10KB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

QString curlUrl(const QString &path)
{
    return QStringLiteral("pop3://%1:%2@%3:%4/%5")
        .arg(kUser, kPassword, mailbox().server->host())
        .arg(mailbox().server->port())
        .arg(path);
}

// One curl for the whole mailbox: "[1-1000]" makes it fetch every message
// over the one connection.
void BM_Curl_1000x10KB_one_process(benchmark::State &state)
{
    if (!mailbox().server || QStandardPaths::findExecutable(QStringLiteral("curl")).isEmpty()) {
        state.SkipWithError(mailbox().server ? "curl is not installed" : qPrintable(mailbox().error));
        return;
    }
    const double cpuBefore = childCpuSeconds();
    for (auto _ : state) {
        QProcess curl;
        curl.start(QStringLiteral("curl"), {QStringLiteral("-s"), curlUrl(QStringLiteral("[1-%1]").arg(kMessages))});
        if (!curl.waitForFinished(120000) || curl.exitCode() != 0) {
            state.SkipWithError("curl failed");
            return;
        }
        // curl leaves out each status line and terminating line, as we do.
        if (curl.readAllStandardOutput().size() != mailbox().wireBytes) {
            state.SkipWithError("curl fetched something else");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
    state.SetBytesProcessed(state.iterations() * mailbox().wireBytes);
    state.counters["curl_cpu_ms"] =
        benchmark::Counter((childCpuSeconds() - cpuBefore) * 1000.0 / double(state.iterations()));
}
BENCHMARK(BM_Curl_1000x10KB_one_process)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

// One curl per message, each logging in anew.
void BM_Curl_1000x10KB_process_each(benchmark::State &state)
{
    if (!mailbox().server || QStandardPaths::findExecutable(QStringLiteral("curl")).isEmpty()) {
        state.SkipWithError(mailbox().server ? "curl is not installed" : qPrintable(mailbox().error));
        return;
    }
    const double cpuBefore = childCpuSeconds();
    for (auto _ : state) {
        qsizetype got = 0;
        for (int n = 1; n <= kMessages; ++n) {
            QProcess curl;
            curl.start(QStringLiteral("curl"), {QStringLiteral("-s"), curlUrl(QString::number(n))});
            if (!curl.waitForFinished(30000) || curl.exitCode() != 0) {
                state.SkipWithError("curl failed");
                return;
            }
            got += curl.readAllStandardOutput().size();
        }
        if (got != mailbox().wireBytes) {
            state.SkipWithError("curl fetched something else");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
    state.SetBytesProcessed(state.iterations() * mailbox().wireBytes);
    state.counters["curl_cpu_ms"] =
        benchmark::Counter((childCpuSeconds() - cpuBefore) * 1000.0 / double(state.iterations()));
}
BENCHMARK(BM_Curl_1000x10KB_process_each)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    mailbox().server.reset();
    return 0;
}
