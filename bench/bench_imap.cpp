// IMAP sync of a 10,000-message folder from a local dovecot: the first into
// an empty cache and one with nothing new, each next to mbsync doing the same
// into a local Maildir. Needs root (dovecot hands the mailbox to its own user).
#include "MailServers.h"

#include "MailBenchMain.h"
#include "mail/ImapCache.h"
#include "mail/ImapSession.h"
#include "mail/MailConnection.h"
#include "mail/MailNoticeBox.h"
#include "store/Connection.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kMessages = 10000;
const QString kUser = QStringLiteral("anna");
const QString kPassword = QStringLiteral("secret");

// About 2 KB, the header the list shows and a plain text.
QByteArray message(int n)
{
    QByteArray text;
    for (int i = 0; i < 25; ++i)
        text += "Line " + QByteArray::number(i) + " of message " + QByteArray::number(n)
                + ", as plain as most mail is.\r\n";
    return "Message-ID: <" + QByteArray::number(n)
           + "@bench.example.org>\r\nFrom: Anna Example <anna@example.org>\r\nTo: bob@example.org\r\n"
             "Subject: Report number "
           + QByteArray::number(n) + "\r\nDate: Tue, 5 Mar 2002 14:03:09 +0100\r\n\r\n" + text;
}

struct Folder {
    std::unique_ptr<Pop3TestServer> server;
    QString error;
};

Folder& folder()
{
    static Folder f;
    static const bool ready = [] {
        f.error = Pop3TestServer::missing();
        if (!f.error.isEmpty())
            return false;
        f.server = std::make_unique<Pop3TestServer>(kUser, kPassword);
        for (int n = 1; n <= kMessages; ++n) {
            if (!f.server->addMessage(message(n), &f.error))
                return false;
        }
        if (!f.server->start(&f.error))
            return false;
        if (!f.server->imapPort()) {
            f.error = QStringLiteral("dovecot-imapd is not installed");
            return false;
        }
        return true;
    }();
    if (!ready)
        f.server.reset();
    return f;
}

// One sync as the program runs it: from what the cache holds, into it when it
// ended well. The number of new headers, -1 when it failed.
int sync(ImapCache& cache, quint16 port)
{
    ImapSession session;
    const ImapPlan plan = cache.plan("INBOX");
    MailConnection connection(session, ConnectionSettings(), nullptr);
    QObject::connect(&connection, &MailConnection::notice, &showMailNotice);
    bool ok = false;
    QEventLoop loop;
    QObject::connect(&connection, &MailConnection::finished, &loop, [&](bool done) {
        ok = done;
        loop.quit();
    });
    session.start(kUser, kPassword, plan, QStringLiteral("127.0.0.1"));
    connection.open(QStringLiteral("127.0.0.1"), port, TlsMode::Offered);
    loop.exec();
    if (!ok)
        return -1;
    cache.apply(plan, session.result());
    return int(session.result().headers.size());
}

struct Cache {
    QTemporaryDir dir;
    Connection con;
    ImapCache cache;
    Cache()
    {
        con.Open(dir.filePath(QStringLiteral("Tessaly.mdb")));
        cache.open(con, dir.filePath(QStringLiteral("Mail")));
    }
};

void BM_ImapFirstSync_10000(benchmark::State& state)
{
    Folder& f = folder();
    if (!f.server) {
        state.SkipWithError(qPrintable(f.error));
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto c = std::make_unique<Cache>();
        state.ResumeTiming();
        if (sync(c->cache, f.server->imapPort()) != kMessages) {
            state.SkipWithError("the first sync did not hold every header");
            return;
        }
        state.PauseTiming();
        c.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ImapFirstSync_10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_ImapNothingNew_10000(benchmark::State& state)
{
    Folder& f = folder();
    if (!f.server) {
        state.SkipWithError(qPrintable(f.error));
        return;
    }
    // Held across the repetitions: one first sync, then each a sync with nothing new.
    static Cache c;
    static const bool first = sync(c.cache, f.server->imapPort()) == kMessages;
    if (!first) {
        state.SkipWithError("the first sync did not hold every header");
        return;
    }
    for (auto _ : state) {
        if (sync(c.cache, f.server->imapPort()) != 0) {
            state.SkipWithError("a sync with nothing new found something");
            return;
        }
    }
}
BENCHMARK(BM_ImapNothingNew_10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

// mbsync pulling the folder into a local Maildir, its state beside it; the
// child's run timed on a nanosecond clock.
struct Mbsync {
    QTemporaryDir dir;
    explicit Mbsync(quint16 port)
    {
        QDir(dir.path()).mkpath(QStringLiteral("local"));
        QFile config(dir.filePath(QStringLiteral("mbsyncrc")));
        if (config.open(QIODevice::WriteOnly))
            config.write(QStringLiteral("IMAPAccount bench\nHost 127.0.0.1\nPort %1\nUser %2\nPass \"%3\"\n"
                                        "SSLType None\nAuthMechs LOGIN\n\n"
                                        "IMAPStore remote\nAccount bench\n\n"
                                        "MaildirStore local\nPath %4/local/\nInbox %4/local/INBOX\n\n"
                                        "Channel inbox\nFar :remote:INBOX\nNear :local:INBOX\n"
                                        "Sync Pull\nCreate Near\nSyncState *\n")
                             .arg(port)
                             .arg(kUser, kPassword, dir.path())
                             .toUtf8());
    }
    bool run()
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("mbsync"), {QStringLiteral("-q"), QStringLiteral("-c"),
                                           dir.filePath(QStringLiteral("mbsyncrc")), QStringLiteral("inbox")});
        const bool ok = p.waitForFinished(600000) && p.exitCode() == 0;
        if (!ok)
            qWarning("mbsync: %s", p.readAll().constData());
        return ok;
    }
    qsizetype held() const
    {
        return QDir(dir.filePath(QStringLiteral("local/INBOX/cur"))).count() - 2
               + QDir(dir.filePath(QStringLiteral("local/INBOX/new"))).count() - 2;
    }
};

void BM_MbsyncFirstSync_10000(benchmark::State& state)
{
    Folder& f = folder();
    if (!f.server) {
        state.SkipWithError(qPrintable(f.error));
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto m = std::make_unique<Mbsync>(f.server->imapPort());
        state.ResumeTiming();
        if (!m->run() || m->held() != kMessages) {
            state.SkipWithError("mbsync did not pull every message");
            return;
        }
        state.PauseTiming();
        m.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MbsyncFirstSync_10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_MbsyncNothingNew_10000(benchmark::State& state)
{
    Folder& f = folder();
    if (!f.server) {
        state.SkipWithError(qPrintable(f.error));
        return;
    }
    static Mbsync m(f.server->imapPort());
    static const bool first = m.run();
    if (!first) {
        state.SkipWithError("mbsync failed");
        return;
    }
    for (auto _ : state) {
        if (!m.run()) {
            state.SkipWithError("mbsync failed");
            return;
        }
    }
}
BENCHMARK(BM_MbsyncNothingNew_10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv)
{
    return runMailBenchmarks(argc, argv, [] { folder().server.reset(); });
}
