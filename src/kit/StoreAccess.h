#pragma once

#include "store/Connection.h"
#include "store/StoreError.h"

// How screens reach the record store: a failure becomes one message box that
// says what failed and why, and the screen carries on. Only a screen's own
// handlers call these; code of the kit hands its failures back instead, and
// an engine hands them to its screen through the `report` of storeGuard.

// Opens `Con` on the program's database file. False (after the message) when
// it cannot be opened; the screen then works with a closed connection.
bool connectStore(Connection& Con);

// Tells the user about a record-store failure.
void reportStoreError(const StoreError& error);

// Runs a routine that reads or writes records; false when it failed, after
// the failure went to `report`.
template <class Routine, class Report>
bool storeGuard(Routine routine, Report report)
{
    try {
        routine();
        return true;
    } catch (const StoreError& error) {
        report(error);
        return false;
    }
}

template <class Routine>
bool storeGuard(Routine routine)
{
    return storeGuard(routine, reportStoreError);
}
