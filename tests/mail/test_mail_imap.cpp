#include "MailTest.h"

#include "mail/ImapSession.h"

#include <QHostAddress>
#include <QTest>

namespace {

// "v7 last11 +12\Seen -11\Seen x body12": what is held and what to do.
ImapPlan plan(const QString& text)
{
    ImapPlan p;
    for (const QString& w : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (w.startsWith(QLatin1String("last")))
            p.lastKnownUid = w.mid(4).toUInt();
        else if (w.startsWith(QLatin1String("body")))
            p.bodyUid = w.mid(4).toUInt();
        else if (w.startsWith(QLatin1Char('v')))
            p.knownUidValidity = w.mid(1).toUInt();
        else if (w == QLatin1String("x"))
            p.expunge = true;
        else if (w.startsWith(QLatin1Char('+')) || w.startsWith(QLatin1Char('-')))
            p.changes.push_back({w.mid(1, w.indexOf(QLatin1Char('\\')) - 1).toUInt(),
                                 w.mid(w.indexOf(QLatin1Char('\\'))).toLatin1(), w.startsWith(QLatin1Char('+'))});
    }
    return p;
}

QString describe(const ImapResult& r)
{
    QStringList folders;
    for (const ImapFolder& f : r.folders)
        folders << QString::fromUtf8(f.name + (f.selectable ? "" : "(-)"));
    QStringList known;
    for (auto it = r.knownFlags.begin(); it != r.knownFlags.end(); ++it)
        known << QString::number(it.key()) + QLatin1Char(':') + QString::fromLatin1(it.value().join(','));
    known.sort();
    QStringList headers;
    for (const ImapHeader& h : r.headers)
        headers << QStringLiteral("%1:%2:%3:%4")
                       .arg(h.uid)
                       .arg(QString::fromLatin1(h.flags.join(',')))
                       .arg(h.size)
                       .arg(QString::fromLatin1(h.fields).trimmed());
    return QStringLiteral("%1 | v%2 next%3 exists%4%5 | known %6 | new %7 | body %8")
        .arg(folders.join(QLatin1Char(' ')))
        .arg(r.uidValidity)
        .arg(r.uidNext)
        .arg(r.exists)
        .arg(r.uidValidityChanged ? QStringLiteral(" changed") : QString())
        .arg(known.join(QLatin1Char(' ')), headers.join(QLatin1Char(' ')),
             r.body ? QString::fromLatin1(*r.body) : QStringLiteral("-"));
}

const QString kHeaders =
    "UID FETCH %1:* (UID FLAGS RFC822.SIZE BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE MESSAGE-ID)])";
// Greeting to SELECT, the login by AUTHENTICATE PLAIN ("\0anna\0s3cret").
const QStringList kToSelect = {
    "* OK [CAPABILITY IMAP4rev1] ready\r\n => a1 CAPABILITY\r\n",
    "* CAPABILITY IMAP4rev1 AUTH=PLAIN UIDPLUS\r\na1 OK done\r\n => a2 AUTHENTICATE PLAIN\r\n",
    "+ \r\n => AGFubmEAczNjcmV0\r\n", "a2 OK in\r\n => a3 LIST \"\" \"*\"\r\n",
    "* LIST (\\HasNoChildren) \".\" INBOX\r\n* LIST (\\Noselect) \"/\" {6}\r\nWork \"\r\n"
    "* list () NIL \"Sent\"\r\na3 OK\r\n => a4 SELECT \"INBOX\"\r\n"};
const QString kSelected = "* 3 EXISTS\r\n* OK [UIDVALIDITY 7] v\r\n* OK [UIDNEXT 13] n\r\na4 OK [READ-WRITE] s\r\n";
QString error(const QString& text)
{
    return "Exclamation|IMAP Error|IMAP Error: " + text;
}
const QString kFailed = " => close | " + error("%1") + " | failed";

}  // namespace

class TestImapSession : public QObject {
    Q_OBJECT

private slots:
    void conversation_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("plan");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("result");  // after the last step; empty: not compared
        const QString p = QStringLiteral("s3cret");
        const QString folders = "INBOX Work \"(-) Sent";
        QTest::newRow("first sync")
            << p << ""
            << kToSelect
                   + QStringList{kSelected + " => a5 " + kHeaders.arg(1) + "\r\n",
                                 "* 1 FETCH (UID 10 FLAGS (\\Seen) RFC822.SIZE 120 BODY[HEADER.FIELDS (FROM SUBJECT "
                                 "DATE "
                                 "MESSAGE-ID)] {11}\r\nFrom: a\r\n\r\n)\r\n* 3 FETCH (UID 12 RFC822.SIZE 9 FLAGS () "
                                 "BODY[HEADER.FIELDS (FROM SUBJECT DATE MESSAGE-ID)] \"Subject: c\")\r\n"
                                 "* 2 FETCH (UID 11 FLAGS ($X))\r\na5 OK\r\n => a6 LOGOUT\r\n",
                                 "* BYE\r\na6 OK\r\n => close | ok"}
            << folders + " | v7 next13 exists3 | known  | new 10:\\Seen:120:From: a 12::9:Subject: c | body -";
        QTest::newRow("incremental: flags, store, expunge, body")
            << p << "v7 last11 +12\\Seen +11\\Deleted -10\\Seen x body12"
            << kToSelect
                   + QStringList{kSelected + " => a5 UID FETCH 1:11 (FLAGS)\r\n",
                                 "* 1 FETCH (UID 10 FLAGS (\\Seen))\r\n* 2 FETCH (FLAGS () UID 11)\r\na5 OK\r\n => a6 "
                                     + kHeaders.arg(12) + "\r\n",
                                 "* 3 FETCH (UID 12 FLAGS () BODY[HEADER.FIELDS (FROM SUBJECT DATE MESSAGE-ID)] "
                                 "\"\")\r\n"
                                 "* 2 FETCH (UID 11 FLAGS ())\r\na6 OK\r\n => a7 UID STORE 12 +FLAGS (\\Seen)\r\n",
                                 "* 3 FETCH (UID 12 FLAGS (\\Seen))\r\na7 OK\r\n => a8 UID STORE 11 +FLAGS "
                                 "(\\Deleted)\r\n",
                                 "* 2 FETCH (UID 11 FLAGS (\\Deleted))\r\na8 OK\r\n => a9 UID STORE 10 -FLAGS "
                                 "(\\Seen)\r\n",
                                 "* 1 FETCH (UID 10 FLAGS (\\Deleted))\r\na9 OK\r\n => a10 UID EXPUNGE 11\r\n",
                                 "* 2 EXPUNGE\r\na10 OK\r\n => a11 UID FETCH 12 BODY.PEEK[]\r\n",
                                 "* 2 FETCH (UID 12 BODY[] {2}\r\nHi)\r\na11 OK\r\n => a12 LOGOUT\r\n"}
            << folders + " | v7 next13 exists3 | known 10:\\Deleted | new 12:\\Seen:0: | body Hi";
        QTest::newRow("UIDVALIDITY reset: nothing held counts, nothing is touched")
            << p << "v6 last11 +11\\Deleted x body11"
            << kToSelect + QStringList{kSelected + " => a5 " + kHeaders.arg(1) + "\r\n", "a5 OK\r\n => a6 LOGOUT\r\n"}
            << folders + " | v7 next13 exists3 changed | known  | new  | body -";
        QTest::newRow("nothing new, no UIDPLUS: EXPUNGE")
            << p << "v7 last12 +12\\Deleted x"
            << QStringList{kToSelect[0],
                           "* CAPABILITY IMAP4rev1\r\na1 OK\r\n => a2 LOGIN \"anna\" \"s3cret\"\r\n",
                           "a2 OK\r\n => a3 LIST \"\" \"*\"\r\n",
                           "a3 OK\r\n => a4 SELECT \"INBOX\"\r\n",
                           kSelected + " => a5 UID FETCH 1:12 (FLAGS)\r\n",
                           "a5 OK\r\n => a6 UID STORE 12 +FLAGS (\\Deleted)\r\n",
                           "a6 OK\r\n => a7 EXPUNGE\r\n"}
            << "";
        QTest::newRow("LOGIN quotes what it must, refused")
            << "p\"w\\"
            << ""
            << QStringList{kToSelect[0], "* CAPABILITY IMAP4rev1\r\na1 OK\r\n => a2 LOGIN \"anna\" \"p\\\"w\\\\\"\r\n",
                           "a2 NO [AUTHENTICATIONFAILED] bad\r\n" + kFailed.arg("NO bad")}
            << "";
        QTest::newRow("LOGIN cannot carry a line break")
            << "a\nb"
            << ""
            << QStringList{kToSelect[0], "a1 OK\r\n"
                                             + kFailed.arg("The user name or password holds characters the server can "
                                                           "only take with AUTHENTICATE PLAIN, "
                                                           "which it does not offer.")}
            << "";
        QTest::newRow("STARTTLS, what came with it dropped, asked again inside")
            << p << ""
            << QStringList{kToSelect[0], "* CAPABILITY STARTTLS\r\na1 OK\r\n => a2 STARTTLS\r\n",
                           "a2 OK go\r\n* CAPABILITY AUTH=PLAIN\r\n => starttls", "<tls> => a3 CAPABILITY\r\n",
                           "a3 OK\r\n => a4 LOGIN \"anna\" \"s3cret\"\r\n"}
            << "";
        QTest::newRow("required, none offered")
            << p << "tls"
            << QStringList{kToSelect[0], "a1 OK\r\n"
                                             + kFailed.arg("The server imap.example.org offers no secure connection "
                                                           "(STARTTLS). Nothing was sent.")}
            << "";
        QTest::newRow("remote, in clear: nothing sent")
            << p << "remote" << QStringList{kToSelect[0], "* CAPABILITY AUTH=PLAIN\r\na1 OK\r\n => close | failed"}
            << "";
        QTest::newRow("SELECT refused: logged out, failed")
            << p << ""
            << kToSelect
                   + QStringList{"a4 NO no such\r\n => " + error("NO no such") + " | a5 LOGOUT\r\n",
                                 "a5 OK\r\n => close | failed"}
            << "";
        QTest::newRow("BYE before the end")
            << p << ""
            << QStringList{kToSelect[0], "* BYE going\r\n" + kFailed.arg("The server ended the conversation: going")}
            << "";
        QTest::newRow("closed early")
            << p << ""
            << QStringList{kToSelect[0], "<close> => "
                                             + error("The server closed the connection before the check was complete.")
                                             + " | failed"}
            << "";
        const QString unreadable =
            kFailed.arg("The server sent what cannot be read (%1). Nothing of this check was kept.");
        QTest::newRow("literal past the limit")
            << p << ""
            << QStringList{"* OK {301}\r\n"
                           + unreadable.arg("a response announces 301 octets, more than the 300 one may hold")}
            << "";
        QTest::newRow("endless line") << p << ""
                                      << QStringList{"* OK " + QString(300, 'x')
                                                     + unreadable.arg(
                                                         "a response is longer than the 300 octets one may hold")}
                                      << "";
        QTest::newRow("malformed") << p << ""
                                   << QStringList{"* OK\r\n => a1 CAPABILITY\r\n",
                                                  "a1 FOO\r\n"
                                                      + unreadable.arg("a response could not be read (a tagged "
                                                                       "response that is not OK, NO or BAD): a1 FOO")}
                                   << "";
        QTest::newRow("another's tag") << p << ""
                                       << QStringList{"* OK\r\n => a1 CAPABILITY\r\n",
                                                      "a9 OK\r\n" + unreadable.arg("a reply to a command not sent")}
                                       << "";
    }

    // Each conversation twice: as the steps come, then one byte at a time.
    void conversation()
    {
        QFETCH(QString, password);
        QFETCH(QString, plan);
        QFETCH(QStringList, steps);
        QFETCH(QString, result);
        ImapSession s;
        const auto begin = [&] {
            s.start("anna", password, ::plan(plan), "imap.example.org",
                    plan == "tls" ? TlsMode::Required : TlsMode::Offered);
            s.setResponseLimit(300);
            s.connected(QHostAddress::LocalHost, plan != "remote");
        };
        begin();
        converse(s, steps);
        if (!result.isEmpty())
            QCOMPARE(describe(s.result()), result);
        if (std::any_of(steps.begin(), steps.end(), [](const QString& step) { return step.startsWith('<'); }))
            return;
        begin();
        QStringList all;
        QStringList got;
        for (const QString& step : steps) {
            const QString want = step.section(" => ", 1);
            if (!want.isEmpty())
                all << want;
            for (const char c : step.section(" => ", 0, 0).toLatin1()) {
                const QString d = ::describe(s.feed(QByteArray(1, c)));
                if (!d.isEmpty())
                    got << d;
            }
        }
        QCOMPARE(got.join(" | "), all.join(" | "));
    }
};

QTEST_GUILESS_MAIN(TestImapSession)
#include "test_mail_imap.moc"
