// Sync with Radicale on loopback: the first sync of 1,000 contacts and 1,000
// appointments into empty collections (next to curl sending the same
// resources to a new server), then a sync with nothing changed.
// Each run starts from a new server and a new application folder; only the
// measured sync is timed (by hand: the server's start and stop are not), and
// the counter gives the requests it sent.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <sqlite3.h>

#include "kit/AppFolder.h"
#include "store/Connection.h"
#include "sync/DavSync.h"

#include "SideBySide.h"

namespace {

constexpr int kCount = 1000;

struct Server {
    QTemporaryDir dir;
    QProcess radicale;
    quint16 port = 0;
    Server()
    {
        QFile users(dir.filePath("users"));
        users.open(QIODevice::WriteOnly);
        users.write("user:secret\n");
        users.close();
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        port = probe.serverPort();
        probe.close();
        radicale.start("/usr/bin/python3",
                       {"-m", "radicale", "--config", "", "--storage-filesystem-folder", dir.filePath("store"),
                        "--auth-type", "htpasswd", "--auth-htpasswd-filename", dir.filePath("users"),
                        "--auth-htpasswd-encryption", "plain", "--server-hosts", QString("127.0.0.1:%1").arg(port)});
        for (int i = 0; i < 100; ++i) {
            QTcpSocket s;
            s.connectToHost("127.0.0.1", port);
            if (s.waitForConnected(200))
                break;
            QThread::msleep(100);
        }
        QNetworkAccessManager net;
        for (const auto& [path, verb, body] :
             {std::tuple{"book", "MKCOL",
                         "<mkcol xmlns='DAV:' xmlns:C='urn:ietf:params:xml:ns:carddav'><set><prop><resourcetype>"
                         "<collection/><C:addressbook/></resourcetype></prop></set></mkcol>"},
              std::tuple{"cal", "MKCALENDAR", ""}}) {
            QNetworkRequest request(QUrl(QString("http://127.0.0.1:%1/user/%2/").arg(port).arg(path)));
            request.setRawHeader("Authorization", "Basic " + QByteArray("user:secret").toBase64());
            QNetworkReply* reply = net.sendCustomRequest(request, verb, QByteArray(body));
            while (!reply->isFinished())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            delete reply;
        }
    }
    ~Server()
    {
        radicale.terminate();
        radicale.waitForFinished();
    }
};

void fill(Connection& con)
{
    QString sql = QStringLiteral("BEGIN;");
    for (int i = 0; i < kCount; ++i)
        sql += QStringLiteral("INSERT INTO tblAddress (FirstName, LastName, Email, Comments) VALUES "
                              "('Given%1', 'Family%1', 'p%1@example.org', 'Likes tea');"
                              "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES "
                              "('%2', '8:30AM', '9:00 AM', 'Meeting %1');")
                   .arg(i)
                   .arg(QStringLiteral("%1/%2/26").arg(1 + i % 12).arg(1 + i % 28));
    sql += QStringLiteral("COMMIT;");
    sqlite3_exec(con.handle(), sql.toUtf8().constData(), nullptr, nullptr, nullptr);
}

// The same resources, as the first server stored them, sent to a new server
// by one curl (one connection, If-None-Match as ours): the seconds from its
// start to its end, start-up included.
double curlSeconds(const Server& first)
{
    Server second;
    double seconds = 0;
    for (const auto& [collection, type] :
         {std::pair{"book", "text/vcard; charset=utf-8"}, std::pair{"cal", "text/calendar; charset=utf-8"}}) {
        const QString folder = first.dir.filePath(QString("store/collection-root/user/") + collection);
        const QStringList files = QDir(folder).entryList({"*.vcf", "*.ics"}, QDir::Files);
        QProcess curl;
        curl.setWorkingDirectory(folder);
        QElapsedTimer clock;
        clock.start();
        curl.start("curl", {"-s", "-f", "-o", "/dev/null", "-u", "user:secret", "-H", "If-None-Match: *", "-H",
                            QString("Content-Type: ") + type, "-T", '{' + files.join(',') + '}',
                            QString("http://127.0.0.1:%1/user/%2/").arg(second.port).arg(collection)});
        curl.waitForFinished(-1);
        seconds += double(clock.nsecsElapsed()) / 1e9;
        if (curl.exitCode() != 0 || files.size() != kCount)
            return -1;
    }
    return seconds;
}

void BM_Sync(benchmark::State& state)
{
    const bool nothingChanged = state.range(0) == 1;
    int requests = 0;
    for (auto _ : state) {
        Server server;
        QTemporaryDir app;
        QDir(app.path()).mkpath("Data");
        AppFolder::setPath(app.path());
        Connection con;
        con.Open(AppFolder::databaseFile());
        fill(con);
        const SyncSettings settings{QString("http://127.0.0.1:%1/").arg(server.port), "user", "secret"};
        if (nothingChanged)  // the first sync, then one that leaves the server's caches warm
            for (int i = 0; i < 2; ++i)
                DavSync(settings, ConnectionSettings()).run(con);
        DavSync sync(settings, ConnectionSettings());
        restartPeak();
        QElapsedTimer clock;
        clock.start();
        const DavSync::Result result = sync.run(con);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        countPeakAndLoad(state.counters);
        if (!result.ok || result.contacts.leftOut + result.appointments.leftOut)
            state.SkipWithError(result.lines.join(u' ').toUtf8().constData());
        requests = result.requests;
        if (!nothingChanged)
            state.counters["curl_s"] = curlSeconds(server);
    }
    state.counters["requests"] = requests;
}
BENCHMARK(BM_Sync)
    ->ArgName("nothing_changed")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
