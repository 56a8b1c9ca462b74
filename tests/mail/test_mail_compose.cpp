// Answers and forwards made from messages as they arrive, hostile ones too
// (tests/data/compose): each kind of draft, field by field.
#include "MailTest.h"

#include "mail/MailCompose.h"
#include "support/Files.h"
#include "support/Golden.h"

#include <QTest>

class TestCompose : public QObject {
    Q_OBJECT

private slots:
    void drafts_data() { Golden::addRows("compose", {"*.eml"}); }
    void drafts()
    {
        QFETCH(QString, input);
        const MimeMessage original = decodeMime(readFile(input));
        QString made;
        static const char* const kinds[] = {"Reply", "ReplyAll", "Forward"};
        static const char* const fields[] = {"Kind", "To", "Subject", "Text", "In-Reply-To", "References"};
        for (int k = 0; k < 3; ++k) {
            const MailDraft d = composeDraft(ComposeKind(k), original, QStringLiteral("Me <me@Y.net>"));
            const QStringList values{QLatin1String(kinds[k]), d.to, d.subject, d.text, d.inReplyTo, d.references};
            for (qsizetype i = 0; i < values.size(); ++i)
                made += QLatin1String(fields[i]) + u'=' + Golden::escaped(values[i]) + u'\n';
            for (const MimeAttachment& a : d.attachments)
                made += "Attachment=" + Golden::escaped(a.name) + ", " + QString::number(a.data.size()) + " bytes\n";
        }
        Golden::compare(input, made);
    }
};

QTEST_MAIN(TestCompose)
#include "test_mail_compose.moc"
