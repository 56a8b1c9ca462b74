#pragma once

#include <QTextBrowser>

// A message's HTML shown as far as Qt's rich text goes, with nothing
// fetched: images, style sheets and the like named by the message are
// neither loaded from the network nor read from this computer's files, so
// opening a message tells its sender nothing and shows nothing of the disk.
// A link opens, in the desktop's own program, only when the user follows it.
class MailHtmlView : public QTextBrowser {
    Q_OBJECT
public:
    explicit MailHtmlView(QWidget* parent);
    QVariant loadResource(int type, const QUrl& name) override;
};
