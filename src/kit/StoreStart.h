#pragma once

#include <QDate>
#include <QObject>
#include <QString>

#include <optional>

#include "kit/MsgBox.h"
#include "kit/Worker.h"

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

// Checks that the database file opens and its account can be read (the
// whole file is checked later, by StoreCheck); after a later check found it
// damaged, the whole file now. A damaged one comes back to be asked about.
std::optional<DamagedStore> checkStoreAtStart();

// Does what the user answered to the question (Cancel: nothing). Throws
// StoreError when the file cannot be put aside or replaced.
void recoverStore(const DamagedStore& damaged, MsgResult answer);

// Makes the data, note and backup folders and the files the program keeps
// in them (databases, backups, notes) the owner's alone.
void restrictToOwner();

// The full check of the database file and the day's backup, on a thread of
// its own so the window never waits for it. A file found damaged is not
// copied over a sound backup; the next start offers the choice of
// checkStoreAtStart. finished() arrives on the owner's thread with what to
// tell the user (the damage found, or why the backup failed), empty when
// all is well.
class StoreCheck : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~StoreCheck() override;
    void start();
    // Waits until a check started has ended (at quit).
    void wait();
    // The check and the backup, done here and now; what finished() says.
    static QString run();
    // What to tell the user when the check found `problem`.
    static QString damagedText(const QString& problem);

signals:
    void finished(const QString& message);

private:
    Worker m_worker{QThread::LowPriority};
    bool m_started = false;
};
