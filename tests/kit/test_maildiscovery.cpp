// Mail settings found from an address: the autoconfig reader on documents
// shaped as providers publish them, the provider list and SRV answers, and
// the engine against a real HTTPS server on loopback (Python's http.server
// with a certificate of the test authority for the routed names).
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "MailServers.h"
#include "kit/MailDiscovery.h"
#include "support/Files.h"
#include "support/Golden.h"
#include "support/Require.h"

using namespace std::chrono_literals;

namespace {

const QString kAddress = QStringLiteral("anna@example.test");

// Serves the folder "site" over HTTPS ("tls") or in clear ("plain"), or
// takes each request and never answers ("hang"); each path asked is a line of "asked".
const char kServer[] = R"PY(import http.server, os, ssl, sys, time
folder, port, mode, cert, key = sys.argv[1:6]
class Handler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *a, **k):
        super().__init__(*a, directory=os.path.join(folder, 'site'), **k)
    def do_GET(self):
        with open(os.path.join(folder, 'asked'), 'a') as f:
            f.write(self.path + '\n')
        if mode == 'hang':
            time.sleep(3600)
        super().do_GET()
    def log_message(self, *args):
        pass
server = http.server.ThreadingHTTPServer(('127.0.0.1', int(port)), Handler)
server.daemon_threads = True
if mode != 'plain':
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(cert, key)
    server.socket = ctx.wrap_socket(server.socket, server_side=True)
server.serve_forever()
)PY";

QString described(const std::optional<FoundSettings>& found)
{
    return found ? describeFound(*found) : QStringLiteral("nothing found");
}

}  // namespace

class TestMailDiscovery : public QObject {
    Q_OBJECT
    TestCertificates certs;
    QTemporaryDir dir;
    QProcess server;
    quint16 port = 0;

    // The server in `mode` with the certificate `cert`, serving `files` (path -> bytes).
    void serve(const QString& mode, const QString& cert, const QHash<QString, QByteArray>& files)
    {
        server.kill();
        server.waitForFinished();
        QDir(dir.filePath("site")).removeRecursively();
        QFile::remove(dir.filePath("asked"));
        for (auto f = files.cbegin(); f != files.cend(); ++f) {
            QDir().mkpath(QFileInfo(dir.filePath("site" + f.key())).path());
            QVERIFY(writeFile(dir.filePath("site" + f.key()), f.value()));
        }
        QDir().mkpath(dir.filePath("site"));
        port = freeLoopbackPort();
        server.setProcessChannelMode(QProcess::ForwardedChannels);
        server.start("python3", {dir.filePath("server.py"), dir.path(), QString::number(port), mode, certs.pem(cert),
                                 certs.key(cert)});
        QVERIFY(QTest::qWaitFor(
            [&] {
                QTcpSocket probe;
                probe.connectToHost("127.0.0.1", port);
                return probe.waitForConnected(100);
            },
            10000));
    }
    // Both names of the domain routed to the server, its authority trusted.
    DiscoveryOptions routed(std::chrono::milliseconds limit) const
    {
        const DiscoveryRoute route{QStringLiteral("127.0.0.1"), port};
        return {limit, {{"autoconfig.example.test", route}, {"example.test", route}}};
    }
    ConnectionSettings trusting() const
    {
        ConnectionSettings settings;
        settings.extraCaCertificates = QSslCertificate::fromPath(certs.pem("ca"));
        return settings;
    }
    QStringList asked() const
    {
        return QString::fromUtf8(readFile(dir.filePath("asked"))).split('\n', Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase()
    {
        QString why;
        if (!certs.make(&why))
            SKIP_OR_FAIL(why);
        QVERIFY(writeFile(dir.filePath("server.py"), kServer));
    }
    void cleanupTestCase()
    {
        server.kill();
        server.waitForFinished();
    }

    void parsed_data() { Golden::addRows("autoconfig", {"*.xml"}); }
    void parsed()
    {
        QFETCH(QString, input);
        std::optional<FoundSettings> found = readAutoconfig(readFile(input), QStringLiteral("anna@example.com"));
        if (found)
            found->from = QStringLiteral("https://autoconfig.example.com/mail/config-v1.1.xml");
        Golden::compare(input, described(found) + '\n'
                                   + (found ? hostBoxText(found->in) + ' ' + hostBoxText(found->out) : QString())
                                   + '\n');
    }

    // The provider list by domain, and the choice among SRV answers.
    void builtInAndSrv()
    {
        const std::optional<FoundSettings> google = builtInSettings(QStringLiteral(" Anna@GoogleMail.com "));
        QVERIFY(google);
        QCOMPARE(google->in, FoundServer({"imap.gmail.com", 993, FoundTls::Tls}));
        QCOMPARE(google->userName, "Anna@GoogleMail.com");
        QCOMPARE(google->signIn, FoundSettings::SignIn::OAuth2);
        QVERIFY(!builtInSettings("anna@notgmail.com"));
        QVERIFY(!builtInSettings("gmail.com"));
        QCOMPARE(addressDomain("a@b@Example.ORG"), "example.org");
        QVERIFY(addressDomain("@example.org").isEmpty());

        // _imaps none, _imap ".", _pop3s and _pop3 answered, _submissions none, _submission answered.
        const std::optional<FoundSettings> srv = settingsFromSrv(
            {{}, {".", 143}, {"Pop.Example.test", 995}, {"pop.example.test", 110}, {}, {"smtp.example.test", 587}},
            kAddress);
        QVERIFY(srv);
        QCOMPARE(srv->incoming, IncomingKind::Pop3);
        QCOMPARE(srv->in, FoundServer({"pop.example.test", 995, FoundTls::Tls}));
        QCOMPARE(srv->out, FoundServer({"smtp.example.test", 587, FoundTls::StartTls}));
        QCOMPARE(srv->from, "example.test");
        QVERIFY(!settingsFromSrv({{}, {}, {}, {}, {}, {}}, kAddress));
    }

    // The engine against the server: which document it takes, and nothing,
    // within its limits, from what it must not believe.
    void fetched_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("cert");
        QTest::addColumn<QString>("first");   // what /mail/config-v1.1.xml holds ("": none, 404)
        QTest::addColumn<QString>("second");  // the same of /.well-known/autoconfig/mail/config-v1.1.xml
        QTest::addColumn<QString>("from");    // the URL the settings come from, empty: nothing found
        const QString good = "imap-tls-listed-first.xml";
        const QString firstUrl = "https://autoconfig.example.test/mail/config-v1.1.xml";
        const QString secondUrl = "https://example.test/.well-known/autoconfig/mail/config-v1.1.xml";
        QTest::newRow("first answers") << "tls"
                                       << "names" << good << "oauth2-before-password.xml" << firstUrl;
        QTest::newRow("first 404, second answers") << "tls"
                                                   << "names"
                                                   << "" << good << secondUrl;
        QTest::newRow("garbage, then a web page") << "tls"
                                                  << "names"
                                                  << "garbage"
                                                  << "web-page.xml"
                                                  << "";
        QTest::newRow("too large") << "tls"
                                   << "names"
                                   << "huge"
                                   << ""
                                   << "";
        QTest::newRow("plain HTTP only") << "plain"
                                         << "names" << good << good << "";
        QTest::newRow("certificate for another name") << "tls"
                                                      << "good" << good << good << "";
        QTest::newRow("never answers") << "hang"
                                       << "names" << good << good << "";
    }
    void fetched()
    {
        QFETCH(QString, mode);
        QFETCH(QString, cert);
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, from);
        const auto content = [](const QString& name) {
            if (name == "garbage")
                return QByteArray("\x00\xff<clientConfig><<<", 19);
            if (name == "huge")  // a good document, made large by a comment
                return readFile(Golden::folder("autoconfig") + "/imap-tls-listed-first.xml")
                    .replace("<clientConfig",
                             "<!-- " + QByteArray(MailDiscovery::kMaxDocument, 'x') + " --><clientConfig");
            return readFile(Golden::folder("autoconfig") + '/' + name);
        };
        QHash<QString, QByteArray> files;
        if (!first.isEmpty())
            files.insert("/mail/config-v1.1.xml", content(first));
        if (!second.isEmpty())
            files.insert("/.well-known/autoconfig/mail/config-v1.1.xml", content(second));
        serve(mode, cert, files);

        constexpr auto kLimit = 3000ms;  // room for a slow first handshake (sanitizers, a busy machine)
        MailDiscovery discovery(trusting(), routed(kLimit));
        QSignalSpy spy(&discovery, &MailDiscovery::finished);
        QElapsedTimer clock;
        clock.start();
        discovery.find(kAddress);
        QVERIFY(spy.wait(10000));
        // Two documents and the DNS step, each within its limit.
        QVERIFY2(clock.elapsed() < 3 * kLimit.count() + 1000, qPrintable(QString::number(clock.elapsed())));
        const auto found = spy.at(0).at(0).value<FoundSettings>();
        QCOMPARE(found.from, from);
        if (!from.isEmpty()) {
            QCOMPARE(found.source, FoundSettings::Source::Autoconfig);
            QCOMPARE(found.in, FoundServer({"imap.example.com", 993, FoundTls::Tls}));
            QCOMPARE(found.userName, kAddress);  // %EMAILADDRESS%
        } else {
            QVERIFY(!found.any());
        }
        QTest::qWait(50);
        QCOMPARE(spy.size(), 1);
    }

    // A provider of the list is answered without a single request; a find
    // started anew drops the one under way.
    void builtInAsksNoNetworkAndANewFindDropsTheOld()
    {
        serve("hang", "names", {});
        DiscoveryOptions options = routed(5s);
        options.routes.insert("autoconfig.gmail.com", options.routes.value("example.test"));
        options.routes.insert("gmail.com", options.routes.value("example.test"));
        MailDiscovery discovery(trusting(), options);
        QSignalSpy spy(&discovery, &MailDiscovery::finished);
        discovery.find(kAddress);  // waits on the server that never answers
        QTRY_VERIFY(asked().size() == 1);
        discovery.find("anna@yahoo.com");  // found at once, but given up for the next
        discovery.find("anna@gmail.com");
        QVERIFY(spy.wait(2000));
        const auto found = spy.at(0).at(0).value<FoundSettings>();
        QCOMPARE(found.source, FoundSettings::Source::BuiltIn);
        QCOMPARE(found.out, FoundServer({"smtp.gmail.com", 465, FoundTls::Tls}));
        QTest::qWait(200);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(asked(), QStringList{"/mail/config-v1.1.xml"});  // the first find's, none since
    }
};

QTEST_MAIN(TestMailDiscovery)
#include "test_maildiscovery.moc"
