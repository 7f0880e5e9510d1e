#include "store/bulk_statement.h"

#include <QSqlDriver>
#include <QVariant>
#include <iterator>
#include <sqlite3.h>

BulkStatement::BulkStatement(const QSqlDatabase &db, const QString &sql)
    : BulkStatement(db, sql, Use::Once)
{
}

BulkStatement::BulkStatement(const QSqlDatabase &db, const QString &sql, Use use)
{
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        m_handle = *static_cast<sqlite3 *const *>(handle.constData());
    if (!m_handle) {
        m_query = std::make_unique<QSqlQuery>(db);
        if (!m_query->prepare(sql))
            m_error = m_query->lastError();
        return;
    }
    const QByteArray text = sql.toUtf8();
    const unsigned flags = use == Use::Persistent ? SQLITE_PREPARE_PERSISTENT : 0;
    if (sqlite3_prepare_v3(m_handle, text.constData(), int(text.size()), flags, &m_statement,
                           nullptr) != SQLITE_OK)
        setEngineError();
}

BulkStatement::~BulkStatement()
{
    sqlite3_finalize(m_statement);
}

void BulkStatement::setEngineError()
{
    const int code = sqlite3_extended_errcode(m_handle);
    m_error = QSqlError(QStringLiteral("Unable to execute statement"),
                        QString::fromUtf8(sqlite3_errmsg(m_handle)), QSqlError::StatementError,
                        QString::number(code));
}

void BulkStatement::bind(int position, const QString &text)
{
    if (m_query) {
        m_query->bindValue(position, text);
    } else if (text.isNull()) {
        sqlite3_bind_null(m_statement, position + 1);
    } else {
        if (std::size_t(position) >= m_texts.size())
            m_texts.resize(std::size_t(position) + 1);
        QByteArray &utf8 = m_texts[std::size_t(position)];
        utf8 = text.toUtf8();
        sqlite3_bind_text(m_statement, position + 1, utf8.constData(), int(utf8.size()),
                          SQLITE_STATIC);
    }
}

void BulkStatement::bindUtf8(int position, const QByteArray &text)
{
    if (m_query)
        m_query->bindValue(position, text.isNull() ? QVariant(QMetaType::fromType<QString>())
                                                   : QVariant(QString::fromUtf8(text)));
    else if (text.isNull())
        sqlite3_bind_null(m_statement, position + 1);
    else
        sqlite3_bind_text(m_statement, position + 1, text.constData(), int(text.size()),
                          SQLITE_STATIC);
}

void BulkStatement::bind(int position, const QByteArray &blob)
{
    if (m_query)
        m_query->bindValue(position, blob);
    else if (blob.isNull())
        sqlite3_bind_null(m_statement, position + 1);
    else
        sqlite3_bind_blob(m_statement, position + 1, blob.constData(), int(blob.size()),
                          SQLITE_STATIC);
}

void BulkStatement::bind(int position, qint64 value)
{
    if (m_query)
        m_query->bindValue(position, value);
    else
        sqlite3_bind_int64(m_statement, position + 1, value);
}

bool BulkStatement::exec()
{
    if (m_query) {
        if (m_query->exec())
            return true;
        m_error = m_query->lastError();
        return false;
    }
    const int result = sqlite3_step(m_statement);
    if (result != SQLITE_DONE && result != SQLITE_ROW)
        setEngineError();
    // Nothing bound may outlive this call: the values were bound without a copy.
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
    return result == SQLITE_DONE || result == SQLITE_ROW;
}

bool BulkStatement::next()
{
    if (m_query) {
        if (!m_reading) {
            m_reading = true;
            m_query->setForwardOnly(true);
            if (!m_query->exec()) {
                m_error = m_query->lastError();
                return false;
            }
        }
        if (m_query->next())
            return true;
        if (m_query->lastError().isValid())
            m_error = m_query->lastError();
        return false;
    }
    m_reading = true;
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_ROW)
        return true;
    if (result != SQLITE_DONE)
        setEngineError();
    return false;
}

void BulkStatement::rewind()
{
    m_reading = false;
    if (m_query)
        m_query->finish();
    else
        sqlite3_reset(m_statement);
}

QString BulkStatement::text(int column) const
{
    if (m_query)
        return m_query->value(column).toString();
    const auto *utf8 = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return utf8 ? QString::fromUtf8(utf8, sqlite3_column_bytes(m_statement, column)) : QString();
}

QByteArray BulkStatement::blob(int column) const
{
    if (m_query)
        return m_query->value(column).toByteArray();
    if (sqlite3_column_type(m_statement, column) == SQLITE_NULL)
        return {};
    const void *bytes = sqlite3_column_blob(m_statement, column);
    return bytes ? QByteArray(static_cast<const char *>(bytes),
                              sqlite3_column_bytes(m_statement, column))
                 : QByteArray(""); // empty, not null
}

qint64 BulkStatement::integer(int column) const
{
    if (m_query)
        return m_query->value(column).toLongLong();
    return sqlite3_column_int64(m_statement, column);
}

std::optional<quint32> BulkStatement::dataVersion() const
{
    unsigned version = 0;
    if (m_query ||
        sqlite3_file_control(m_handle, "main", SQLITE_FCNTL_DATA_VERSION, &version) != SQLITE_OK)
        return std::nullopt;
    return version;
}

qint64 BulkStatement::lastInsertId()
{
    if (m_query) // an INSERT … RETURNING id answers with the id
        return m_query->next() ? m_query->value(0).toLongLong()
                               : m_query->lastInsertId().toLongLong();
    return sqlite3_last_insert_rowid(m_handle);
}

BulkStatement *BulkStatements::forRows(const QSqlDatabase &db, int rows, QSqlError *error)
{
    if (const auto found = m_byRows.find(rows); found != m_byRows.end())
        return found->second.get();
    if (m_byRows.size() > kKept)
        m_byRows.erase(m_byRows.begin(), std::prev(m_byRows.end()));
    auto statement = std::make_unique<BulkStatement>(db, m_sql(rows));
    if (!statement->ok()) {
        *error = statement->error();
        return nullptr;
    }
    return m_byRows.emplace(rows, std::move(statement)).first->second.get();
}
