#include "shell/FileExchange.h"

#include <QDir>
#include <QMenu>

#include "kit/FileDialogs.h"
#include "kit/MsgBox.h"
#include "sync/SyncFiles.h"
#include "sync/SyncNow.h"

namespace {

const QString kContactFiles = QStringLiteral("vCard files (*.vcf *.vcard);;All files (*)");
const QString kCalendarFiles = QStringLiteral("iCalendar files (*.ics *.ical);;All files (*)");

struct Entry {
    const char* name;
    const char* caption;
    bool save;
    const QString& filter;
    FileOutcome (*run)(const QString&);
};

void perform(const Entry& entry)
{
    const QString title = QString::fromLatin1(entry.caption).remove(QStringLiteral("...")).remove(u'&');
    const std::optional<QString> path = entry.save ? getSaveFileName(title, QDir::homePath(), entry.filter)
                                                   : getOpenFileName(title, QDir::homePath(), entry.filter);
    if (!path)
        return;
    const FileOutcome outcome = entry.run(*path);
    MsgBox(outcome.message, MsgButtons::OKOnly, outcome.ok ? MsgIcon::Information : MsgIcon::Exclamation);
}

}  // namespace

void addFileExchangeEntries(QMenu* file, QAction* before)
{
    static const Entry entries[] = {
        {"mnuImportContacts", "&Import Contacts...", false, kContactFiles, SyncFiles::importContacts},
        {"mnuExportContacts", "Export &Contacts...", true, kContactFiles, SyncFiles::exportContacts},
        {"mnuImportAppointments", "Import &Appointments...", false, kCalendarFiles, SyncFiles::importAppointments},
        {"mnuExportAppointments", "Export A&ppointments...", true, kCalendarFiles, SyncFiles::exportAppointments},
    };
    for (const Entry& entry : entries) {
        auto* action = new QAction(QString::fromLatin1(entry.caption), file);
        action->setObjectName(QLatin1String(entry.name));
        file->insertAction(before, action);
        QObject::connect(action, &QAction::triggered, action, [&entry] { perform(entry); });
    }
    file->insertSeparator(before);
    auto* sync = new QAction(QStringLiteral("&Sync Now"), file);
    sync->setObjectName(QStringLiteral("mnuSyncNow"));
    file->insertAction(before, sync);
    QObject::connect(sync, &QAction::triggered, sync, &SyncNow::withProgress);
    file->insertSeparator(before);
}
