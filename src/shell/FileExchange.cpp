#include "shell/FileExchange.h"

#include <QDir>

#include "kit/MsgBox.h"
#include "sync/SyncFiles.h"
#include "window/FileDialogs.h"

namespace {

const QString kContactFiles = QStringLiteral("vCard files (*.vcf *.vcard);;All files (*)");
const QString kCalendarFiles = QStringLiteral("iCalendar files (*.ics *.ical);;All files (*)");
const QString kImportContactsTitle = QStringLiteral("Import Contacts");
const QString kExportContactsTitle = QStringLiteral("Export Contacts");
const QString kImportAppointmentsTitle = QStringLiteral("Import Appointments");
const QString kExportAppointmentsTitle = QStringLiteral("Export Appointments");

enum class Direction { Import, Export };

void exchange(const QString& title, Direction direction, const QString& filter, FileOutcome (*run)(const QString&))
{
    const std::optional<QString> path = direction == Direction::Export
                                            ? getSaveFileName(title, QDir::homePath(), filter)
                                            : getOpenFileName(title, QDir::homePath(), filter);
    if (!path)
        return;
    const FileOutcome outcome = run(*path);
    MsgBox(outcome.message, MsgButtons::OKOnly, outcome.ok ? MsgIcon::Information : MsgIcon::Exclamation);
}

}  // namespace

void FileExchange::importContacts()
{
    exchange(kImportContactsTitle, Direction::Import, kContactFiles, SyncFiles::importContacts);
}

void FileExchange::exportContacts()
{
    exchange(kExportContactsTitle, Direction::Export, kContactFiles, SyncFiles::exportContacts);
}

void FileExchange::importAppointments()
{
    exchange(kImportAppointmentsTitle, Direction::Import, kCalendarFiles, SyncFiles::importAppointments);
}

void FileExchange::exportAppointments()
{
    exchange(kExportAppointmentsTitle, Direction::Export, kCalendarFiles, SyncFiles::exportAppointments);
}
