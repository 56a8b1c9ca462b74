#pragma once

// What start-up does for the record store before any screen reads it.

// Checks the database file. A damaged one is reported in one message that
// lets the user put it aside and go on with the newest backup or with an
// empty database, or leave it as it is. A sound one gets its daily backup.
void checkStoreAtStart();

// Makes the data, note and backup folders and the files the program keeps
// in them (databases, backups, notes) the owner's alone.
void restrictToOwner();
