#include "MailServers.h"
#include "MailTest.h"
#include "support/Fixture.h"
#include "support/Require.h"

#include "controls/Buttons.h"
#include "controls/ListView.h"
#include "kit/ConnectionSettings.h"
#include "kit/MailSettings.h"
#include "kit/OAuth2.h"
#include "kit/OAuthReply.h"
#include "mail/CMessages.h"
#include "mail/ImapSession.h"
#include "mail/MailConnection.h"
#include "mail/OAuthConversation.h"
#include "mail/Pop3Session.h"
#include "mail/SmtpSession.h"
#include "mail/frmCheckEmail.h"
#include "mail/frmSendEmail.h"
#include "store/Connection.h"
#include "sync/SyncNow.h"
#include "sync/SyncProgress.h"
#include "sync/frmSyncSettings.h"
#include "window/SignInSettings.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

using namespace std::chrono_literals;

namespace {

// Plays the system browser: opens the authorization page, posts its login
// form as anna, and follows the redirect back to the program; or, as told,
// comes back with another state or with garbage.
struct TestBrowser {
    enum class Way { Follow, OtherState, Garbage, Away };
    Way way = Way::Follow;
    int opened = 0;
    QNetworkAccessManager net;

    QNetworkReply* fetch(QNetworkReply* reply)
    {
        QSignalSpy done(reply, &QNetworkReply::finished);
        if (!reply->isFinished())
            done.wait(10000);
        reply->deleteLater();
        return reply;
    }

    void open(const QUrl& url)
    {
        ++opened;
        if (way == Way::Away)
            return;  // the user never finishes the page
        QTimer::singleShot(0, &net, [this, url] { follow(url); });
    }

    void follow(const QUrl& url)
    {
        const QByteArray page = fetch(net.get(QNetworkRequest(url)))->readAll();
        const QString action = QRegularExpression(QStringLiteral("action=\"([^\"]*)\""))
                                   .match(QString::fromUtf8(page))
                                   .captured(1)
                                   .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        QNetworkRequest post(url.resolved(QUrl(action)));
        post.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
        post.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        QUrl back(
            QString::fromLatin1(fetch(net.post(post, "username=anna&password=pass%20word"))->rawHeader("Location")));
        if (way == Way::Garbage) {
            QTcpSocket raw;
            raw.connectToHost(back.host(), quint16(back.port()));
            raw.waitForConnected(5000);
            raw.write("\x16\x03\x01 not a request at all\r\n\r\n");
            raw.waitForBytesWritten(5000);
            raw.waitForDisconnected(5000);
            return;
        }
        if (way == Way::OtherState) {
            QUrlQuery q(back);
            q.removeQueryItem(QStringLiteral("state"));
            q.addQueryItem(QStringLiteral("state"), QStringLiteral("forged"));
            back.setQuery(q);
        }
        fetch(net.get(QNetworkRequest(back)));
    }
};

struct Outcome {
    bool ok = false;
    QStringList notices;  // the conversation's
    QString signInFailed;
    int starts = 0;  // conversations begun: 2 after a refused token
};

// One conversation of `session` through the sign-in, as the screens run it;
// `begin` starts the session with the token.
Outcome converse(OAuthSignIn& signIn, MailSession& session, quint16 port,
                 const std::function<void(const QString&)>& begin)
{
    Outcome out;
    QObject owner;
    MailConnection connection(session, connectionSettings(), &owner);
    OAuthConversation conversation(signIn, session, connection, &owner);
    QObject::connect(&connection, &MailConnection::notice, &owner, [&](const MailNotice& n) { out.notices << n.text; });
    QObject::connect(&conversation, &OAuthConversation::signInFailed, &owner,
                     [&](const QString& m) { out.signInFailed = m; });
    QSignalSpy finished(&conversation, &OAuthConversation::finished);
    conversation.run([&](const QString& token) {
        ++out.starts;
        begin(token);
        connection.open(QStringLiteral("127.0.0.1"), port, TlsMode::Offered);
    });
    if (finished.wait(40000))
        out.ok = finished.first().first().toBool();
    else
        out.notices << QStringLiteral("no end");
    return out;
}

// One IMAP check of INBOX.
Outcome check(OAuthSignIn& signIn, quint16 port)
{
    ImapSession session;
    return converse(signIn, session, port, [&](const QString& token) {
        session.start(QStringLiteral("anna"), token, ImapPlan(), QStringLiteral("127.0.0.1"));
    });
}

}  // namespace

class TestMailOAuth : public QObject {
    Q_OBJECT

    OAuthTestServer auth;
    std::unique_ptr<AppFixture> fx;
    TestBrowser browser;

    OAuthProvider provider(const QString& scope = QStringLiteral("mail")) const
    {
        return {OAuthProviderKind::Custom,
                QUrl(auth.url(QStringLiteral("/authorize"))),
                QUrl(auth.url(QStringLiteral("/token"))),
                scope,
                QStringLiteral("tessaly-test"),
                {}};
    }

    // dovecot checking tokens at the server, by `mechanisms`, for tokens of the scope "mail".
    bool startDovecot(Pop3TestServer& dovecot, const QString& mechanisms)
    {
        QString why;
        dovecot.checkTokensAt(auth.introspectionUrl(), mechanisms, QStringLiteral("mail"));
        if (!dovecot.start(&why) || dovecot.imapPort() == 0) {
            qWarning() << why;
            return false;
        }
        return true;
    }

private slots:
    void initTestCase()
    {
        for (const QString& missing : {Pop3TestServer::missing(), OAuthTestServer::missing()}) {
            if (!missing.isEmpty())
                SKIP_OR_FAIL(missing);
        }
        QString why;
        QVERIFY2(auth.start(&why), qPrintable(why));
        setOAuthBrowser([this](const QUrl& url) { browser.open(url); });
    }

    void init()
    {
        fx.reset();  // the old one gives the application folder back first
        fx = std::make_unique<AppFixture>();
        fx->makeDataFolder();
        browser.way = TestBrowser::Way::Follow;
        browser.opened = 0;
    }

    // The account's way of signing in is kept beside its row; the refresh
    // token goes to the keyring alone. A first check signs in through the
    // browser, the next ones use the token held, renew one that runs out
    // before using it, and renew once one the server refused; a revoked
    // grant asks for a new sign-in, naming the account.
    void signInRenewAndRevoke()
    {
        Pop3TestServer dovecot(QStringLiteral("anna"), QString());
        QVERIFY(startDovecot(dovecot, QStringLiteral("xoauth2 oauthbearer")));
        Db::exec(fx->dbPath(), "INSERT INTO tblEmail (SMTP, UserName) VALUES ('127.0.0.1', 'anna')");
        Connection con;
        con.Open(fx->dbPath());
        saveSignIn(con, 1, SignInKind::OAuth2, provider());
        const std::optional<MailSettings> settings = readMailSettings(con, [](const StoreError&) {});
        QVERIFY(settings && settings->signIn == SignInKind::OAuth2 && settings->oauth.scope == "mail");
        OAuthSignIn& signIn = accountSignIn(con, *settings);
        QSignalSpy kept(&signIn, &OAuthSignIn::refreshTokenChanged);

        Outcome first = check(signIn, dovecot.imapPort());
        QVERIFY2(first.ok, qPrintable(first.notices.join('\n') + first.signInFailed));
        QCOMPARE(browser.opened, 1);
        QCOMPARE(auth.grants(), QByteArrayList{"authorization_code anna mail"});
        QCOMPARE(kept.size(), 1);
        const QString refresh = kept.first().first().toString();
        QVERIFY(!refresh.isEmpty());
        QVERIFY(Db::rows(fx->dbPath(), QStringLiteral("tblEmailSignIn")).first().values().indexOf(refresh) < 0);
        if (qEnvironmentVariableIntValue("TESSALY_TEST_KEYRING") == 1)
            QTRY_COMPARE(Secrets::readNow(secretKey(con, oauthSecret(1))).text, refresh);

        // Held and fresh: no grant used.
        QVERIFY(check(signIn, dovecot.imapPort()).ok);
        QCOMPARE(auth.grants().size(), 1);

        // The server ended the access token early: refused once, renewed, in.
        QVERIFY(auth.steer(QStringLiteral("steer"), QStringLiteral("expires_in=5")));
        QVERIFY(auth.steer(QStringLiteral("revoke"), QStringLiteral("user=anna&what=access")));
        Outcome renewed = check(signIn, dovecot.imapPort());
        QVERIFY2(renewed.ok && renewed.notices.isEmpty(), qPrintable(renewed.notices.join('\n')));
        QCOMPARE(renewed.starts, 2);
        QCOMPARE(auth.grants().last(), "refresh_token anna mail");
        // That token runs out within a minute: renewed before it is used.
        Outcome early = check(signIn, dovecot.imapPort());
        QVERIFY(early.ok);
        QCOMPARE(early.starts, 1);
        QCOMPARE(auth.grants().size(), 3);
        QCOMPARE(browser.opened, 1);
        QVERIFY(auth.steer(QStringLiteral("steer"), QStringLiteral("expires_in=3600")));

        // A new run of the program, with what the keyring keeps.
        if (qEnvironmentVariableIntValue("TESSALY_TEST_KEYRING") == 1) {
            OAuthSignIn again(provider(), QStringLiteral("anna"), connectionSettings());
            again.setRefreshToken(Secrets::readNow(secretKey(con, oauthSecret(1))).text);
            QVERIFY(check(again, dovecot.imapPort()).ok);
            QCOMPARE(browser.opened, 1);
        }

        // The grant revoked: the renewal is refused, the user asked to sign in again.
        QVERIFY(auth.steer(QStringLiteral("revoke"), QStringLiteral("user=anna")));
        Outcome revoked = check(signIn, dovecot.imapPort());
        QVERIFY(!revoked.ok && revoked.notices.isEmpty());
        QVERIFY2(revoked.signInFailed.contains(QStringLiteral("anna"))
                     && revoked.signInFailed.contains(QStringLiteral("sign in again")),
                 qPrintable(revoked.signInFailed));
        QVERIFY(kept.last().first().toString().isEmpty());
        QVERIFY(!signIn.hasRefreshToken());
        if (qEnvironmentVariableIntValue("TESSALY_TEST_KEYRING") == 1)
            QTRY_COMPARE(int(Secrets::readNow(secretKey(con, oauthSecret(1))).outcome), int(Secrets::Outcome::Missing));
    }

    // The sync signs in the same way and sends only the bearer token to the
    // address book and calendar server; a token the server ended is renewed
    // and the sync tried again, quietly; the command line opens no browser.
    void syncWithBearer()
    {
        // The custom provider's details, as the user types them.
        Screens::show<frmSyncSettings>();
        auto* screen = visibleWindow<frmSyncSettings>();
        QVERIFY(screen);
        screen->txtServer->setText(auth.url(QStringLiteral("/dav/")));
        screen->txtSyncUserName->setText(QStringLiteral("anna"));
        screen->cboSignIn->setCurrentIndex(2);
        emit screen->cboSignIn->activated(2);
        auto* details = visibleWindow<SignInSettings>();
        QVERIFY(details && !details->cmdOK->isEnabled());
        const OAuthProvider p = provider(QStringLiteral("dav"));
        details->txtClientId->setText(p.clientId);
        details->txtAuthorizationUrl->setText(QStringLiteral("http://192.0.2.1/authorize"));
        details->txtTokenUrl->setText(p.tokenUrl.toString());
        QVERIFY(!details->cmdOK->isEnabled() && details->lblWhy->text().contains(QStringLiteral("https")));
        details->txtAuthorizationUrl->setText(p.authorizationUrl.toString());
        details->txtScope->setText(p.scope);
        details->cmdOK->click();
        screen->cmdSave->click();
        Connection con;
        con.Open(fx->dbPath());
        const SyncSettings s = SyncStore::readSettings(con);
        QVERIFY(s.signIn == SignInKind::OAuth2 && s.oauth.kind == OAuthProviderKind::Custom);
        QCOMPARE(QStringList({s.oauth.clientId, s.oauth.authorizationUrl.toString(), s.oauth.tokenUrl.toString(),
                              s.oauth.scope}),
                 QStringList({p.clientId, p.authorizationUrl.toString(), p.tokenUrl.toString(), p.scope}));
        const qsizetype earlier = auth.grants().size();  // the other cases'
        QVERIFY(SyncNow::run().message.contains(QStringLiteral("File, Sync Now")));
        QCOMPARE(auth.grants().size(), earlier);
        Db::exec(fx->dbPath(), "INSERT INTO tblAddress (FirstName) VALUES ('Ann')");
        qsizetype before = fx->messages.size();
        SyncNow::withProgress();
        QTRY_VERIFY_WITH_TIMEOUT(fx->messages.size() > before, 30000);
        QString said = fx->messages.last().text;
        QVERIFY2(said.startsWith(QStringLiteral("Contacts: 1 sent")), qPrintable(said));
        QCOMPARE(browser.opened, 1);
        QCOMPARE(auth.grants().at(earlier), "authorization_code anna dav");
        QVERIFY(auth.grants().size() > earlier + 2);
        for (const QByteArray& line : auth.grants().mid(earlier + 1))
            QCOMPARE(line, "dav anna Bearer");

        QVERIFY(auth.steer(QStringLiteral("revoke"), QStringLiteral("user=anna&what=access")));
        before = fx->messages.size();
        SyncNow::withProgress();
        QTRY_VERIFY_WITH_TIMEOUT(fx->messages.size() > before, 30000);
        said = fx->messages.last().text;
        QVERIFY2(said.startsWith(QStringLiteral("Contacts: 0 sent")), qPrintable(said));
        QCOMPARE(browser.opened, 1);
        const QByteArrayList after = auth.grants().mid(earlier);
        QVERIFY(after.contains("dav - Bearer") && after.contains("refresh_token anna dav"));
        QCOMPARE(after.last(), "dav anna Bearer");
        QVERIFY(!after.contains("dav - Basic") && !after.contains("dav - none"));
    }

    // What ends a sign-in or a login, each with its message and nothing sent
    // where nothing may go.
    void signInFailures()
    {
        Pop3TestServer dovecot(QStringLiteral("anna"), QString());
        QVERIFY(startDovecot(dovecot, QStringLiteral("xoauth2 oauthbearer")));
        const auto failure = [&](TestBrowser::Way way, const QString& scope = QStringLiteral("mail")) {
            browser.way = way;
            OAuthSignIn signIn(provider(scope), QStringLiteral("anna@example.org"), connectionSettings());
            if (way == TestBrowser::Way::Away)
                signIn.setBrowserLimit(1000);
            return check(signIn, dovecot.imapPort());
        };
        // The browser comes back from another sign-in, with garbage, or not at all.
        for (const auto& [way, said] : {std::pair(TestBrowser::Way::OtherState, "not asked for"),
                                        std::pair(TestBrowser::Way::Garbage, "no sign-in answer"),
                                        std::pair(TestBrowser::Way::Away, "not finished in time")}) {
            const Outcome o = failure(way);
            QVERIFY(!o.ok && o.starts == 0);
            QVERIFY2(o.signInFailed.contains(QStringLiteral("anna@example.org")), qPrintable(o.signInFailed));
            QVERIFY2(o.signInFailed.contains(QLatin1String(said)), qPrintable(o.signInFailed));
        }
        // A token of the wrong scope: refused, renewed, refused again, told.
        browser.way = TestBrowser::Way::Follow;
        const Outcome scope = failure(TestBrowser::Way::Follow, QStringLiteral("calendar"));
        QVERIFY(!scope.ok && scope.starts == 2 && scope.notices.size() == 1);
        QVERIFY2(scope.notices.first().contains(QStringLiteral("Authentication failed")),
                 qPrintable(scope.notices.first()));

        // The token endpoint garbled or silent.
        QVERIFY(auth.steer(QStringLiteral("steer"), QStringLiteral("garbage=1")));
        const Outcome garbled = failure(TestBrowser::Way::Follow);
        QVERIFY2(garbled.signInFailed.contains(QStringLiteral("unreadable")), qPrintable(garbled.signInFailed));
        QVERIFY(auth.steer(QStringLiteral("steer"), QStringLiteral("garbage=0&hang=1")));
        const ConnectionSettings before = connectionSettings();
        setConnectionSettings({2s, 2s, {}});
        const Outcome silent = failure(TestBrowser::Way::Follow);
        setConnectionSettings(before);
        QVERIFY(auth.steer(QStringLiteral("steer"), QStringLiteral("hang=0")));
        QVERIFY2(silent.signInFailed.contains(QStringLiteral("did not answer within 2 seconds"))
                     && silent.signInFailed.contains(QStringLiteral("anna@example.org")),
                 qPrintable(silent.signInFailed));
        QCOMPARE(silent.starts, 0);

        // Endpoints in clear to another computer are not used.
        OAuthProvider clear = provider();
        clear.tokenUrl = QUrl(QStringLiteral("http://192.0.2.1/token"));
        OAuthSignIn insecure(clear, QStringLiteral("anna@example.org"), connectionSettings());
        const Outcome o = check(insecure, dovecot.imapPort());
        QVERIFY2(o.signInFailed.contains(QStringLiteral("not secure")), qPrintable(o.signInFailed));
        QCOMPARE(browser.opened, 6);  // not for this one
    }

    // The mechanism is the server's: OAUTHBEARER alone will do; a server that
    // offers neither gets no password in its place.
    void mechanisms()
    {
        Pop3TestServer bearer(QStringLiteral("anna"), QString());
        QVERIFY(startDovecot(bearer, QStringLiteral("oauthbearer")));
        OAuthSignIn signIn(provider(), QStringLiteral("anna"), connectionSettings());
        const Outcome o = check(signIn, bearer.imapPort());
        QVERIFY2(o.ok, qPrintable(o.notices.join('\n')));

        Pop3TestServer password(QStringLiteral("anna"), QStringLiteral("pass word"));
        QString why;
        QVERIFY2(password.start(&why), qPrintable(why));
        const Outcome none = check(signIn, password.imapPort());
        QVERIFY(!none.ok && none.starts == 1 && none.notices.size() == 1);
        QVERIFY2(none.notices.first().contains(QStringLiteral("offers no OAuth2 sign-in")),
                 qPrintable(none.notices.first()));
    }

    // POP3 and SMTP sign in with the token too: a check through dovecot's
    // POP3, a message sent through its submission service (relayed to
    // aiosmtpd), the second after the server refused a token once. Then the
    // check and send screens of an OAuth2 IMAP account: one sign-in for both.
    void pop3SmtpAndScreens()
    {
        if (const QString missing = SmtpTestServer::missing(); !missing.isEmpty())
            SKIP_OR_FAIL(missing);
        SmtpTestServer relay;
        QString why;
        QVERIFY2(relay.start(&why), qPrintable(why));
        Pop3TestServer dovecot(QStringLiteral("anna"), QString());
        const quint16 submission = freeLoopbackPort();
        dovecot.setExtraConfig(QStringLiteral("protocols = $protocols submission\nhostname = localhost\n"
                                              "submission_relay_host = 127.0.0.1\nsubmission_relay_port = %1\n"
                                              "submission_relay_trusted = yes\n"
                                              "service submission-login {\n  inet_listener submission {\n"
                                              "    port = %2\n  }\n}\n")
                                   .arg(relay.port())
                                   .arg(submission));
        QVERIFY(dovecot.addMessage("From: b@example.org\r\nSubject: Hi\r\nMessage-ID: <1@example.org>\r\n\r\nHi\r\n"));
        QVERIFY(startDovecot(dovecot, QStringLiteral("oauthbearer xoauth2")));
        OAuthSignIn signIn(provider(), QStringLiteral("anna"), connectionSettings());

        CMessages messages;
        Pop3Session pop3(messages);
        const Outcome fetched = converse(signIn, pop3, dovecot.port(), [&](const QString& token) {
            pop3.start(QStringLiteral("anna"), token, QStringLiteral("127.0.0.1"));
        });
        QVERIFY2(fetched.ok, qPrintable(fetched.notices.join('\n')));
        QCOMPARE(messages.Count(), 1);

        QVERIFY(auth.steer(QStringLiteral("revoke"), QStringLiteral("user=anna&what=access")));
        SmtpSession smtp;
        const Outcome sent = converse(signIn, smtp, submission, [&](const QString& token) {
            SmtpMessage m;
            m.sender = QStringLiteral("anna@example.org");
            m.recipients = QStringLiteral("b@example.org");
            m.subject = QStringLiteral("OAuth2");
            m.text = QStringLiteral("Signed in.");
            m.host = QStringLiteral("127.0.0.1");
            m.userName = QStringLiteral("anna");
            m.password = token;
            smtp.start(m);
        });
        QVERIFY2(sent.ok, qPrintable(sent.notices.join('\n')));
        QCOMPARE(sent.starts, 2);
        const QList<SmtpTestServer::Received> received = relay.waitForMessages(1);
        QCOMPARE(received.size(), 1);
        QVERIFY(received.first().content.contains("Signed in."));

        storeMailSettings(fx->dbPath(), {QStringLiteral("127.0.0.1:%1").arg(submission), "anna@example.org",
                                         QStringLiteral("127.0.0.1:%1").arg(dovecot.imapPort()), "anna", ""});
        Connection con;
        con.Open(fx->dbPath());
        saveIncomingKind(con, 1, IncomingKind::Imap);
        saveSignIn(con, 1, SignInKind::OAuth2, provider());
        browser.opened = 0;
        frmCheckEmail* checkScreen = Screens::show<frmCheckEmail>();
        QTRY_COMPARE_WITH_TIMEOUT(checkScreen->lvMessages->itemCount(), 1, 20000);
        frmSendEmail* sendScreen = Screens::show<frmSendEmail>();
        sendScreen->txtRecipient->setText(QStringLiteral("b@example.org"));
        QTest::mouseClick(sendScreen->cmdSend, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!fx->messages.isEmpty(), 20000);  // the send ended
        QCOMPARE(relay.waitForMessages(2).size(), 2);
        QCOMPARE(browser.opened, 1);
        QVERIFY2(fx->messageTexts().filter(QStringLiteral("rror")).isEmpty(),
                 qPrintable(fx->messageTexts().join('\n')));
    }

    // What the redirect and the token endpoint say is read strictly.
    void readsWhatComesBack()
    {
        const OAuthRedirect r = readRedirect("GET /?code=a%2Bb&state=s1 HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(r.readable);
        QCOMPARE(r.code, QStringLiteral("a+b"));
        QCOMPARE(r.state, QStringLiteral("s1"));
        QVERIFY(readRedirect("GET /?error=access_denied&state=s HTTP/1.1\r\n\r\n").readable);
        for (const QByteArray& bad :
             {QByteArray("POST /?code=a HTTP/1.1\r\n\r\n"), QByteArray("GET /favicon.ico HTTP/1.1"),
              QByteArray("GET /?state=s HTTP/1.1\r\n\r\n"), QByteArray()})
            QVERIFY2(!readRedirect(bad).readable, bad.constData());
        const OAuthTokenAnswer a = readTokenAnswer(
            R"({"access_token":"t","token_type":"bearer","expires_in":"3599","refresh_token":"r"})", 200);
        QVERIFY(a.ok());
        QCOMPARE(a.expiresIn.value_or(0), qint64(3599));
        QCOMPARE(a.refreshToken, QStringLiteral("r"));
        QCOMPARE(readTokenAnswer(R"({"error":"invalid_grant"})", 400).error, QStringLiteral("invalid_grant"));
        for (const QByteArray& bad : {QByteArray(R"({"access_token":"t","token_type":"mac"})"), QByteArray("[1]"),
                                      QByteArray(R"({"access_token":7,"token_type":"Bearer"})")})
            QCOMPARE(readTokenAnswer(bad, 200).error, QStringLiteral("unreadable"));
    }
};

QTEST_MAIN(TestMailOAuth)
#include "test_mail_oauth.moc"
