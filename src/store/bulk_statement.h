#pragma once

#include <QByteArray>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

// A prepared statement run many times in a bulk write. On SQLite it binds values
// through the engine's own interface: Qt's bindValue() makes a placeholder name and
// a hash entry for every value bound, which costs about as much as the engine's whole
// insert. Other drivers go through QSqlQuery. Positions count from 0; a null text or
// blob is bound as NULL, as Qt binds it.
class BulkStatement final
{
public:
    // Check ok() after constructing; error() then tells why the SQL was refused.
    BulkStatement(const QSqlDatabase &db, const QString &sql);
    ~BulkStatement();
    BulkStatement(const BulkStatement &) = delete;
    BulkStatement &operator=(const BulkStatement &) = delete;

    bool ok() const { return !m_error.isValid(); }
    QSqlError error() const { return m_error; }

    // The values must stay alive until exec().
    void bind(int position, const QString &text);
    void bind(int position, const QByteArray &blob);
    void bind(int position, qint64 value);
    // Runs the statement once and clears what was bound. False with error() set.
    bool exec();
    qint64 lastInsertId() const;

private:
    void setEngineError();

    sqlite3 *m_handle = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    std::unique_ptr<QSqlQuery> m_query; // drivers other than SQLite
    QSqlError m_error;
};
