#pragma once

#include <QByteArray>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// A prepared statement run many times in a bulk write. On SQLite it binds values
// through the engine's own interface: Qt's bindValue() makes a placeholder name and
// a hash entry for every value bound, which costs about as much as the engine's whole
// insert, and reads every text through UTF-16. Other drivers go through QSqlQuery. Positions count
// from 0; a null text or blob is bound as NULL, as Qt binds it.
class BulkStatement final
{
public:
    // Check ok() after constructing; error() then tells why the SQL was refused.
    BulkStatement(const QSqlDatabase &db, const QString &sql);
    // On SQLite, a statement kept for the connection's life and run very often.
    enum class Use { Once, Persistent };
    BulkStatement(const QSqlDatabase &db, const QString &sql, Use use);
    ~BulkStatement();
    BulkStatement(const BulkStatement &) = delete;
    BulkStatement &operator=(const BulkStatement &) = delete;

    bool ok() const { return !m_error.isValid(); }
    QSqlError error() const { return m_error; }

    // Blobs must stay alive until exec() or the first next(); texts are copied.
    void bind(int position, const QString &text);
    // A text already in UTF-8, bound without a copy like a blob; null binds NULL.
    void bindUtf8(int position, const QByteArray &text);
    void bind(int position, const QByteArray &blob);
    void bind(int position, qint64 value);
    // Runs the statement once and clears what was bound. False with error() set.
    bool exec();
    // The id of the row the last exec() inserted; on a server the statement must end
    // with RETURNING id.
    qint64 lastInsertId();

    // Reading: steps to the statement's next row, running it on the first call; false
    // at the end, or on a failure with error() set. rewind() lets it run again.
    bool next();
    void rewind();
    // A column of the current row as text; a null value is a null string.
    QString text(int column) const;
    // A column of the current row as bytes (a null value is a null array), or a number.
    QByteArray blob(int column) const;
    qint64 integer(int column) const;
    // On SQLite, a number that changes with every commit to the database file, by any
    // connection, as the last statement saw it; nothing on other engines.
    std::optional<quint32> dataVersion() const;

private:
    void setEngineError();

    sqlite3 *m_handle = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    // Texts in UTF-8, the file's own encoding: Qt converts them faster than the
    // engine converts the UTF-16 of a QString.
    std::vector<QByteArray> m_texts;
    bool m_reading = false;
    std::unique_ptr<QSqlQuery> m_query; // drivers other than SQLite
    QSqlError m_error;
};

// Statements that differ only in how many rows they write, each prepared once: a batch
// on a server writes its new rows a group at a time, and what is left in a smaller one.
class BulkStatements final
{
public:
    explicit BulkStatements(std::function<QString(int rows)> sql) : m_sql(std::move(sql)) {}

    // The statement for `rows` rows; null with *error set when the engine refused it.
    BulkStatement *forRows(const QSqlDatabase &db, int rows, QSqlError *error);

private:
    // The counts kept besides the largest: a group cut short by a read is seldom the
    // same length twice.
    static constexpr std::size_t kKept = 4;

    std::function<QString(int rows)> m_sql;
    std::map<int, std::unique_ptr<BulkStatement>> m_byRows;
};
