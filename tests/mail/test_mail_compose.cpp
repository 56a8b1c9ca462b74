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
        for (const auto& [label, kind] : {std::pair("Reply", ComposeKind::Reply),
                                          {"ReplyAll", ComposeKind::ReplyAll},
                                          {"Forward", ComposeKind::Forward}}) {
            const MailDraft d = composeDraft(kind, original, QStringLiteral("Me <me@Y.net>"));
            for (const auto& [field, value] : {std::pair("Kind", QString::fromLatin1(label)),
                                               {"To", d.to},
                                               {"Subject", d.subject},
                                               {"Text", d.text},
                                               {"In-Reply-To", d.inReplyTo},
                                               {"References", d.references}})
                made += QLatin1String(field) + u'=' + Golden::escaped(value) + u'\n';
            for (const MimeAttachment& a : d.attachments)
                made += "Attachment=" + Golden::escaped(a.name) + ", " + QString::number(a.data.size()) + " bytes\n";
        }
        Golden::compare(input, made);
    }
};

QTEST_MAIN(TestCompose)
#include "test_mail_compose.moc"
