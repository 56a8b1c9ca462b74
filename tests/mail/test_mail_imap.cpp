#include "MailTest.h"

#include "mail/ImapSession.h"
#include "support/Golden.h"

#include <QFile>
#include <QHostAddress>
#include <QTest>

namespace {

// "v7 last11 +12\Seen -11\Seen x body12 m10>Work a>Sent": what is held and
// what to do (m: move, a: append of a two-line message); "q15 h10:\Seen":
// the HIGHESTMODSEQ held, and a held message's flags.
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
        else if (w.startsWith(QLatin1Char('m')))
            p.moves.push_back({w.mid(1).section('>', 0, 0).toUInt(), w.section('>', 1).toUtf8()});
        else if (w.startsWith(QLatin1String("a>")))
            p.appends.push_back({w.mid(2).toUtf8(), "Subject: s\r\n\r\nHi\r\n"});
        else if (w.startsWith(QLatin1Char('q')))
            p.knownModSeq = w.mid(1).toULongLong();
        else if (w.startsWith(QLatin1Char('h')))
            p.heldFlags[w.mid(1).section(':', 0, 0).toUInt()] = w.section(':', 1).toLatin1().split(',');
        else if (w == QLatin1String("idle"))
            p.idle = true;
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
    QStringList done;
    for (const auto* list : {&r.moved, &r.appended}) {
        for (const ImapDone& d : *list)
            done << QStringLiteral("%1:%2:%3").arg(int(d.outcome)).arg(d.uid).arg(d.reason);
        done << QStringLiteral("/");
    }
    return QStringLiteral("%1 | v%2 next%3 exists%4%5 | known %6 | new %7 | body %8%9")
        .arg(folders.join(QLatin1Char(' ')))
        .arg(r.uidValidity)
        .arg(r.uidNext)
        .arg(r.exists)
        .arg((r.uidValidityChanged ? QStringLiteral(" changed") : QString())
             + (r.highestModSeq ? QStringLiteral(" modseq%1").arg(r.highestModSeq) : QString())
             + (r.changesOnly ? QStringLiteral(" changes") : QString())
             + (r.expungeWithheld ? QStringLiteral(" withheld") : QString()))
        .arg(known.join(QLatin1Char(' ')), headers.join(QLatin1Char(' ')),
             r.body ? QString::fromLatin1(*r.body) : QStringLiteral("-"),
             done.size() > 2 ? QStringLiteral(" | done ") + done.join(QLatin1Char(' ')) : QString());
}

}  // namespace

// Each file of tests/data/imap/ is one conversation: "password:" and
// "plan:" (with "tls": TLS required, "remote": not this computer), then
// what the server says, step by step after each "--" line; lines end in CR
// LF unless marked <no line end>; <tls>, <close>, <timeout> and <stop> (of
// an IDLE) stand for those events.
// Its .expected holds what the session did at each step, then the result.
class TestImapSession : public QObject {
    Q_OBJECT

private slots:
    void conversation_data() { Golden::addRows(QStringLiteral("imap"), {QStringLiteral("*.imap")}); }

    // Each conversation twice: as the steps come, then one byte at a time.
    void conversation()
    {
        QFETCH(QString, input);
        QFile file(input);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList parts = QString::fromUtf8(file.readAll()).split(QStringLiteral("--\n"));
        QString password = parts[0].section(QStringLiteral("password: "), 1).section('\n', 0, 0);
        password.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
        const QString plan = parts[0].section(QStringLiteral("plan: "), 1).section('\n', 0, 0);
        QStringList steps;
        for (const QString& part : parts.mid(1)) {
            QString bytes;
            for (const QString& line : part.chopped(1).split('\n'))
                bytes += line.startsWith('<') || line.endsWith(QStringLiteral("<no line end>"))
                             ? line.chopped(line.startsWith('<') ? 0 : 13)
                             : line + QStringLiteral("\r\n");
            steps << bytes;
        }
        ImapSession s;
        const auto begin = [&] {
            s.start("anna", password, ::plan(plan), "imap.example.org",
                    plan.contains("tls") ? TlsMode::Required : TlsMode::Offered);
            s.setResponseLimit(300);
            s.connected(QHostAddress::LocalHost, !plan.contains("remote"));
        };
        begin();
        QStringList transcript;
        QStringList all;
        for (const QString& in : steps) {
            const QString did = ::describe(in == "<tls>"       ? s.tlsReady()
                                           : in == "<close>"   ? s.closed()
                                           : in == "<timeout>" ? s.timedOut(QStringLiteral("silent"))
                                           : in == "<stop>"    ? s.stopIdle()
                                                               : s.feed(in.toLatin1()));
            transcript << "=> " + Golden::escaped(did);
            if (!did.isEmpty())
                all << did;
        }
        transcript << "result: " + Golden::escaped(describe(s.result()));
        Golden::compare(input, transcript.join('\n') + '\n');
        if (std::any_of(steps.begin(), steps.end(), [](const QString& step) { return step.startsWith('<'); }))
            return;
        begin();
        QStringList got;
        for (const char c : steps.join(QString()).toLatin1()) {
            const QString d = ::describe(s.feed(QByteArray(1, c)));
            if (!d.isEmpty())
                got << d;
        }
        QCOMPARE(got.join(" | "), all.join(" | "));
    }

    // Wire name -> shown name; "=" in the last column: the shown name goes
    // back out as it came (malformed forms are shown raw and never made).
    void folderNames_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("roundTrip");
        QTest::newRow("ascii") << QByteArray("INBOX.Sent Items") << "INBOX.Sent Items" << true;
        QTest::newRow("ampersand") << QByteArray("Tom &- Jerry") << "Tom & Jerry" << true;
        QTest::newRow("umlaut") << QByteArray("Entw&APw-rfe") << "Entwürfe" << true;
        QTest::newRow("two runs") << QByteArray("~peter/mail/&U,BTFw-/&ZeVnLIqe-") << "~peter/mail/台北/日本語" << true;
        QTest::newRow("run then ascii") << QByteArray("&Jjo-!") << "☺!" << true;
        QTest::newRow("astral") << QByteArray("&2D3eAA-") << "😀" << true;
        QTest::newRow("unclosed") << QByteArray("a&Jjo") << "a&Jjo" << false;
        QTest::newRow("bits left over") << QByteArray("&Jjp-") << "&Jjp-" << false;
        QTest::newRow("half a unit") << QByteArray("&AA-") << "&AA-" << false;
        QTest::newRow("not base64") << QByteArray("&A=A-x") << "&A=A-x" << false;
        QTest::newRow("utf-8 as sent") << QByteArray("caf\xc3\xa9") << "café" << false;
    }
    void folderNames()
    {
        QFETCH(QByteArray, wire);
        QFETCH(QString, shown);
        QFETCH(bool, roundTrip);
        QCOMPARE(imapFolderName(wire), shown);
        if (roundTrip)
            QCOMPARE(imapFolderWire(shown), wire);
    }
};

QTEST_GUILESS_MAIN(TestImapSession)
#include "test_mail_imap.moc"
