#pragma once

#include <QDate>
#include <QString>

#include <optional>

#include "kit/MsgBox.h"

// What start-up does for the record store before any screen reads it.

// A database file that cannot be used, and the question about it: put it
// aside and go on with the newest backup or with an empty database, or
// leave it as it is.
struct DamagedStore {
    QString file;
    QString backup;  // the newest sound backup; empty when there is none
    QDate today;     // names the file put aside
    QString question;
    MsgButtons buttons = MsgButtons::OKCancel;  // Yes/No/Cancel when there is a backup
};

// Checks the database file: a damaged one comes back to be asked about; a
// sound one gets its daily backup. Throws StoreError when that fails.
std::optional<DamagedStore> checkStoreAtStart();

// Does what the user answered to the question (Cancel: nothing). Throws
// StoreError when the file cannot be put aside or replaced.
void recoverStore(const DamagedStore& damaged, MsgResult answer);

// Makes the data, note and backup folders and the files the program keeps
// in them (databases, backups, notes) the owner's alone.
void restrictToOwner();
