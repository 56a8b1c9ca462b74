#include "mail/MailHtmlView.h"

#include <QDesktopServices>

MailHtmlView::MailHtmlView(QWidget* parent)
    : QTextBrowser(parent)
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [](const QUrl& url) {
        const QString scheme = url.scheme().toLower();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto"))
            QDesktopServices::openUrl(url);
    });
}

QVariant MailHtmlView::loadResource(int, const QUrl&)
{
    // Empty, not null: for a null answer the document reads the named file
    // itself (relative names from the working folder).
    return QByteArray();
}
