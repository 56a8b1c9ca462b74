#pragma once

#include <stdexcept>
#include <string>

#include <QString>

// Every failure of the record store surfaces as this one type, carrying a
// sentence a person can read in a message box.
class StoreError : public std::runtime_error {
public:
    explicit StoreError(const QString& reason)
        : std::runtime_error(reason.toStdString())
    {
    }
    QString reason() const { return QString::fromStdString(what()); }
};
