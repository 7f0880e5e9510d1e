#include "store/table.h"

#include "platform/errors.h"
#include "store/background_checkpoint.h"
#include "store/bulk_statement.h"
#include "store/contact_schema.h"
#include "store/database_alias.h"
#include "store/search_index.h"
#include "store/sort_key.h"
#include "store/sql_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <atomic>
#include <filesystem>
#include <sqlite3.h>
#include <system_error>

namespace {

using SqlText::engineMessage;
using SqlText::quoted;

constexpr int kQueryKinds = 8;

constexpr char kChangedByOther[] =
    "Rekord został zmieniony przez innego użytkownika, odkąd go odczytano.";

} // namespace

// Prepared positioning queries of one index, made on first use.
struct TTable::Statements
{
    std::unique_ptr<QSqlQuery> queries[kQueryKinds];
};

TTable::TTable(QObject *parent) : QObject(parent)
{
    static std::atomic<int> counter{0};
    m_connection = QStringLiteral("kartax-table-%1").arg(++counter);
}

TTable::~TTable()
{
    close();
}

void TTable::fail(const QSqlError &error) const
{
    if (m_server && !m_lost && !connectionAlive())
        m_lost = true;
    if (m_lost)
        throw DatabaseError(lostMessage(engineMessage(error)));
    if (!m_server)
        throw DatabaseError(SqlText::fileFailure(m_path, error));
    throw DatabaseError(engineMessage(error));
}

bool TTable::connectionAlive() const
{
    QSqlQuery probe(m_db);
    // A transaction that a failed statement aborted still has its connection.
    constexpr char kTransactionAborted[] = "25P02";
    return probe.exec(QStringLiteral("SELECT 1")) ||
           probe.lastError().nativeErrorCode() == QLatin1String(kTransactionAborted);
}

QString TTable::lostMessage(const QString &reason) const
{
    return QStringLiteral("Brak połączenia z serwerem bazy danych (%1): %2\nZmian nie zapisano; "
                          "edycja pozostaje otwarta. Program połączy się ponownie przy następnej "
                          "operacji, gdy serwer będzie dostępny.")
        .arg(m_path, reason.trimmed());
}

void TTable::reconnectIfLost()
{
    if (!m_lost)
        return;
    m_statements.clear();
    m_statements.resize(m_indexes.size());
    m_searchWriter.reset();
    m_db.close();
    if (!m_db.open())
        throw DatabaseError(lostMessage(engineMessage(m_db.lastError())));
    m_lost = false;
    listen();
    m_searchWriter = std::make_unique<SearchIndexWriter>(m_db, m_tableName);
}

void TTable::listen()
{
    QSqlDriver *driver = m_db.driver();
    if (!driver->subscribeToNotification(ContactSchema::notifyChannel(m_tableName)))
        qWarning("Kartax2000: changes by other users of %s will show only when read again: %s",
                 qPrintable(m_tableName), qPrintable(engineMessage(driver->lastError())));
    connect(driver, &QSqlDriver::notification, this, &TTable::serverNotified, Qt::UniqueConnection);
    // Qt's driver hands on the server's notifications only after a statement on its
    // connection: one every half second brings them to the card within a second.
    if (!m_notificationPoll) {
        m_notificationPoll = new QTimer(this);
        m_notificationPoll->setInterval(500);
        connect(m_notificationPoll, &QTimer::timeout, this, &TTable::pollNotifications);
    }
    m_notificationPoll->start();
}

void TTable::pollNotifications()
{
    if (!active() || m_lost)
        return;
    // An empty round trip, after which the driver reads what arrived.
    QSqlQuery(m_db).exec(QStringLiteral("SELECT 1"));
}

void TTable::serverNotified(const QString &, QSqlDriver::NotificationSource source,
                            const QVariant &payload)
{
    if (source == QSqlDriver::SelfSource || !active() || m_empty || m_lost ||
        payload.toLongLong() != m_current.id)
        return;
    // Another user changed or deleted the record on the card: show it as stored now,
    // unless it is being edited; its post then meets the change.
    try {
        Row row;
        if (!fetch(Query::ById, {m_current.id}, &row)) {
            m_deletedByOther = true;
        } else if (!editing() && m_state != DataSetState::SetKey) {
            setCurrent(row);
            notifyDataSetChanged();
        }
    } catch (const DatabaseError &error) {
        qWarning("Kartax2000: cannot read a record another user changed: %s",
                 qPrintable(error.message()));
    }
}

void TTable::open()
{
    if (active())
        return;
    if (m_databaseFile.isEmpty()) {
        const DatabaseAlias alias = DatabaseAlias::read(m_databaseName);
        if (alias.isServer()) {
            openServer(alias);
            return;
        }
    }
    bool named = false;
    const QString path = m_databaseFile.isEmpty()
                             ? ContactSchema::resolveAlias(m_databaseName, &named)
                             : m_databaseFile;
    const QFileInfo file(path);
    if (named && !file.exists()) {
        // An unmounted share or a mistyped path must not look like an empty address book.
        throw DatabaseError(QStringLiteral("Nie znaleziono bazy danych %1, którą wskazuje alias "
                                           "%2. Sprawdź, czy dysk lub udział sieciowy jest "
                                           "dostępny i czy ścieżka jest poprawna.")
                                .arg(QDir::toNativeSeparators(path), m_databaseName));
    }
    requireOrdinaryFile(path);
    if (!named && (!file.exists() || (file.isFile() && file.size() == 0)))
        ContactSchema::createFile(path, m_tableName);
    m_path = path;
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_db.setDatabaseName(path);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busyTimeout));
    try {
        if (!m_db.open())
            fail(m_db.lastError());
        m_fileStamp = FileStamp::of(path);
        QSqlQuery pragma(m_db);
        const bool set = pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL")) &&
                         pragma.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        const QSqlError refused = pragma.lastError();
        pragma.finish();
        if (!set && !refusesWriting(refused))
            failWrite(refused);
        if (!set || engineReadOnly())
            openReadOnly();
        openStructure();
    } catch (...) {
        close();
        throw;
    }
    emit stateChanged();
}

void TTable::openServer(const DatabaseAlias &alias)
{
    m_db = alias.open(m_connection);
    m_server = true;
    m_path = alias.describe();
    listen();
    try {
        // The table is made on first use of the database.
        QSqlQuery query(m_db);
        if (!query.prepare(QStringLiteral("SELECT to_regclass(?) IS NULL")))
            fail(query.lastError());
        query.addBindValue(quoted(m_tableName));
        if (!query.exec() || !query.next())
            fail(query.lastError());
        const bool missing = query.value(0).toBool();
        query.finish();
        if (missing)
            ContactSchema::create(m_db, m_tableName);
        openStructure();
    } catch (...) {
        close();
        throw;
    }
    emit stateChanged();
}

bool TTable::refusesWriting(const QSqlError &error)
{
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric) & 0xff;
    constexpr int kSqliteReadOnly = 8;
    constexpr int kSqliteCantOpen = 14;
    return numeric && (code == kSqliteReadOnly || code == kSqliteCantOpen);
}

bool TTable::engineReadOnly() const
{
    const QVariant handle = m_db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return false;
    return sqlite3_db_readonly(*static_cast<sqlite3 *const *>(handle.constData()), "main") == 1;
}

void TTable::openReadOnly()
{
    // Reading a file in WAL mode needs its shared-memory file beside it: where that
    // cannot be made, the file is read as it stands (immutable), with no locks.
    m_readOnly = true;
    const QString uri = QUrl::fromLocalFile(m_path).toString(QUrl::FullyEncoded);
    QSqlError failure;
    for (const QString &mode : {QStringLiteral("mode=ro"), QStringLiteral("immutable=1")}) {
        m_db.close();
        m_db.setConnectOptions(
            QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1")
                .arg(m_busyTimeout));
        m_db.setDatabaseName(uri + QLatin1Char('?') + mode);
        if (!m_db.open())
            fail(m_db.lastError());
        QSqlQuery probe(m_db);
        if (probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) && probe.next())
            return;
        failure = probe.lastError();
        if (!refusesWriting(failure))
            break;
    }
    fail(failure);
}

void TTable::requireWritable() const
{
    if (!m_readOnly)
        return;
    throw DatabaseError(QStringLiteral("Baza danych %1 jest otwarta tylko do odczytu: brak prawa "
                                       "zapisu do tego pliku lub do folderu %2, w którym leży. "
                                       "Zmian nie można zapisać.")
                            .arg(QDir::toNativeSeparators(m_path),
                                 QDir::toNativeSeparators(QFileInfo(m_path).absolutePath())));
}

void TTable::requireOrdinaryFile(const QString &path)
{
    // SQLite would open a pipe or a device and fail later with a bare I/O error.
    std::error_code failed;
    const auto type = std::filesystem::status(QFile::encodeName(path).toStdString(), failed).type();
    QString what;
    switch (type) {
    case std::filesystem::file_type::fifo:
        what = QStringLiteral("potokiem (FIFO)");
        break;
    case std::filesystem::file_type::socket:
        what = QStringLiteral("gniazdem");
        break;
    case std::filesystem::file_type::block:
    case std::filesystem::file_type::character:
        what = QStringLiteral("urządzeniem");
        break;
    case std::filesystem::file_type::directory:
        what = QStringLiteral("folderem");
        break;
    case std::filesystem::file_type::regular:
    case std::filesystem::file_type::not_found:
    case std::filesystem::file_type::none:
        return;
    default:
        what = QStringLiteral("plikiem specjalnym");
        break;
    }
    throw DatabaseError(
        QStringLiteral("%1 nie jest plikiem bazy danych, lecz %2. Wskaż plik bazy danych.")
            .arg(QDir::toNativeSeparators(path), what));
}

void TTable::failMissingTable(const QSqlError &error) const
{
    if (m_server)
        fail(error);
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                                 "name = ? COLLATE NOCASE"));
    query.addBindValue(m_tableName);
    if (!query.exec() || !query.next())
        fail(query.lastError());
    if (query.value(0).toInt() > 0)
        fail(error);
    query.finish();
    // A damaged file may lose its list of tables while the engine still reads it.
    const QString file = QDir::toNativeSeparators(m_path);
    if (!query.exec(QStringLiteral("PRAGMA quick_check(1)")) || !query.next() ||
        query.value(0).toString() != QLatin1String("ok"))
        throw DatabaseError(QStringLiteral("Plik bazy danych %1 jest uszkodzony: nie można w nim "
                                           "odczytać tabeli kontaktów %2.")
                                .arg(file, m_tableName));
    throw DatabaseError(
        QStringLiteral("W bazie danych %1 nie ma tabeli kontaktów %2.").arg(file, m_tableName));
}

// Reads the table's fields and indexes and positions on the first record.
void TTable::openStructure()
{
    loadStructure();
    verifyIndex(m_indexName);
    m_index = findIndex(m_indexName);
    if (m_readOnly) { // the order and search text are read as they are stored
        m_state = DataSetState::Browse;
        first();
        return;
    }
    QString error;
    m_bookkeeping = ContactSchema::ensureBookkeeping(m_db, m_tableName, &error);
    if (!m_bookkeeping)
        qWarning("Kartax2000: porządek alfabetyczny bazy %s nie będzie uzupełniany o zmiany innych "
                 "programów: %s",
                 qPrintable(m_path), qPrintable(error));
    if (!SearchIndex::ensure(m_db, m_tableName, &error, m_rebuildProgress))
        qWarning("Kartax2000: nie można zbudować indeksu wyszukiwania bazy %s: %s",
                 qPrintable(m_path), qPrintable(error));
    m_searchWriter = std::make_unique<SearchIndexWriter>(m_db, m_tableName);
    repairKeys();
    m_state = DataSetState::Browse;
    first();
}

void TTable::requireActive() const
{
    if (!active())
        throw DatabaseError(QStringLiteral("Tabela kontaktów nie jest otwarta."));
}

std::unique_ptr<TTable> TTable::openCursor() const
{
    requireActive();
    requireSameFile();
    auto cursor = std::make_unique<TTable>();
    if (m_server)
        cursor->setDatabaseName(m_databaseName);
    else
        cursor->setDatabaseFile(m_path);
    cursor->setTableName(m_tableName);
    cursor->setIndexName(m_indexName);
    cursor->setBusyTimeout(m_busyTimeout);
    cursor->open();
    return cursor;
}

bool TTable::locate(qint64 id)
{
    requireBrowseMovable();
    Row row;
    if (!fetch(Query::ById, {id}, &row))
        return false;
    setCurrent(row);
    m_bof = m_eof = false;
    notifyDataSetChanged();
    return true;
}

void TTable::checkpointInBackground()
{
    if (m_server)
        return;
    m_checkpoint.reset(); // one at a time
    m_checkpoint = std::make_unique<BackgroundCheckpoint>(m_path, m_busyTimeout);
}

void TTable::requireSameFile() const
{
    // SQLite keeps writing to a file that was deleted or moved away, and all of it
    // would be gone at exit: refuse before writing.
    if (m_server || m_fileStamp.sameFile(FileStamp::of(m_path)))
        return;
    throw DatabaseError(QStringLiteral("Plik bazy danych %1 został usunięty lub przeniesiony "
                                       "podczas pracy programu. Zmian nie zapisano; uruchom "
                                       "program ponownie.")
                            .arg(QDir::toNativeSeparators(m_path)));
}

void TTable::failWrite(const QSqlError &error) const
{
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric);
    constexpr int kSqliteReadOnly = 8;
    if (!m_server && numeric && (code & 0xff) == kSqliteReadOnly) {
        const QFileInfo file(m_path);
        const QString folder = QDir::toNativeSeparators(file.absolutePath());
        if (!QFileInfo(file.absolutePath()).isWritable())
            throw DatabaseError(QStringLiteral("Brak prawa zapisu w folderze %1, w którym leży "
                                               "baza danych. Zmian nie zapisano.")
                                    .arg(folder));
        if (!file.isWritable())
            throw DatabaseError(QStringLiteral("Brak prawa zapisu do pliku bazy danych %1. "
                                               "Zmian nie zapisano.")
                                    .arg(QDir::toNativeSeparators(m_path)));
    }
    fail(error);
}

QString TTable::storedValuesMatch(QVariantList *binds) const
{
    // The record as it was read: a write succeeds only while every field still holds it.
    QString sql;
    for (int i = 0; i < m_fields.size(); ++i) {
        sql += QStringLiteral(" AND CAST(COALESCE(%1, '') AS TEXT) = ?").arg(quoted(m_fields[i]));
        const QString value = i < m_current.values.size() ? m_current.values[i] : QString();
        *binds << (value.isNull() ? QStringLiteral("") : value); // a null string binds NULL
    }
    return sql;
}

bool TTable::rowExists(qint64 id) const
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE id = ?").arg(quoted(m_tableName)));
    query.addBindValue(id);
    if (!query.exec())
        fail(query.lastError());
    return query.next();
}

void TTable::close()
{
    // The last connection to close copies what is left of the log into the file itself.
    m_checkpoint.reset();
    if (m_db.isValid() || active()) {
        const bool wasActive = active();
        m_statements.clear();
        m_searchWriter.reset();
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
        m_path.clear();
        m_server = false;
        m_readOnly = false;
        m_lost = false;
        m_deletedByOther = false;
        if (m_notificationPoll)
            m_notificationPoll->stop();
        m_state = DataSetState::Inactive;
        m_current = Row();
        m_buffer.clear();
        m_modified = false;
        m_empty = true;
        m_bof = m_eof = true;
        m_indexes.clear();
        m_index = -1;
        if (wasActive) {
            emit stateChanged();
            notifyDataSetChanged();
        }
    }
}

void TTable::loadStructure()
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(quoted(m_tableName))))
        failMissingTable(query.lastError());
    QStringList columns;
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i)
        columns << record.fieldName(i);
    query.finish();

    const auto hasColumn = [&columns](const QString &name) {
        return columns.contains(name, Qt::CaseInsensitive);
    };
    m_fields.clear();
    m_keyedFields.clear();
    for (const QString &column : std::as_const(columns)) {
        if (column.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0)
            continue;
        if (column.endsWith(QLatin1String("_k"), Qt::CaseInsensitive) &&
            hasColumn(column.chopped(2)))
            continue;
        m_fields << column;
        if (hasColumn(ContactSchema::keyColumn(column)))
            m_keyedFields << column;
    }
    m_keySlotOfField.fill(-1, m_fields.size());
    for (int slot = 0; slot < m_keyedFields.size(); ++slot)
        m_keySlotOfField[m_fields.indexOf(m_keyedFields[slot])] = slot;

    m_indexes.clear();
    // Each index with the column it orders first.
    QList<std::pair<QString, QString>> indexes;
    if (m_server) {
        if (!query.prepare(QStringLiteral(
                "SELECT i.relname, a.attname FROM pg_index x "
                "JOIN pg_class i ON i.oid = x.indexrelid "
                "JOIN pg_attribute a ON a.attrelid = x.indrelid AND a.attnum = x.indkey[0] "
                "WHERE x.indrelid = to_regclass(?) ORDER BY i.relname")))
            fail(query.lastError());
        query.addBindValue(quoted(m_tableName));
        if (!query.exec())
            fail(query.lastError());
        while (query.next())
            indexes.append({query.value(0).toString(), query.value(1).toString()});
        query.finish();
    } else {
        QStringList indexNames;
        if (!query.exec(QStringLiteral("PRAGMA index_list(%1)").arg(quoted(m_tableName))))
            fail(query.lastError());
        while (query.next())
            indexNames << query.value(QStringLiteral("name")).toString();
        query.finish();
        for (const QString &name : std::as_const(indexNames)) {
            if (!query.exec(QStringLiteral("PRAGMA index_info(%1)").arg(quoted(name))))
                fail(query.lastError());
            QString firstColumn;
            while (query.next()) {
                if (query.value(QStringLiteral("seqno")).toInt() == 0)
                    firstColumn = query.value(QStringLiteral("name")).toString();
            }
            query.finish();
            indexes.append({name, firstColumn});
        }
    }
    for (const auto &[name, firstColumn] : std::as_const(indexes)) {
        for (int slot = 0; slot < m_keyedFields.size(); ++slot) {
            if (firstColumn.compare(ContactSchema::keyColumn(m_keyedFields[slot]),
                                    Qt::CaseInsensitive) == 0) {
                m_indexes.push_back({name, int(m_fields.indexOf(m_keyedFields[slot])), slot});
            }
        }
    }
    m_statements.clear();
    m_statements.resize(m_indexes.size());
}

int TTable::findIndex(const QString &name) const
{
    for (int i = 0; i < m_indexes.size(); ++i) {
        if (m_indexes[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QStringList TTable::indexNames() const
{
    QStringList names;
    for (const IndexInfo &index : m_indexes)
        names << index.name;
    return names;
}

QString TTable::indexName() const
{
    return m_indexName;
}

void TTable::verifyIndex(const QString &name) const
{
    if (!m_db.isOpen())
        throw DatabaseError(QStringLiteral("Tabela kontaktów nie jest otwarta."));
    if (findIndex(name) >= 0)
        return;
    const QString place = m_server ? m_path : QDir::toNativeSeparators(m_path);
    QSqlQuery query(m_db);
    if (m_server || !query.exec(QStringLiteral("SELECT 1 FROM %1 INDEXED BY %2 LIMIT 0")
                                    .arg(quoted(m_tableName), quoted(name))))
        throw DatabaseError(QStringLiteral("Tabela %1 w bazie danych %2 nie ma indeksu %3.")
                                .arg(m_tableName, place, name));
    throw DatabaseError(QStringLiteral("Indeks %1 w bazie danych %2 nie porządkuje żadnego pola "
                                       "tabeli %3.")
                            .arg(name, place, m_tableName));
}

void TTable::setIndexName(const QString &name)
{
    if (!active()) {
        m_indexName = name;
        return;
    }
    verifyIndex(name);
    checkBrowseMode();
    const int index = findIndex(name);
    m_indexName = name;
    if (index == m_index)
        return;
    m_index = index;
    if (m_empty)
        return;
    const bool wasFirst = atFirst();
    const bool wasLast = atLast();
    Row row;
    if (fetch(Query::ById, {m_current.id}, &row))
        setCurrent(row);
    else
        repositionNear(m_current);
    if (wasFirst != atFirst() || wasLast != atLast())
        notifyDataSetChanged();
}

QString TTable::indexedBy(const QString &index) const
{
    // SQLite is told which index to walk; a server's planner picks it from the order.
    return m_server ? QString() : QStringLiteral("INDEXED BY %1 ").arg(quoted(index));
}

QString TTable::selectList(int index) const
{
    const IndexInfo &info = m_indexes[index];
    const QString key = quoted(ContactSchema::keyColumn(m_keyedFields[info.keySlot]));
    QStringList columns{QStringLiteral("c.id")};
    for (const QString &field : m_fields)
        columns << QStringLiteral("c.") + quoted(field);
    for (const QString &field : m_keyedFields)
        columns << QStringLiteral("c.") + quoted(ContactSchema::keyColumn(field));
    // Whether a record lies before or after this one in the index order. Each test
    // is split into "same key, id beyond" and "key beyond" so that both are seeks on
    // the (key, id) index; a row-value comparison would scan every equal key.
    // A server's planner would answer "key beyond" by a scan of the table, guessing
    // that a third of the rows qualify; asked for the nearest one, it seeks the index.
    const QString probe =
        m_server
            ? QStringLiteral("EXISTS (SELECT 1 FROM %1 AS p %2WHERE p.%3 = c.%3 AND p.id %4 c.id)"
                             " OR (SELECT 1 FROM %1 AS p %2WHERE p.%3 %4 c.%3 ORDER BY p.%3%5 "
                             "LIMIT 1) IS NOT NULL")
            : QStringLiteral("EXISTS (SELECT 1 FROM %1 AS p %2WHERE p.%3 = c.%3 AND p.id %4 c.id)"
                             " OR EXISTS (SELECT 1 FROM %1 AS p %2WHERE p.%3 %4 c.%3)%5");
    columns << probe.arg(quoted(m_tableName), indexedBy(info.name), key, QStringLiteral("<"),
                         m_server ? QStringLiteral(" DESC") : QString());
    columns << probe.arg(quoted(m_tableName), indexedBy(info.name), key, QStringLiteral(">"),
                         QString());
    return columns.join(QStringLiteral(", "));
}

TTable::Statements &TTable::statements(int index)
{
    std::unique_ptr<Statements> &slot = m_statements[index];
    if (slot)
        return *slot;
    auto prepared = std::make_unique<Statements>();
    const IndexInfo &info = m_indexes[index];
    const QString key =
        QStringLiteral("c.") + quoted(ContactSchema::keyColumn(m_keyedFields[info.keySlot]));
    const QString from =
        QStringLiteral("SELECT %1 FROM %2 AS c ").arg(selectList(index), quoted(m_tableName));
    const QString indexed = from + indexedBy(info.name);
    const QString ascending = QStringLiteral(" ORDER BY %1, c.id LIMIT 1").arg(key);
    const QString descending = QStringLiteral(" ORDER BY %1 DESC, c.id DESC LIMIT 1").arg(key);
    // In the order of TTable::Query.
    const QString sql[kQueryKinds] = {
        indexed + ascending,
        indexed + descending,
        indexed + QStringLiteral("WHERE %1 = ? AND c.id > ?").arg(key) + ascending,
        indexed + QStringLiteral("WHERE %1 > ?").arg(key) + ascending,
        indexed + QStringLiteral("WHERE %1 = ? AND c.id < ?").arg(key) + descending,
        indexed + QStringLiteral("WHERE %1 < ?").arg(key) + descending,
        indexed + QStringLiteral("WHERE %1 >= ?").arg(key) + ascending,
        from + QStringLiteral("WHERE c.id = ?"),
    };
    for (int kind = 0; kind < kQueryKinds; ++kind) {
        auto query = std::make_unique<QSqlQuery>(m_db);
        query->setForwardOnly(true);
        if (!query->prepare(sql[kind]))
            fail(query->lastError());
        prepared->queries[kind] = std::move(query);
    }
    slot = std::move(prepared);
    return *slot;
}

bool TTable::fetchOnce(Query kind, const QVariantList &binds, Row *row, bool *keyMissing)
{
    QSqlQuery &query = *statements(m_index).queries[static_cast<int>(kind)];
    for (int i = 0; i < binds.size(); ++i)
        query.bindValue(i, binds[i]);
    if (!query.exec())
        fail(query.lastError());
    if (!query.next()) {
        const QSqlError error = query.lastError();
        query.finish();
        if (error.isValid())
            fail(error);
        return false;
    }
    const int fieldCount = m_fields.size();
    const int keyCount = m_keyedFields.size();
    row->id = query.value(0).toLongLong();
    row->values.resize(fieldCount);
    for (int i = 0; i < fieldCount; ++i)
        row->values[i] = query.value(1 + i).toString();
    row->keys.resize(keyCount);
    row->keyMissing = false;
    for (int slot = 0; slot < keyCount; ++slot) {
        const QVariant key = query.value(1 + fieldCount + slot);
        row->keys[slot] = key.toByteArray();
        if (key.isNull())
            row->keyMissing = true;
    }
    row->hasPrior = query.value(1 + fieldCount + keyCount).toInt() != 0;
    row->hasNext = query.value(2 + fieldCount + keyCount).toInt() != 0;
    query.finish();
    *keyMissing = row->keyMissing;
    return true;
}

bool TTable::fetch(Query kind, const QVariantList &binds, Row *row)
{
    bool keyMissing = false;
    bool found = fetchOnce(kind, binds, row, &keyMissing);
    if (found && keyMissing) {
        // Another program wrote this row since the keys were last repaired.
        repairKeys();
        found = fetchOnce(kind, binds, row, &keyMissing);
    }
    return found;
}

bool TTable::fetchNext(const Row &from, Row *row)
{
    const QByteArray key = currentKey(from);
    return fetch(Query::NextSameKey, {key, from.id}, row) ||
           fetch(Query::NextGreaterKey, {key}, row);
}

bool TTable::fetchPrior(const Row &from, Row *row)
{
    const QByteArray key = currentKey(from);
    return fetch(Query::PriorSameKey, {key, from.id}, row) ||
           fetch(Query::PriorLesserKey, {key}, row);
}

void TTable::forEachRecord(const std::function<bool(const QStringList &values)> &visit)
{
    requireActive();
    requireSameFile();
    repairKeys(); // rows another program wrote take their place in the order first
    const IndexInfo &info = m_indexes[m_index];
    QStringList columns;
    for (const QString &field : m_fields)
        columns << QStringLiteral("c.") + quoted(field);
    const QString key =
        QStringLiteral("c.") + quoted(ContactSchema::keyColumn(m_keyedFields[info.keySlot]));
    BulkStatement query(m_db, QStringLiteral("SELECT %1 FROM %2 AS c %3ORDER BY %4, c.id")
                                  .arg(columns.join(QStringLiteral(", ")), quoted(m_tableName),
                                       indexedBy(info.name), key));
    if (!query.ok())
        fail(query.error());
    QStringList values;
    while (query.next()) {
        values.clear();
        for (int i = 0; i < m_fields.size(); ++i)
            values << query.text(i);
        if (!visit(values))
            return;
    }
    if (!query.ok())
        fail(query.error());
}

void TTable::repairKeys()
{
    if (m_readOnly)
        return;
    QString error;
    if (ContactSchema::repairKeys(m_db, m_tableName, m_keyedFields, &error, m_rebuildProgress) < 0)
        qWarning("Kartax2000: nie można naprawić porządku alfabetycznego bazy %s: %s",
                 qPrintable(m_path), qPrintable(error));
    if (!SearchIndex::repair(m_db, m_tableName, &error))
        qWarning("Kartax2000: nie można uaktualnić indeksu wyszukiwania bazy %s: %s",
                 qPrintable(m_path), qPrintable(error));
}

QByteArray TTable::currentKey(const Row &row) const
{
    const int slot = m_indexes[m_index].keySlot;
    return slot < row.keys.size() ? row.keys[slot] : QByteArray();
}

void TTable::setCurrent(const Row &row)
{
    if (row.id != m_current.id)
        m_deletedByOther = false;
    m_current = row;
    m_empty = false;
}

void TTable::setEmpty()
{
    m_current = Row();
    m_current.values.resize(m_fields.size());
    m_empty = true;
    m_bof = m_eof = true;
}

void TTable::repositionNear(const Row &gone)
{
    Row row;
    if (fetchNext(gone, &row) || fetchPrior(gone, &row)) {
        setCurrent(row);
        m_bof = m_eof = false;
    } else {
        setEmpty();
    }
}

void TTable::requireBrowseMovable()
{
    requireActive();
    reconnectIfLost();
    checkBrowseMode();
    if (m_deletedByOther) {
        // The card moves on to a neighbour, and says why.
        repositionNear(m_current);
        notifyDataSetChanged();
        throw DatabaseError(QStringLiteral("Rekord został usunięty przez innego użytkownika; "
                                           "pokazano sąsiedni."));
    }
    if (!m_empty && m_current.keyMissing) {
        repairKeys();
        Row row;
        if (fetch(Query::ById, {m_current.id}, &row))
            setCurrent(row);
    }
}

void TTable::first()
{
    requireBrowseMovable();
    Row row;
    if (fetch(Query::First, {}, &row)) {
        setCurrent(row);
        m_bof = true;
        m_eof = false;
    } else {
        setEmpty();
    }
    notifyDataSetChanged();
}

void TTable::last()
{
    requireBrowseMovable();
    Row row;
    if (fetch(Query::Last, {}, &row)) {
        setCurrent(row);
        m_bof = false;
        m_eof = true;
    } else {
        setEmpty();
    }
    notifyDataSetChanged();
}

void TTable::next()
{
    requireBrowseMovable();
    if (m_empty) {
        m_bof = m_eof = true;
        return;
    }
    Row row;
    if (fetchNext(m_current, &row)) {
        setCurrent(row);
        m_bof = m_eof = false;
        notifyDataSetChanged();
    } else {
        m_eof = true;
        if (m_current.hasNext) {
            m_current.hasNext = false;
            notifyDataSetChanged();
        }
    }
}

void TTable::prior()
{
    requireBrowseMovable();
    if (m_empty) {
        m_bof = m_eof = true;
        return;
    }
    Row row;
    if (fetchPrior(m_current, &row)) {
        setCurrent(row);
        m_bof = m_eof = false;
        notifyDataSetChanged();
    } else {
        m_bof = true;
        if (m_current.hasPrior) {
            m_current.hasPrior = false;
            notifyDataSetChanged();
        }
    }
}

qint64 TTable::recordCount() const
{
    if (!active())
        return 0;
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT count(*) FROM %1").arg(quoted(m_tableName))) ||
        !query.next())
        fail(query.lastError());
    return query.value(0).toLongLong();
}

void TTable::notifyDataSetChanged()
{
    if (m_controlsDisabled > 0)
        m_changedWhileDisabled = true;
    else
        emit dataSetChanged();
}

void TTable::disableControls()
{
    ++m_controlsDisabled;
}

void TTable::enableControls()
{
    if (m_controlsDisabled == 0 || --m_controlsDisabled > 0)
        return;
    if (m_changedWhileDisabled) {
        m_changedWhileDisabled = false;
        emit dataSetChanged();
    }
}

void TTable::setState(DataSetState state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged();
}

void TTable::edit()
{
    requireActive();
    if (editing())
        return;
    requireWritable();
    if (m_state == DataSetState::SetKey)
        m_state = DataSetState::Browse;
    if (m_empty) {
        insert(); // editing an empty table starts a new record
        return;
    }
    m_buffer = m_current.values;
    m_modified = false;
    setState(DataSetState::Edit);
}

void TTable::insert()
{
    requireActive();
    requireWritable();
    checkBrowseMode();
    m_beforeInsert = m_current;
    m_buffer = QVector<QString>(m_fields.size());
    m_modified = false;
    m_state = DataSetState::Insert;
    emit stateChanged();
    notifyDataSetChanged();
}

void TTable::updateRecord()
{
    if (editing())
        emit updateRecordRequested();
}

void TTable::post()
{
    updateRecord();
    if (!editing())
        return;
    reconnectIfLost();
    const bool inserting = m_state == DataSetState::Insert;
    QStringList columns;
    QVariantList values;
    for (int i = 0; i < m_fields.size(); ++i) {
        columns << quoted(m_fields[i]);
        values << m_buffer[i];
    }
    const SortKeyCollator &collator = SortKeyCollator::instance();
    for (int slot = 0; slot < m_keyedFields.size(); ++slot) {
        columns << quoted(ContactSchema::keyColumn(m_keyedFields[slot]));
        values << collator.key(m_buffer[m_fields.indexOf(m_keyedFields[slot])]);
    }

    QSqlQuery write(m_db);
    if (inserting) {
        QStringList marks;
        marks.fill(QStringLiteral("?"), columns.size());
        write.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)%4")
                          .arg(quoted(m_tableName), columns.join(QStringLiteral(", ")),
                               marks.join(QStringLiteral(", ")),
                               m_server ? QStringLiteral(" RETURNING id") : QString()));
    } else {
        values << m_current.id;
        const QString unchanged = storedValuesMatch(&values);
        write.prepare(
            QStringLiteral("UPDATE %1 SET %2 = ? WHERE id = ?%3")
                .arg(quoted(m_tableName), columns.join(QStringLiteral(" = ?, ")), unchanged));
    }
    for (int i = 0; i < values.size(); ++i)
        write.bindValue(i, values[i]);

    requireSameFile();
    if (!m_db.transaction())
        failWrite(m_db.lastError());
    const auto rollbackAndFail = [this](const QSqlError &error) {
        m_db.rollback();
        failWrite(error);
    };
    if (!write.exec())
        rollbackAndFail(write.lastError());
    if (!inserting && write.numRowsAffected() == 0) {
        const bool changedByOther = rowExists(m_current.id);
        m_db.rollback();
        if (changedByOther)
            throw DatabaseError(QString::fromUtf8(kChangedByOther) +
                                QStringLiteral(" Zmian nie zapisano: anuluj edycję, aby zobaczyć "
                                               "zapisany rekord, i wprowadź je ponownie."));
        throw DatabaseError(QStringLiteral("Rekordu nie ma już w bazie danych; został usunięty."));
    }
    qint64 id = m_current.id;
    if (inserting && m_server)
        id = write.next() ? write.value(0).toLongLong() : -1;
    else if (inserting)
        id = write.lastInsertId().toLongLong();
    write.finish();
    QStringList searchValues;
    for (const QString &field : ContactSchema::fieldNames()) {
        const int i = fieldIndex(field);
        searchValues << (i < 0 ? QString() : m_buffer[i]);
    }
    if (QString error; !m_searchWriter->write(id, searchValues, &error)) {
        m_db.rollback();
        throw DatabaseError(error);
    }
    if (m_bookkeeping) {
        // The triggers marked the row; its keys are written, so clear the mark.
        QSqlQuery unmark(m_db);
        unmark.prepare(QStringLiteral("DELETE FROM %1 WHERE id = ?")
                           .arg(quoted(ContactSchema::dirtyTable(m_tableName))));
        unmark.addBindValue(id);
        if (!unmark.exec())
            rollbackAndFail(unmark.lastError());
    }
    if (!m_db.commit())
        rollbackAndFail(m_db.lastError());

    m_state = DataSetState::Browse;
    m_modified = false;
    m_buffer.clear();
    Row row;
    if (fetch(Query::ById, {id}, &row))
        setCurrent(row);
    m_bof = m_eof = false;
    emit stateChanged();
    notifyDataSetChanged();
}

void TTable::cancel()
{
    switch (m_state) {
    case DataSetState::SetKey:
        m_state = DataSetState::Browse;
        return;
    case DataSetState::Edit: {
        // Show the record as stored now: another user may have changed it.
        Row row;
        if (fetch(Query::ById, {m_current.id}, &row))
            setCurrent(row);
        else
            repositionNear(m_current);
        break;
    }
    case DataSetState::Insert:
        if (m_beforeInsert.id >= 0) {
            Row row;
            if (fetch(Query::ById, {m_beforeInsert.id}, &row))
                setCurrent(row);
            else
                repositionNear(m_beforeInsert);
        }
        break;
    default:
        return;
    }
    m_state = DataSetState::Browse;
    m_modified = false;
    m_buffer.clear();
    emit stateChanged();
    notifyDataSetChanged();
}

void TTable::checkBrowseMode()
{
    if (!active())
        return;
    if (m_state == DataSetState::SetKey) {
        m_state = DataSetState::Browse;
        return;
    }
    if (!editing())
        return;
    updateRecord();
    if (m_modified)
        post();
    else
        cancel();
}

void TTable::deleteRecord()
{
    if (m_state == DataSetState::Insert) {
        cancel();
        return;
    }
    if (!active() || m_empty)
        throw DatabaseError(QStringLiteral(
            "Tabela kontaktów jest pusta: nie ma rekordu, na którym można to wykonać."));
    requireWritable();
    requireSameFile();
    reconnectIfLost();
    QSqlQuery remove(m_db);
    QVariantList binds{m_current.id};
    const QString unchanged = storedValuesMatch(&binds);
    // The search index's delete trigger drops the row from it within this statement.
    remove.prepare(
        QStringLiteral("DELETE FROM %1 WHERE id = ?%2").arg(quoted(m_tableName), unchanged));
    for (int i = 0; i < binds.size(); ++i)
        remove.bindValue(i, binds[i]);
    if (!remove.exec())
        failWrite(remove.lastError());
    if (remove.numRowsAffected() == 0 && rowExists(m_current.id))
        throw DatabaseError(QString::fromUtf8(kChangedByOther) +
                            QStringLiteral(" Nie został usunięty."));
    const Row gone = m_current;
    const bool wasEditing = editing();
    m_state = DataSetState::Browse;
    m_modified = false;
    m_buffer.clear();
    repositionNear(gone);
    if (wasEditing)
        emit stateChanged();
    notifyDataSetChanged();
}

void TTable::refresh()
{
    requireActive();
    reconnectIfLost();
    checkBrowseMode();
    repairKeys();
    Row row;
    if (!m_empty && fetch(Query::ById, {m_current.id}, &row)) {
        setCurrent(row);
    } else if (!m_empty) {
        repositionNear(m_current);
    } else if (fetch(Query::First, {}, &row)) {
        setCurrent(row);
        m_bof = true;
        m_eof = false;
    }
    notifyDataSetChanged();
}

int TTable::fieldIndex(const QString &name) const
{
    for (int i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int TTable::fieldIndexChecked(const QString &name) const
{
    const int index = fieldIndex(name);
    if (index < 0)
        throw DatabaseError(QStringLiteral("Tabela kontaktów nie ma pola %1.").arg(name));
    return index;
}

QString TTable::fieldText(int field) const
{
    if (field < 0 || field >= m_fields.size())
        return {};
    if (editing())
        return m_buffer[field];
    return field < m_current.values.size() ? m_current.values[field] : QString();
}

void TTable::setFieldText(int field, const QString &text)
{
    if (field < 0 || field >= m_fields.size())
        throw DatabaseError(
            QStringLiteral("Tabela kontaktów nie ma pola o numerze %1.").arg(field));
    switch (m_state) {
    case DataSetState::Edit:
    case DataSetState::Insert:
        if (m_buffer[field] != text) {
            m_buffer[field] = text;
            m_modified = true;
            emit fieldChanged(field);
        }
        return;
    case DataSetState::SetKey:
        if (field == m_indexes[m_index].field)
            m_keyText = text;
        return;
    default:
        throw DatabaseError(QStringLiteral("Rekord nie jest edytowany ani dodawany."));
    }
}

void TTable::setKey()
{
    requireActive();
    checkBrowseMode();
    m_keyText.clear();
    m_state = DataSetState::SetKey;
}

void TTable::gotoNearest()
{
    if (m_state != DataSetState::SetKey)
        throw DatabaseError(QStringLiteral("Tabela nie jest w trybie wyszukiwania klucza."));
    m_state = DataSetState::Browse;
    const QByteArray key = SortKeyCollator::instance().key(m_keyText);
    Row row;
    if (fetch(Query::Nearest, {key}, &row) || fetch(Query::Last, {}, &row)) {
        setCurrent(row);
        m_bof = m_eof = false;
    } else {
        setEmpty();
    }
    notifyDataSetChanged();
}
