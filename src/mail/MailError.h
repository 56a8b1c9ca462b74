#pragma once

#include <QString>

#include <stdexcept>

// The failure the message classes raise: a number a caller can test, the
// routine that raised it and a readable description.
class MailError : public std::runtime_error {
public:
    MailError(qint32 number, const QString& source, const QString& description)
        : std::runtime_error(description.toStdString())
        , m_number(number)
        , m_source(source)
        , m_description(description)
    {
    }

    qint32 number() const { return m_number; }
    QString source() const { return m_source; }
    QString description() const { return m_description; }

private:
    qint32 m_number;
    QString m_source;
    QString m_description;
};
