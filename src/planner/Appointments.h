#pragma once

#include <optional>

#include <QDate>
#include <QList>
#include <QString>

#include "kit/Occurrences.h"

class Connection;

// One appointment as a page of the planner writes it: a row of tblOrginize
// (its texts as the grid row shows them) and how it repeats.
struct Appointment {
    QDate date;
    QString start, finish, note;
    // The rule it repeats by from now on (empty: it does not repeat);
    // none: as it does already, and a new one does not.
    std::optional<QString> rule;
};

// The one owner of tblOrginize and tblOrginizeSeries for the planner's
// pages: what a save or a delete does to a stored appointment, one
// occurrence of a series, or the whole series. Its writes go through the
// connection, which raises the records-changed notice for each row; a
// failure throws StoreError, after which nothing more of the call is written.
class Appointments {
public:
    explicit Appointments(Connection& con)
        : m_con(con)
    {
    }

    // For one occurrence of a repeating appointment: whether it alone is
    // meant or the whole series.
    enum class Scope { Whole, One };

    enum class Saved {
        Added,        // a new appointment
        Changed,      // an appointment that does not repeat
        Series,       // the whole series: its first row
        Replaced,     // one occurrence, now an appointment of its own
        RuleChanged,  // only how it repeats
    };
    struct Save {
        Saved what;
        qint64 row;  // the row written
    };

    enum class Removed { Appointment, Occurrence, Nothing };

    // The day's appointments as its page shows them.
    QList<Occurrences::Entry> onDay(QDate day);

    // Stores what a row of the page says: a new appointment when `shown`
    // is none (row 0), else over the one it shows. A repeating one changes
    // as `scope` says: alone, it becomes a row of its own on typed.date
    // that names the occurrence it replaces and keeps its start; the whole
    // series keeps its first day and ends at the new finish.
    Save save(const Appointment& typed, const Occurrences::Entry& shown, Scope scope = Scope::Whole);
    // Stored appointment `e` repeats by `rule` from now on, its first day
    // kept; one that did not repeat starts repeating on `day`.
    Save changeRule(const Occurrences::Entry& e, const QString& rule, QDate day);
    // Deletes `e`: for an occurrence of a series, it alone (left out of
    // the series) or the whole series. A row that replaced an occurrence
    // leaves its day empty, not the series' occurrence back.
    Removed remove(const Occurrences::Entry& e, Scope scope = Scope::Whole);

private:
    void storeRepeat(qint64 row, const QString& rule, QDate day, const QString& start, const QString& finish);
    void keepFinish(qint64 row, const QString& finish);
    bool leaveOut(qint64 row, const QString& occurrence);
    void storeOccurrence(const Occurrences::Entry& e, qint64 row, QDate date, const QString& finish);

    Connection& m_con;
};
