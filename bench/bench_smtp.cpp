// Sending one message with a 25 MB attachment over STARTTLS with a login to
// a local aiosmtpd: encoding, the conversation and the TLS write, as the send
// screen does them, until the server has accepted the message.
#include "MailServers.h"

#include "MailBenchMain.h"
#include "mail/MailConnection.h"
#include "mail/MailNoticeBox.h"
#include "mail/SmtpSession.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QSslCertificate>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "SideBySide.h"

namespace {

constexpr qsizetype kFileSize = 25 * 1024 * 1024;

void BM_SmtpStartTls_25MB_attachment(benchmark::State& state)
{
    TestCertificates certs;
    SmtpTestServer server;
    QString why = SmtpTestServer::missing();
    if (!why.isEmpty() || !certs.make(&why) || !server.start(&why, QStringLiteral("starttls"), &certs)) {
        state.SkipWithError(qPrintable(why));
        return;
    }
    const ConnectionSettings trust{.extraCaCertificates = QSslCertificate::fromPath(certs.pem(QStringLiteral("ca")))};
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("big.bin")));
    QByteArray bytes(kFileSize, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7919 >> 3);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != kFileSize) {
        state.SkipWithError("cannot write the attachment");
        return;
    }
    file.close();
    bytes = QByteArray();  // not counted in the peak
    int sent = 0;
    qint64 peakKb = 0;
    for (auto _ : state) {
        restartPeak();
        SmtpMessage m;
        m.sender = QStringLiteral("anna@example.org");
        m.recipients = QStringLiteral("bob@example.net");
        m.subject = QStringLiteral("25 MB");
        m.attachments = {file.fileName()};
        m.host = QStringLiteral("127.0.0.1");
        m.userName = QStringLiteral("anna");
        m.password = QStringLiteral("pass word");
        SmtpSession session;
        MailConnection connection(session, trust, nullptr);
        QObject::connect(&connection, &MailConnection::notice, &showMailNotice);
        QEventLoop loop;
        bool ok = false;
        QObject::connect(&connection, &MailConnection::finished, [&](bool done) {
            ok = done;
            loop.quit();
        });
        session.start(m);
        connection.open(m.host, server.port(), TlsMode::Offered);
        loop.exec();
        // Taken before the server's copies are read back into this process.
        peakKb = std::max<qint64>(peakKb, statusKilobytes("VmHWM:"));
        ++sent;
        if (!ok || server.waitForMessages(sent, 60000).size() != sent) {
            state.SkipWithError("the message was not accepted");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * kFileSize);
    countPeakAndLoad(state.counters);
    state.counters["peak_MB"] = double(peakKb) / 1024;
}
BENCHMARK(BM_SmtpStartTls_25MB_attachment)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv)
{
    return runMailBenchmarks(argc, argv);
}
