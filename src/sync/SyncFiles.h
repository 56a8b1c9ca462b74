#pragma once

#include <QString>

// Contacts and appointments to and from files, on the program's own
// database. The same operations serve the File menu and the command line.
struct FileOutcome {
    bool ok = false;
    QString message;  // one line: the counts, or what went wrong
};

namespace SyncFiles {
FileOutcome importContacts(const QString& path);
FileOutcome exportContacts(const QString& path);
FileOutcome importAppointments(const QString& path);
FileOutcome exportAppointments(const QString& path);
}  // namespace SyncFiles
