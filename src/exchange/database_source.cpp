#include "exchange/database_source.h"

#include "store/contact_details.h"
#include "store/contact_schema.h"
#include "store/sql_text.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <atomic>

namespace ContactImport {

// A read-only SQLite connection of its own to a database file, under a name no other
// connection has, removed again when this ends. Used on the thread that made it.
class ReadOnlyConnection final
{
public:
    explicit ReadOnlyConnection(const QString &path)
        : m_name(QStringLiteral("kartax-import-%1").arg(++s_made))
    {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_db.setDatabaseName(path);
        // Another program may be writing the file: wait for its lock as the table does.
        m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        m_open = m_db.open();
    }
    ~ReadOnlyConnection()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    ReadOnlyConnection(const ReadOnlyConnection &) = delete;
    ReadOnlyConnection &operator=(const ReadOnlyConnection &) = delete;

    bool isOpen() const { return m_open; }
    QSqlDatabase &db() { return m_db; }

private:
    static inline std::atomic<quint64> s_made = 0;
    QString m_name;
    QSqlDatabase m_db;
    bool m_open = false;
};

DatabaseSource::DatabaseSource(const QString &path) : m_path(path) {}

// Out of line, where ReadOnlyConnection and QSqlQuery are complete.
DatabaseSource::~DatabaseSource() = default;

QString DatabaseSource::check()
{
    const QString table = QString::fromLatin1(ContactSchema::kTableName);
    ReadOnlyConnection connection(m_path);
    const auto notADatabase = [this](const QSqlError &error) {
        return QStringLiteral("Nie można odczytać bazy %1: %2")
            .arg(m_path, SqlText::engineMessage(error));
    };
    if (!connection.isOpen())
        return notADatabase(connection.db().lastError());
    // A view or a virtual table may compute its rows without end: only a table of
    // stored rows is read.
    QSqlQuery kind(connection.db());
    kind.prepare(QStringLiteral("SELECT type, sql FROM sqlite_master WHERE name = ? "
                                "COLLATE NOCASE AND type IN ('table', 'view')"));
    kind.addBindValue(table);
    if (!kind.exec())
        return notADatabase(kind.lastError());
    if (kind.next() &&
        (kind.value(0).toString() != QLatin1String("table") ||
         kind.value(1).toString().startsWith(QLatin1String("CREATE VIRTUAL"), Qt::CaseInsensitive)))
        return QStringLiteral("W bazie %1 „%2” nie jest zwykłą tabelą (to widok lub tabela "
                              "wirtualna): nie można z niej importować.")
            .arg(m_path, table);
    kind.finish();
    const QSqlRecord columns = connection.db().record(table);
    m_fields.clear();
    QStringList present;
    for (const QString &field : ContactSchema::fieldNames()) {
        if (columns.contains(field)) {
            m_fields << SqlText::quoted(field);
            present << field;
        }
    }
    m_places = RecordPlaces(present);
    const auto hasTable = [&connection](const QString &name) {
        QSqlQuery query(connection.db());
        query.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND "
                                     "name = ? COLLATE NOCASE"));
        query.addBindValue(name);
        return query.exec() && query.next();
    };
    m_hasDetails = hasTable(ContactDetails::detailsTable(table));
    m_hasCard = hasTable(ContactDetails::cardTable(table));
    if (m_fields.isEmpty())
        return QStringLiteral("Baza %1 nie zawiera tabeli kontaktów %2.").arg(m_path, table);
    QSqlQuery count(connection.db());
    if (!count.exec(QStringLiteral("SELECT count(*) FROM %1").arg(SqlText::quoted(table))) ||
        !count.next())
        return notADatabase(count.lastError());
    m_count = count.value(0).toLongLong();
    return {};
}

bool DatabaseSource::readNext(ContactRecord *record)
{
    if (m_done)
        return false;
    if (!m_connection && !begin())
        return stop();
    while (!m_select->next()) {
        if (m_select->lastError().isValid())
            return stop(m_select->lastError());
        if (m_inBatch < kRows)
            return stop();
        m_select->bindValue(0, m_lastId);
        if (!m_select->exec())
            return stop(m_select->lastError());
        m_inBatch = 0;
    }
    ++m_inBatch;
    ++m_read;
    m_lastId = m_select->value(0).toLongLong();
    QStringList values;
    values.reserve(m_fields.size());
    for (qsizetype i = 0; i < m_fields.size(); ++i)
        values << m_select->value(int(i) + 1).toString();
    *record = m_places.record(values);
    const qint64 id = m_lastId;
    if (m_details && !rowsOf(m_details.get(), &m_onDetail, id, [record](const QSqlQuery &row) {
            record->extras.details << ContactDetail{
                ContactDetail::kindNamed(row.value(1).toString()).value_or(ContactDetail::Other),
                row.value(2).toString(), row.value(3).toString(), row.value(4).toString()};
        }))
        return stop(m_details->lastError());
    if (m_card && !rowsOf(m_card.get(), &m_onCard, id, [record](const QSqlQuery &row) {
            record->extras.uid = row.value(1).toString();
            record->extras.kept = row.value(2).toString();
        }))
        return stop(m_card->lastError());
    return true;
}

template<typename Take>
bool DatabaseSource::rowsOf(QSqlQuery *rows, bool *onRow, qint64 id, Take take)
{
    for (;;) {
        if (!*onRow) {
            *onRow = rows->next();
            if (!*onRow)
                return !rows->lastError().isValid();
        }
        const qint64 of = rows->value(0).toLongLong();
        if (of > id)
            return true;
        if (of == id)
            take(*rows);
        *onRow = false;
    }
}

std::unique_ptr<QSqlQuery> DatabaseSource::beside(const QString &table, const QString &columns,
                                                  const QString &order)
{
    auto query = std::make_unique<QSqlQuery>(m_connection->db());
    query->setForwardOnly(true);
    if (!query->exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                         .arg(columns, SqlText::quoted(table), order))) {
        m_error = SqlText::engineMessage(query->lastError());
        return nullptr;
    }
    return query;
}

void DatabaseSource::finish()
{
    m_select.reset();
    m_details.reset();
    m_card.reset();
    if (m_connection)
        m_connection->db().rollback(); // the read transaction; nothing was written
    m_connection.reset();
}

bool DatabaseSource::begin()
{
    m_connection = std::make_unique<ReadOnlyConnection>(m_path);
    if (!m_connection->isOpen() || !m_connection->db().transaction()) {
        m_error = SqlText::engineMessage(m_connection->db().lastError());
        return false;
    }
    m_select = std::make_unique<QSqlQuery>(m_connection->db());
    m_select->setForwardOnly(true);
    // rowid is the id of the program's tables, and every SQLite table has one.
    const QString sql =
        QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid > ? ORDER BY rowid LIMIT %3")
            .arg(m_fields.join(QStringLiteral(", ")),
                 SqlText::quoted(QString::fromLatin1(ContactSchema::kTableName)))
            .arg(kRows);
    if (!m_select->prepare(sql)) {
        m_error = SqlText::engineMessage(m_select->lastError());
        return false;
    }
    m_select->bindValue(0, m_lastId);
    if (!m_select->exec()) {
        m_error = SqlText::engineMessage(m_select->lastError());
        return false;
    }
    // Each read once from start to end beside the contacts, in the same order.
    const QString table = QString::fromLatin1(ContactSchema::kTableName);
    if (m_hasDetails && !(m_details = beside(ContactDetails::detailsTable(table),
                                             QStringLiteral("contact, kind, type, label, value"),
                                             QStringLiteral("contact, ord"))))
        return false;
    if (m_hasCard && !(m_card = beside(ContactDetails::cardTable(table),
                                       QStringLiteral("id, uid, kept"), QStringLiteral("id"))))
        return false;
    return true;
}

bool DatabaseSource::stop(const QSqlError &error)
{
    if (error.isValid())
        m_error = SqlText::engineMessage(error);
    m_done = true;
    finish();
    return false;
}

} // namespace ContactImport
