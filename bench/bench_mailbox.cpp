// The kept mailbox: a check of a 10,000-message mailbox on a local dovecot
// when 10 messages are new (UIDL, then 10 RETR, each kept in the Maildir and
// the table), as the check screen runs it.
// Needs root (dovecot hands the mailbox to its own user).
#include "MailServers.h"

#include "MailBenchMain.h"
#include "mail/CMessages.h"
#include "mail/MailConnection.h"
#include "mail/MailNoticeBox.h"
#include "mail/MailStore.h"
#include "mail/MimeMessage.h"
#include "mail/Pop3Check.h"
#include "mail/Pop3Session.h"
#include "store/Connection.h"

#include <sqlite3.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "SideBySide.h"

namespace {

constexpr int kKept = 10000;
constexpr int kNew = 10;
const QString kUser = QStringLiteral("anna");
const QString kPassword = QStringLiteral("secret");

// About 6 KB: plain (quoted-printable) and HTML forms of the text, and a 3 KB file.
QByteArray message(int n)
{
    QByteArray plain, html, file;
    const QByteArray base64 = QByteArray(3072, char(n)).toBase64();
    for (qsizetype i = 0; i < base64.size(); i += 76)
        file += base64.mid(i, 76) + '\n';
    for (int i = 0; i < 20; ++i) {
        plain += "Sch=C3=B6ne Gr=C3=BC=C3=9Fe aus K=C3=B6ln, Zeile " + QByteArray::number(i) + " der Nachricht.\n";
        html += "<p>Sch&ouml;ne Gr&uuml;&szlig;e aus K&ouml;ln, <b>Zeile " + QByteArray::number(i) + "</b>.</p>\n";
    }
    return "Message-ID: <" + QByteArray::number(n)
           + "@bench.example.org>\n"
             "From: =?utf-8?q?J=C3=BCrgen_M=C3=BCller?= <j@example.org>\n"
             "Subject: =?utf-8?b?R3LDvMOfZQ==?= number "
           + QByteArray::number(n)
           + "\n"
             "Date: Tue, 5 Mar 2002 14:03:09 +0100\nMIME-Version: 1.0\n"
             "Content-Type: multipart/mixed; boundary=\"outer\"\n\n--outer\n"
             "Content-Type: multipart/alternative; boundary=\"alt\"\n\n--alt\n"
             "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: quoted-printable\n\n"
           + plain + "--alt\nContent-Type: text/html; charset=utf-8\n\n" + html
           + "--alt--\n--outer\n"
             "Content-Type: application/pdf\nContent-Disposition: attachment; filename=\"report.pdf\"\n"
             "Content-Transfer-Encoding: base64\n\n"
           + file + "--outer--\n";
}

struct Mailbox {
    std::unique_ptr<Pop3TestServer> server;
    QTemporaryDir dir;
    Connection con;
    MailStore store;
    double firstCheckSeconds = 0;
    QString error;
};

// One check as the screen runs it; the number of messages kept.
int check(MailStore& store, quint16 port)
{
    CMessages unused;
    Pop3Session session(unused);
    struct Counting : StoreKeeper {
        using StoreKeeper::StoreKeeper;
        bool end(const QString& key) override { return StoreKeeper::end(key) ? (++kept, true) : false; }
        int kept = 0;
    } keeper(store, [](const StoreError&) {});
    session.keepIn(&keeper, store.keys());
    MailConnection connection(session, ConnectionSettings(), nullptr);
    QObject::connect(&connection, &MailConnection::notice, &showMailNotice);
    QEventLoop loop;
    QObject::connect(&connection, &MailConnection::finished, &loop, &QEventLoop::quit);
    session.start(kUser, kPassword, QStringLiteral("127.0.0.1"), TlsMode::Offered);
    connection.open(QStringLiteral("127.0.0.1"), port, TlsMode::Offered);
    loop.exec();
    store.commit();
    return keeper.kept;
}

Mailbox& mailbox()
{
    static Mailbox b;
    static const bool ready = [] {
        b.error = Pop3TestServer::missing();
        if (!b.error.isEmpty())
            return false;
        b.server = std::make_unique<Pop3TestServer>(kUser, kPassword);
        for (int n = 1; n <= kKept + kNew; ++n) {
            if (!b.server->addMessage(message(n), &b.error))
                return false;
        }
        if (!b.server->start(&b.error))
            return false;
        b.con.Open(b.dir.filePath(QStringLiteral("Tessaly.mdb")));
        b.store.open(b.con, b.dir.filePath(QStringLiteral("Mail")));
        QElapsedTimer t;
        t.start();
        if (check(b.store, b.server->port()) != kKept + kNew) {
            b.error = QStringLiteral("the first check did not keep the whole mailbox");
            return false;
        }
        b.firstCheckSeconds = double(t.nsecsElapsed()) / 1e9;
        return true;
    }();
    if (!ready)
        b.server.reset();
    return b;
}

// Forgets the last `count` kept messages, so the next check finds them new.
void forgetNewest(Mailbox& b, int count)
{
    QList<KeptMessage> kept = b.store.messages();
    for (int i = 0; i < count; ++i)
        b.store.remove(kept[kept.size() - 1 - i].key);
    sqlite3_exec(b.con.handle(), "DELETE FROM tblMailbox WHERE FileName = ''", nullptr, nullptr, nullptr);
}

void BM_SecondCheck_10000kept_10new(benchmark::State& state)
{
    Mailbox& b = mailbox();
    if (!b.server) {
        state.SkipWithError(qPrintable(b.error));
        return;
    }
    restartPeak();  // the second checks', not the first's
    for (auto _ : state) {
        state.PauseTiming();
        forgetNewest(b, kNew);
        state.ResumeTiming();
        if (check(b.store, b.server->port()) != kNew) {
            state.SkipWithError("the check did not keep exactly the new messages");
            return;
        }
    }
    state.counters["first_check_10010_s"] = b.firstCheckSeconds;
    countPeakAndLoad(state.counters);
}
BENCHMARK(BM_SecondCheck_10000kept_10new)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

}  // namespace

int main(int argc, char** argv)
{
    return runMailBenchmarks(argc, argv, [] { mailbox().server.reset(); });
}
