#pragma once

#include <QString>
#include <stdexcept>

// Base of the program's exceptions: carries the text that the error report shows.
class KaxError : public std::runtime_error
{
public:
    explicit KaxError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {
    }
    QString message() const { return m_message; }

private:
    QString m_message;
};

// A failure of the database engine; the message is the engine's own.
class DatabaseError : public KaxError
{
public:
    using KaxError::KaxError;
};

// A failure to read or write the per-user settings store.
class SettingsError : public KaxError
{
public:
    using KaxError::KaxError;
};
