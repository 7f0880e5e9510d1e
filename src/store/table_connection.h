#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "platform/file_stamp.h"

class QSqlError;
class SqlEngine;

// The connection of a contact table to its database: opening it where the alias or
// file points, through the engine that runs there; the engine's errors in the words of
// the place; reconnecting after a server's connection was lost; and hearing which rows
// other users change. Failures raise DatabaseError.
class TableConnection final
{
public:
    TableConnection();
    ~TableConnection();
    TableConnection(const TableConnection &) = delete;
    TableConnection &operator=(const TableConnection &) = delete;

    // What to open: an alias, or an SQLite file named directly (then created on first
    // run like the default one).
    struct Target
    {
        QString alias;
        QString file;
        QString table;
        int busyTimeout = 3000; // milliseconds a write waits for another program's lock
    };
    // Opens the connection; `rowChanged` then hears the id of each row another user
    // changes, where the engine tells that.
    void open(const Target &target, std::function<void(qint64 id)> rowChanged);
    void close();
    bool isOpen() const { return m_engine != nullptr; }

    // The engine while open.
    const SqlEngine *engine() const { return m_engine; }
    QSqlDatabase &db() { return m_db; }
    const QSqlDatabase &db() const { return m_db; }
    QString name() const { return m_name; }
    // The database file; for a server, where the alias points.
    QString path() const { return m_path; }
    bool readOnly() const { return m_readOnly; }
    int busyTimeout() const { return m_busyTimeout; }

    // For the engine opening the connection.
    void setPath(const QString &path) { m_path = path; }
    void setReadOnly() { m_readOnly = true; }

    // Raises the engine's error; on a server whose connection is gone, says so.
    [[noreturn]] void fail(const QSqlError &error) const;
    // The same for a write, naming a missing right to write the file or its folder.
    [[noreturn]] void failWrite(const QSqlError &error) const;
    // Raises a message that says so when the database is open for reading only.
    void requireWritable() const;
    // Raises an error when the file was deleted or moved away since it was opened.
    void requireSameFile() const;

    // Whether the server's connection was lost; reconnect() opens it again (raising
    // DatabaseError while the server cannot be reached).
    bool lost() const { return m_lost; }
    void reconnect();

private:
    QString lostMessage(const QString &reason) const;
    void listen();

    QString m_name;
    QSqlDatabase m_db;
    const SqlEngine *m_engine = nullptr;
    QString m_path;
    QString m_table;
    int m_busyTimeout = 3000;
    bool m_readOnly = false;
    mutable bool m_lost = false;          // the server's connection failed; reopened before use
    std::optional<FileStamp> m_fileStamp; // the database file as opened
    std::function<void(qint64)> m_rowChanged;
    std::unique_ptr<QObject> m_listener;
};
