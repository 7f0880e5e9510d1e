#include "store/sql_engine.h"

#include "platform/errors.h"
#include "store/contact_details.h"
#include "store/contact_schema.h"
#include "store/database_alias.h"
#include "store/search_index.h"
#include "store/sql_text.h"
#include "store/sqlite_search_index.h"
#include "store/table_connection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <filesystem>
#include <limits>
#include <sqlite3.h>
#include <system_error>

namespace {

using SqlText::engineMessage;
using SqlText::quoted;

// SQLite's primary result codes that tell a refused write.
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteCantOpen = 14;

// Whether an error is the engine's refusal to write the file or what it needs beside it.
bool refusesWriting(const QSqlError &error)
{
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric) & 0xff;
    return numeric && (code == kSqliteReadOnly || code == kSqliteCantOpen);
}

// Whether the engine opened the file for reading only.
bool engineReadOnly(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return false;
    return sqlite3_db_readonly(*static_cast<sqlite3 *const *>(handle.constData()), "main") == 1;
}

// Raises an error naming what path is when it is neither a file nor missing.
void requireOrdinaryFile(const QString &path)
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

// Creates a new database file at path with the table, its indexes and bookkeeping.
// The file is built under a temporary name and renamed into place once its schema
// is committed, so an interrupted first run never leaves a file without the table.
// An empty file at path (left by such a run) is replaced; a file another program
// put there meanwhile is kept. Raises DatabaseError.
void createFile(const QString &path, const QString &table)
{
    const QString temporary =
        path + QStringLiteral(".new-%1").arg(QCoreApplication::applicationPid());
    QFile::remove(temporary);
    const QString connection = QStringLiteral("kartax-create-%1").arg(quintptr(&temporary));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(temporary);
        try {
            if (!db.open())
                throw DatabaseError(engineMessage(db.lastError()));
            QSqlQuery pragma(db);
            // Pages of 8 KB, set before the first table: a bulk write then goes through
            // half as many pages and log frames, and searches read fewer; a file made
            // earlier keeps the size it was made with.
            if (!pragma.exec(QStringLiteral("PRAGMA page_size=8192")) ||
                !pragma.exec(QStringLiteral("PRAGMA synchronous=FULL")))
                throw DatabaseError(engineMessage(pragma.lastError()));
            pragma.finish();
            ContactSchema::create(db, table);
            db.close();
        } catch (...) {
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connection);
            QFile::remove(temporary);
            throw;
        }
    }
    QSqlDatabase::removeDatabase(connection);
    if (QFileInfo(path).exists() && QFileInfo(path).size() == 0) {
        // An interrupted first run: its journal belongs to no database now.
        QFile::remove(path + QStringLiteral("-journal"));
        QFile::remove(path + QStringLiteral("-wal"));
        QFile::remove(path + QStringLiteral("-shm"));
        QFile::remove(path);
    }
    // Renaming never replaces a file: one that another instance created meanwhile wins.
    QFile file(temporary);
    if (!file.rename(path)) {
        const QString reason = file.errorString();
        QFile::remove(temporary);
        if (!QFileInfo(path).isFile() || QFileInfo(path).size() == 0)
            throw DatabaseError(reason + QStringLiteral(": ") + path);
    }
}

// Opens the file again for reading only.
void openReadOnly(TableConnection &connection)
{
    // Reading a file in WAL mode needs its shared-memory file beside it: where that
    // cannot be made, the file is read as it stands (immutable), with no locks.
    connection.setReadOnly();
    QSqlDatabase &db = connection.db();
    const QString uri = QUrl::fromLocalFile(connection.path()).toString(QUrl::FullyEncoded);
    QSqlError failure;
    for (const QString &mode : {QStringLiteral("mode=ro"), QStringLiteral("immutable=1")}) {
        db.close();
        db.setConnectOptions(
            QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1")
                .arg(connection.busyTimeout()));
        db.setDatabaseName(uri + QLatin1Char('?') + mode);
        if (!db.open())
            connection.fail(db.lastError());
        QSqlQuery probe(db);
        if (probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) && probe.next())
            return;
        failure = probe.lastError();
        if (!refusesWriting(failure))
            break;
    }
    connection.fail(failure);
}

// A version 4 UUID from random bytes, and the time now as vCard's REV, in the engine's
// own SQL.
constexpr char kUuid[] =
    "lower(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || "
    "substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + abs(random() % 4), 1) || "
    "substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6)))";
constexpr char kNow[] = "strftime('%Y-%m-%dT%H:%M:%SZ', 'now')";

// The trigger that gives every contact inserted a card with a generated UID, by name
// with the statement that creates it when missing. A batch sets it aside and writes the
// cards itself.
std::pair<QString, QString> cardTrigger(const QString &table)
{
    const QString name = table + QStringLiteral("_card_ins");
    return {name, QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER INSERT ON %2 BEGIN "
                                 "INSERT OR IGNORE INTO %3 (id, uid, rev) VALUES (NEW.id, %4, "
                                 "%5); END")
                      .arg(quoted(name), quoted(table), quoted(ContactDetails::cardTable(table)),
                           QLatin1String(kUuid), QLatin1String(kNow))};
}

// The triggers that mark rows another program writes, by name with the statement
// that creates each when missing.
QList<std::pair<QString, QString>> markTriggers(const QString &table)
{
    const QString dirty = quoted(ContactSchema::dirtyTable(table));
    const QString insert = table + QStringLiteral("_keys_ins");
    const QString update = table + QStringLiteral("_keys_upd");
    // Any insert, and any update of an indexed field, marks the row; the program
    // clears its own marks when it writes the keys, so marks left behind name rows
    // that another program wrote.
    return {
        {insert, QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER INSERT ON %2 BEGIN "
                                "INSERT OR IGNORE INTO %3 (id) VALUES (NEW.id); END")
                     .arg(quoted(insert), quoted(table), dirty)},
        {update,
         QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER UPDATE OF %2 ON %3 BEGIN "
                        "INSERT OR IGNORE INTO %4 (id) VALUES (NEW.id); END")
             .arg(quoted(update), ContactSchema::keyedFieldNames().join(QStringLiteral(", ")),
                  quoted(table), dirty)},
    };
}

// The contact table in an SQLite file on this machine.
class SqliteEngine final : public SqlEngine
{
public:
    QString driverName() const override { return QStringLiteral("QSQLITE"); }

    // ---- The table, its cursor, schema and batches -------------------------------

    bool inFile() const override { return true; }

    QString describe(const DatabaseAlias &alias) const override
    {
        return alias.database().isEmpty()
                   ? QStringLiteral("domyślny plik Kartax2000.db")
                   : QStringLiteral("plik ") + QDir::toNativeSeparators(alias.database());
    }

    QString place(const QString &path) const override { return QDir::toNativeSeparators(path); }

    QSqlDatabase openAlias(const DatabaseAlias &alias, const QString &) const override
    {
        throw DatabaseError(
            QStringLiteral("Alias %1 wskazuje plik bazy danych, nie serwer.").arg(alias.name()));
    }

    void openTable(TableConnection &connection, const DatabaseAlias &alias,
                   const QString &table) const override
    {
        const bool named = alias.namesFile();
        const QString path = alias.file();
        const QFileInfo file(path);
        if (named && !file.exists()) {
            // An unmounted share or a mistyped path must not look like an empty address book.
            throw DatabaseError(
                QStringLiteral("Nie znaleziono bazy danych %1, którą wskazuje alias "
                               "%2. Sprawdź, czy dysk lub udział sieciowy jest "
                               "dostępny i czy ścieżka jest poprawna.")
                    .arg(QDir::toNativeSeparators(path), alias.name()));
        }
        requireOrdinaryFile(path);
        if (!named && (!file.exists() || (file.isFile() && file.size() == 0)))
            createFile(path, table);
        connection.setPath(path);
        QSqlDatabase &db = connection.db();
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection.name());
        db.setDatabaseName(path);
        db.setConnectOptions(
            QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(connection.busyTimeout()));
        if (!db.open())
            connection.fail(db.lastError());
        QSqlQuery pragma(db);
        const bool set = pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL")) &&
                         pragma.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        const QSqlError refused = pragma.lastError();
        pragma.finish();
        if (!set && !refusesWriting(refused))
            connection.failWrite(refused);
        if (!set || engineReadOnly(db))
            openReadOnly(connection);
    }

    std::unique_ptr<QObject> listen(const QSqlDatabase &, const QString &, std::function<bool()>,
                                    std::function<void(qint64)>) const override
    {
        return nullptr; // another program's rows are seen when read
    }

    bool connectionLost(const QSqlDatabase &) const override { return false; }

    QString failureMessage(const QString &path, const QSqlError &error) const override
    {
        return SqlText::fileFailure(path, error);
    }

    QString writeRefusal(const QString &path, const QSqlError &error) const override
    {
        bool numeric = false;
        const int code = error.nativeErrorCode().toInt(&numeric);
        if (!numeric || (code & 0xff) != kSqliteReadOnly)
            return {};
        const QFileInfo file(path);
        const QString folder = QDir::toNativeSeparators(file.absolutePath());
        if (!QFileInfo(file.absolutePath()).isWritable())
            return QStringLiteral("Brak prawa zapisu w folderze %1, w którym leży "
                                  "baza danych. Zmian nie zapisano.")
                .arg(folder);
        if (!file.isWritable())
            return QStringLiteral("Brak prawa zapisu do pliku bazy danych %1. "
                                  "Zmian nie zapisano.")
                .arg(QDir::toNativeSeparators(path));
        return {};
    }

    QSqlError explainUnreadableTable(const QSqlDatabase &db, const QString &table,
                                     const QString &path, const QSqlError &error) const override
    {
        QSqlQuery query(db);
        query.prepare(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' "
                                     "AND name = ? COLLATE NOCASE"));
        query.addBindValue(table);
        if (!query.exec() || !query.next())
            return query.lastError();
        if (query.value(0).toInt() > 0)
            return error;
        query.finish();
        // A damaged file may lose its list of tables while the engine still reads it.
        const QString file = QDir::toNativeSeparators(path);
        if (!query.exec(QStringLiteral("PRAGMA quick_check(1)")) || !query.next() ||
            query.value(0).toString() != QLatin1String("ok"))
            throw DatabaseError(QStringLiteral("Plik bazy danych %1 jest uszkodzony: nie można w "
                                               "nim odczytać tabeli kontaktów %2.")
                                    .arg(file, table));
        throw DatabaseError(
            QStringLiteral("W bazie danych %1 nie ma tabeli kontaktów %2.").arg(file, table));
    }

    QString schemaName(const QString &identifier) const override { return identifier; }
    QString idColumn() const override { return QStringLiteral("id INTEGER PRIMARY KEY"); }
    QString idType() const override { return QStringLiteral("INTEGER"); }
    QString keyType() const override { return QStringLiteral("BLOB"); }

    bool bookkeepingComplete(const QSqlDatabase &db, const QString &table) const override
    {
        QSqlQuery query(db);
        query.prepare(
            QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name IN (?, ?, ?, ?)"));
        query.addBindValue(ContactSchema::dirtyTable(table));
        query.addBindValue(ContactSchema::metaTable(table));
        query.addBindValue(table + QStringLiteral("_keys_ins"));
        query.addBindValue(table + QStringLiteral("_keys_upd"));
        return query.exec() && query.next() && query.value(0).toInt() == 4;
    }

    QStringList markingStatements(const QString &table) const override
    {
        QStringList statements;
        for (const auto &trigger : markTriggers(table))
            statements << trigger.second;
        return statements;
    }

    QStringList detailsStatements(const QString &table) const override
    {
        const QString details = quoted(ContactDetails::detailsTable(table));
        const QString card = quoted(ContactDetails::cardTable(table));
        const QString name = quoted(table);
        QStringList fields;
        for (const QString &field : ContactSchema::fieldNames())
            fields << quoted(field);
        return {
            QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (contact INTEGER NOT NULL, ord INTEGER "
                           "NOT NULL, kind TEXT NOT NULL, type TEXT, label TEXT, value TEXT, "
                           "PRIMARY KEY (contact, ord)) WITHOUT ROWID")
                .arg(details),
            QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (id INTEGER PRIMARY KEY, uid TEXT NOT "
                           "NULL UNIQUE, rev TEXT, kept TEXT)")
                .arg(card),
            cardTrigger(table).second,
            QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER UPDATE OF %2 ON %3 BEGIN "
                           "UPDATE %4 SET rev = %5 WHERE id = NEW.id; END")
                .arg(quoted(table + QStringLiteral("_card_upd")), fields.join(u", "), name, card,
                     QLatin1String(kNow)),
            QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER DELETE ON %2 BEGIN DELETE "
                           "FROM %3 WHERE contact = OLD.id; DELETE FROM %4 WHERE id = OLD.id; END")
                .arg(quoted(table + QStringLiteral("_card_del")), name, details, card),
        };
    }

    QString missingCards(const QString &table, qint64 fromId, qint64 toId) const override
    {
        const QString card = quoted(ContactDetails::cardTable(table));
        return QStringLiteral("INSERT OR IGNORE INTO %1 (id, uid, rev) SELECT id, %2, %3 FROM %4 "
                              "WHERE id >= %5 AND id < %6 AND id NOT IN (SELECT id FROM %1 WHERE "
                              "id >= %5 AND id < %6)")
            .arg(card, QLatin1String(kUuid), QLatin1String(kNow), quoted(table))
            .arg(fromId)
            .arg(toId);
    }

    bool indexesByFirstColumn(const QSqlDatabase &db, const QString &table,
                              QList<std::pair<QString, QString>> *indexes,
                              QSqlError *failure) const override
    {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        QStringList indexNames;
        if (!query.exec(QStringLiteral("PRAGMA index_list(%1)").arg(quoted(table)))) {
            *failure = query.lastError();
            return false;
        }
        while (query.next())
            indexNames << query.value(QStringLiteral("name")).toString();
        query.finish();
        for (const QString &name : std::as_const(indexNames)) {
            if (!query.exec(QStringLiteral("PRAGMA index_info(%1)").arg(quoted(name)))) {
                *failure = query.lastError();
                return false;
            }
            QString firstColumn;
            while (query.next()) {
                if (query.value(QStringLiteral("seqno")).toInt() == 0)
                    firstColumn = query.value(QStringLiteral("name")).toString();
            }
            query.finish();
            indexes->append({name, firstColumn});
        }
        return true;
    }

    bool indexExists(const QSqlDatabase &db, const QString &table,
                     const QString &index) const override
    {
        return QSqlQuery(db).exec(QStringLiteral("SELECT 1 FROM %1 INDEXED BY %2 LIMIT 0")
                                      .arg(quoted(table), quoted(index)));
    }

    bool indexesToSetAside(const QSqlDatabase &db, const QString &table, QList<MadeIndex> *indexes,
                           QSqlError *failure) const override
    {
        // The indexes of the program's own making, not the automatic ones.
        QSqlQuery query(db);
        query.prepare(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'index' "
                                     "AND tbl_name = ? COLLATE NOCASE AND sql IS NOT NULL"));
        query.addBindValue(table);
        if (!query.exec()) {
            *failure = query.lastError();
            return false;
        }
        QList<MadeIndex> found;
        while (query.next())
            found.append({query.value(0).toString(), query.value(1).toString(), {}});
        query.finish();
        for (MadeIndex &index : found) {
            if (!query.exec(QStringLiteral("PRAGMA index_info(%1)").arg(quoted(index.name)))) {
                *failure = query.lastError();
                return false;
            }
            while (query.next())
                index.columns << query.value(2).toString();
            query.finish();
        }
        *indexes << found;
        return true;
    }

    QString indexedBy(const QString &index) const override
    {
        // SQLite is told which index to walk.
        return QStringLiteral("INDEXED BY %1 ").arg(quoted(index));
    }

    QString ownUpdateBegin() const override { return {}; }
    QString notifyChanged(const QString &, const QList<qint64> &) const override { return {}; }

    bool rowValueSeeks() const override { return false; }

    QString anyKeyBeyond(const QString &from, const QString &key, bool before) const override
    {
        return QStringLiteral("EXISTS (SELECT 1 FROM %1WHERE p.%2 %3 c.%2)")
            .arg(from, key, before ? QStringLiteral("<") : QStringLiteral(">"));
    }

    QString returningId() const override { return {}; }
    qint64 insertedId(QSqlQuery &insert) const override
    {
        return insert.lastInsertId().toLongLong();
    }

    // The triggers mark every row written as another program's, for the program to
    // repair later; a batch writes keys and text itself, and no other program can write
    // while its transaction does. So the triggers are dropped within the transaction and
    // made again at commit: a rollback, or a crash, brings them back by itself.
    int batchRowsPerStatement() const override { return 1; }
    QString idsStatement(const QString &, int) const override { return {}; }

    bool setAsideMarking(const QSqlDatabase &db, const QString &table, QStringList *restore,
                         QSqlError *failure) const override
    {
        QList<std::pair<QString, QString>> triggers = markTriggers(table);
        triggers << SearchIndex::markTriggers(table) << cardTrigger(table);
        QSqlQuery query(db);
        for (const auto &[name, create] : std::as_const(triggers)) {
            query.prepare(
                QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'trigger' AND name = ?"));
            query.addBindValue(name);
            if (!query.exec()) {
                *failure = query.lastError();
                return false;
            }
            const bool present = query.next();
            query.finish();
            if (!present)
                continue;
            if (!query.exec(QStringLiteral("DROP TRIGGER %1").arg(quoted(name)))) {
                *failure = query.lastError();
                return false;
            }
            *restore << create;
        }
        return true;
    }

    // A large batch would spill the default 2 MB page cache into the file while it is
    // still being written; a bigger cache for the batch keeps its pages in memory.
    QVariant enlargeCache(const QSqlDatabase &db) const override
    {
        qint64 size = -2000; // the default, restored when it cannot be read
        QSqlQuery cache(db);
        if (cache.exec(QStringLiteral("PRAGMA cache_size")) && cache.next()) {
            size = cache.value(0).toLongLong();
            cache.exec(QStringLiteral("PRAGMA cache_size = -65536"));
        }
        return size;
    }

    void restoreCache(const QSqlDatabase &db, const QVariant &saved) const override
    {
        QSqlQuery(db).exec(QStringLiteral("PRAGMA cache_size = %1").arg(saved.toLongLong()));
    }

    // A large batch fills the write-ahead log with every page it wrote; copying them
    // into the file need not hold up the caller, so the commit does not copy them itself.
    QVariant holdCheckpoints(const QSqlDatabase &db) const override
    {
        QSqlQuery pragma(db);
        if (!pragma.exec(QStringLiteral("PRAGMA wal_autocheckpoint")) || !pragma.next())
            return {};
        const QVariant held = pragma.value(0);
        pragma.exec(QStringLiteral("PRAGMA wal_autocheckpoint = 0"));
        return held;
    }

    void resumeCheckpoints(const QSqlDatabase &db, const QVariant &held) const override
    {
        if (held.isValid())
            QSqlQuery(db).exec(QStringLiteral("PRAGMA wal_autocheckpoint = %1").arg(held.toInt()));
    }

    // ---- The full-text index and its searches ------------------------------------

    const FullTextIndex &fullTextIndex() const override { return sqliteSearchIndex(); }
};

} // namespace

const SqlEngine &sqliteEngine()
{
    static const SqliteEngine engine;
    return engine;
}
