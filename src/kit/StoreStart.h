#pragma once

#include <QObject>
#include <QString>

class QThread;

// What start-up does for the record store before any screen reads it.

// Checks that the database file opens and its account can be read (the
// whole file is checked later, by StoreCheck); after a later check found it
// damaged, the whole file now. A damaged one is reported in one message that
// lets the user put it aside and go on with the newest backup or with an
// empty database, or leave it as it is.
void checkStoreAtStart();

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
    QThread* m_thread = nullptr;
};
