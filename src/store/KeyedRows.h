#pragma once

#include <array>
#include <optional>
#include <span>

#include <QLatin1StringView>
#include <QString>

class Connection;

// The statements that add, change, delete and read one whole row of a
// record table by its key, for the table's owner (Contacts for tblAddress,
// AppointmentRows for tblOrginize); no other code writes those rows. Texts
// are stored as given, one statement each, inside the caller's transaction
// when one is open; a failure throws StoreError with SQLite's reason.
class KeyedRows {
public:
    KeyedRows(QLatin1StringView table, QLatin1StringView key, std::span<const QLatin1StringView> fields);

    // Adds a row with `values` (in the order of the fields) and gives its key.
    qint64 add(Connection& con, std::span<const QString> values) const;
    // Writes every field of the row `key`; no row, nothing written.
    void change(Connection& con, qint64 key, std::span<const QString> values) const;
    // False when there was no row `key`.
    bool remove(Connection& con, qint64 key) const;
    // Fills `values` from the row `key`; false, and `values` as they were, without one.
    bool read(Connection& con, qint64 key, std::span<QString> values) const;
    // The row `key` as the owner's shape of it, or none.
    template <std::size_t N>
    std::optional<std::array<QString, N>> byKey(Connection& con, qint64 key) const
    {
        std::array<QString, N> values;
        if (!read(con, key, values))
            return std::nullopt;
        return values;
    }

private:
    QString m_insert, m_update, m_delete, m_select;
};
