#include "store/book_backup.h"

#include "platform/clock.h"
#include "platform/data_folder.h"
#include "platform/errors.h"
#include "platform/file_access.h"
#include "platform/settings_store.h"
#include "store/contact_details.h"
#include "store/contact_schema.h"
#include "store/database_alias.h"
#include "store/sql_engine.h"
#include "store/table.h"
#include "store/table_batch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QtDebug>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sqlite3.h>
#include <unistd.h>

namespace BookBackup {

namespace {

const QString kSettingsKey = QStringLiteral("\\Kax\\Kopie");
const QString kSettingsValue = QStringLiteral("Folder");
const QString kNameFormat = QStringLiteral("yyyy-MM-dd-HHmm");
const QString kPartSuffix = QStringLiteral(".part");
// A writer waits this long for another program's lock on the book.
constexpr int kBusyTimeoutMs = 10000;
// Pages copied per step of the online backup, between reports of progress.
constexpr int kPagesPerStep = 4096;
// A temporary file left this long unchanged belongs to no running backup.
constexpr qint64 kStalePartSeconds = 3600;

// Room beyond a copy's size for what the check maps of it.
constexpr qint64 kMapMargin = 1 << 20;

int pageLimitForTests = 0;

// An SQLite connection of the backup's own, closed when it goes.
class Connection final
{
public:
    Connection() = default;
    ~Connection() { close(); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    int open(const QString &path, int flags)
    {
        close();
        return sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr);
    }
    void close()
    {
        if (m_db)
            sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    sqlite3 *get() const { return m_db; }

private:
    sqlite3 *m_db = nullptr;
};

// The reason of an SQLite failure in Polish when the system gave one, SQLite's otherwise.
QString reasonOf(sqlite3 *db, int code)
{
    const int primary = code & 0xff;
    if (primary == SQLITE_FULL)
        return FileAccess::reason(ENOSPC);
    const int system = db ? sqlite3_system_errno(db) : 0;
    if (system != 0 && (primary == SQLITE_IOERR || primary == SQLITE_CANTOPEN ||
                        primary == SQLITE_READONLY || primary == SQLITE_PERM))
        return FileAccess::reason(system);
    if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB)
        return QStringLiteral("plik jest uszkodzony albo nie jest bazą danych");
    return QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
}

// Runs a statement whose rows are single texts; returns them.
QStringList texts(sqlite3 *db, const QString &sql, int *code)
{
    QStringList result;
    sqlite3_stmt *statement = nullptr;
    *code = sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr);
    if (*code != SQLITE_OK)
        return result;
    while ((*code = sqlite3_step(statement)) == SQLITE_ROW)
        result << QString::fromUtf8(
            reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    if (*code == SQLITE_DONE)
        *code = SQLITE_OK;
    return result;
}

QString quoted(const QString &name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// What is wrong with an open file as a book holding `table`; empty when nothing is.
// `full` runs the whole integrity check, otherwise the quick one.
QString problemOf(sqlite3 *db, const QString &table, bool full)
{
    int code = SQLITE_OK;
    const QStringList columns = [&] {
        QStringList names;
        sqlite3_stmt *statement = nullptr;
        code = sqlite3_prepare_v2(
            db, QStringLiteral("SELECT name FROM pragma_table_info(?)").toUtf8().constData(), -1,
            &statement, nullptr);
        if (code != SQLITE_OK)
            return names;
        const QByteArray name = table.toUtf8();
        sqlite3_bind_text(statement, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        while ((code = sqlite3_step(statement)) == SQLITE_ROW)
            names << QString::fromUtf8(
                         reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)))
                         .toLower();
        sqlite3_finalize(statement);
        if (code == SQLITE_DONE)
            code = SQLITE_OK;
        return names;
    }();
    if (code != SQLITE_OK)
        return reasonOf(db, code);
    if (columns.isEmpty())
        return QStringLiteral("brak tabeli kontaktów %1").arg(table);
    QStringList missing;
    for (const QString &field : ContactSchema::fieldNames())
        if (!columns.contains(field.toLower()))
            missing << field;
    if (!missing.isEmpty())
        return QStringLiteral("tabeli %1 brakuje pól %2")
            .arg(table, missing.join(QStringLiteral(", ")));
    const QStringList check = texts(
        db, full ? QStringLiteral("PRAGMA integrity_check") : QStringLiteral("PRAGMA quick_check"),
        &code);
    if (code != SQLITE_OK)
        return reasonOf(db, code);
    if (check != QStringList{QStringLiteral("ok")})
        return QStringLiteral("kontrola spójności wykazała błędy (%1)")
            .arg(check.mid(0, 3).join(QStringLiteral("; ")));
    return {};
}

// Writes what the system holds of a file or folder to the disk.
bool syncPath(const QString &path, bool folder)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          (folder ? O_RDONLY | O_DIRECTORY : O_RDWR) | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

void removeTemporary(const QString &part)
{
    for (const QString &suffix :
         {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(part + suffix);
}

// Removes the temporary file unless the copy was put in place.
class TemporaryFile final
{
public:
    explicit TemporaryFile(QString path) : m_path(std::move(path)) { removeTemporary(m_path); }
    ~TemporaryFile()
    {
        if (!m_kept)
            removeTemporary(m_path);
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;
    QString path() const { return m_path; }
    void keep() { m_kept = true; }

private:
    QString m_path;
    bool m_kept = false;
};

[[noreturn]] void fail(const QString &target, const QString &reason)
{
    throw DatabaseError(QStringLiteral("Nie można zapisać kopii zapasowej %1: %2.")
                            .arg(QDir::toNativeSeparators(target), reason));
}

[[noreturn]] void cancelled(const QString &target)
{
    throw DatabaseError(
        QStringLiteral("Kopia zapasowa %1 przerwana.").arg(QDir::toNativeSeparators(target)));
}

// Copies an SQLite book page by page within one read transaction: a snapshot of one
// moment, which in WAL mode keeps no writer waiting.
void copyFile(const QString &source, const QString &part, const QString &target,
              const std::function<bool(int)> &progress)
{
    if (!QFileInfo(source).isFile())
        fail(target, QStringLiteral("nie ma pliku książki %1").arg(source));
    Connection from;
    int code = from.open(source, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    if (code != SQLITE_OK)
        code = from.open(source, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    if (code != SQLITE_OK)
        fail(target, reasonOf(from.get(), code));
    sqlite3_busy_timeout(from.get(), kBusyTimeoutMs);
    if ((code = sqlite3_exec(from.get(), "BEGIN; SELECT count(*) FROM sqlite_master", nullptr,
                             nullptr, nullptr)) != SQLITE_OK)
        fail(target, reasonOf(from.get(), code));

    Connection to;
    code = to.open(part, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
    if (code != SQLITE_OK)
        fail(target, reasonOf(to.get(), code));
    if (pageLimitForTests > 0)
        sqlite3_exec(to.get(),
                     QStringLiteral("PRAGMA max_page_count = %1").arg(pageLimitForTests).toUtf8(),
                     nullptr, nullptr, nullptr);
    sqlite3_backup *backup = sqlite3_backup_init(to.get(), "main", from.get(), "main");
    if (!backup)
        fail(target, reasonOf(to.get(), sqlite3_errcode(to.get())));
    do {
        code = sqlite3_backup_step(backup, kPagesPerStep);
        const int total = sqlite3_backup_pagecount(backup);
        const int left = sqlite3_backup_remaining(backup);
        if (code == SQLITE_OK && progress && total > 0 &&
            !progress(int(qint64(total - left) * 95 / total))) {
            sqlite3_backup_finish(backup);
            cancelled(target);
        }
    } while (code == SQLITE_OK || code == SQLITE_BUSY || code == SQLITE_LOCKED);
    sqlite3_backup_finish(backup);
    if (code != SQLITE_DONE)
        fail(target, reasonOf(to.get(), sqlite3_extended_errcode(to.get())));
    sqlite3_exec(from.get(), "COMMIT", nullptr, nullptr, nullptr);
}

// Copies a server book's contacts, with their ids and what they hold beside their
// fields, in one REPEATABLE READ transaction into a new Kartax2000 file.
void copyServer(const DatabaseAlias &book, const QString &table, const QString &part,
                const QString &target, const std::function<bool(int)> &progress)
{
    TTable source;
    source.setDatabaseName(book.name());
    source.setTableName(table);
    source.open();
    QSqlDatabase db = source.database();
    const auto run = [&](QSqlQuery &query, const QString &sql) {
        if (!query.exec(sql))
            fail(target, query.lastError().text());
    };
    QSqlQuery query(db);
    query.setForwardOnly(true);
    run(query, QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    run(query, QStringLiteral("SELECT count(*) FROM %1").arg(quoted(table)));
    const qint64 total = query.next() ? query.value(0).toLongLong() : 0;

    QHash<qint64, QList<ContactDetail>> details;
    DetailStore store(db, table);
    const bool withExtras = store.available();
    if (withExtras)
        store.forEachDetails(
            [&](qint64 id, const QList<ContactDetail> &values) { details.insert(id, values); });

    TTable copy;
    copy.setDatabaseFile(part);
    copy.setTableName(table);
    copy.open();
    const QStringList fields = copy.fieldNames();
    QStringList columns;
    for (const QString &field : fields)
        columns << QStringLiteral("t.") + quoted(field);
    QString sql = QStringLiteral("SELECT t.id, %1").arg(columns.join(u','));
    if (withExtras)
        sql += QStringLiteral(", c.uid, c.rev, c.kept FROM %1 t LEFT JOIN %2 c ON c.id = t.id")
                   .arg(quoted(table), quoted(ContactDetails::cardTable(table)));
    else
        sql += QStringLiteral(" FROM %1 t").arg(quoted(table));
    run(query, sql + QStringLiteral(" ORDER BY t.id"));

    auto batch = std::make_unique<TableBatch>(copy);
    const int n = int(fields.size());
    qint64 done = 0;
    while (query.next()) {
        const qint64 id = query.value(0).toLongLong();
        QStringList values;
        values.reserve(n);
        for (int i = 0; i < n; ++i)
            values << query.value(1 + i).toString();
        ContactExtras extras;
        if (withExtras) {
            extras.details = details.value(id);
            extras.uid = query.value(1 + n).toString();
            extras.revision = query.value(2 + n).toString();
            extras.kept = query.value(3 + n).toString();
        }
        batch->restore(id, values, extras);
        if (progress && ++done % 1000 == 0 &&
            !progress(int(done * 80 / std::max<qint64>(total, 1))))
            cancelled(target);
    }
    if (query.lastError().isValid())
        fail(target, query.lastError().text());
    run(query, QStringLiteral("COMMIT"));
    const bool committed =
        batch->commit([&](int percent) { return !progress || progress(80 + percent * 15 / 100); });
    if (!committed)
        cancelled(target);
    batch.reset();
    copy.close();
    source.close();
}

} // namespace

QString fileName(const QDateTime &time)
{
    return QStringLiteral("Kartax2000-%1.db").arg(time.toLocalTime().toString(kNameFormat));
}

QDateTime timeOfName(const QString &fileName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^Kartax2000-(\\d{4}-\\d{2}-\\d{2}-\\d{4})\\.db$"));
    const QRegularExpressionMatch match = pattern.match(QFileInfo(fileName).fileName());
    if (!match.hasMatch())
        return {};
    QDateTime time = QDateTime::fromString(match.captured(1), kNameFormat);
    time.setTimeSpec(Qt::LocalTime);
    return time;
}

DatabaseAlias bookOf(const TTable &table)
{
    if (table.engine() && table.engine()->inFile())
        return DatabaseAlias::ofFile(table.path());
    return DatabaseAlias::read(table.databaseName());
}

QString folder(const DatabaseAlias &book)
{
    SettingsStore store;
    if (store.openKey(kSettingsKey, false)) {
        const QString chosen = store.readString(kSettingsValue);
        if (!chosen.isEmpty())
            return chosen;
    }
    if (book.isServer())
        return DataFolder::filePath(QStringLiteral("Kopie"));
    return QFileInfo(book.file()).absoluteDir().filePath(QStringLiteral("Kopie"));
}

void setFolder(const QString &folder)
{
    SettingsStore store;
    store.openKey(kSettingsKey, true);
    store.writeString(kSettingsValue, folder);
}

QList<Copy> list(const QString &folder)
{
    QList<Copy> copies;
    const QFileInfoList files = QDir(folder).entryInfoList(
        {QStringLiteral("Kartax2000-*.db")}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo &file : files) {
        const QDateTime time = timeOfName(file.fileName());
        if (time.isValid())
            copies.append({file.absoluteFilePath(), time, file.size()});
    }
    std::sort(copies.begin(), copies.end(), [](const Copy &a, const Copy &b) {
        return a.time != b.time ? a.time > b.time : a.path > b.path;
    });
    return copies;
}

QStringList toDrop(const QList<Copy> &copies, const QDateTime &now)
{
    QList<Copy> sorted = copies;
    std::sort(sorted.begin(), sorted.end(),
              [](const Copy &a, const Copy &b) { return a.time > b.time; });
    const QDateTime dayLimit = now.addDays(-7);
    const QDate today = now.toLocalTime().date();
    // Weeks start on Monday; the current one and the four before it.
    const QDate firstWeek = today.addDays(1 - today.dayOfWeek()).addDays(-7 * 4);
    // The current month and the eleven before it.
    const int currentMonth = today.year() * 12 + today.month() - 1;
    QSet<qint64> weeksKept;
    QSet<int> monthsKept;
    QStringList dropped;
    for (qsizetype i = 0; i < sorted.size(); ++i) {
        const QDate date = sorted[i].time.toLocalTime().date();
        const QDate monday = date.addDays(1 - date.dayOfWeek());
        const int month = date.year() * 12 + date.month() - 1;
        bool keep = i == 0 || sorted[i].time > dayLimit;
        if (monday >= firstWeek && !weeksKept.contains(monday.toJulianDay())) {
            weeksKept.insert(monday.toJulianDay());
            keep = true;
        }
        if (month > currentMonth - 12 && !monthsKept.contains(month)) {
            monthsKept.insert(month);
            keep = true;
        }
        if (!keep)
            dropped << sorted[i].path;
    }
    return dropped;
}

void write(const DatabaseAlias &book, const QString &table, const QString &target,
           const std::function<bool(int percent)> &progress)
{
    const QFileInfo info(target);
    if (!info.absoluteDir().exists())
        fail(
            target,
            QStringLiteral("nie ma folderu %1").arg(QDir::toNativeSeparators(info.absolutePath())));
    TemporaryFile part(info.absoluteFilePath() + kPartSuffix);
    if (book.isServer())
        copyServer(book, table, part.path(), target, progress);
    else
        copyFile(book.file(), part.path(), target, progress);

    {
        Connection copy;
        int code = copy.open(part.path(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
        if (code != SQLITE_OK)
            fail(target, reasonOf(copy.get(), code));
        sqlite3_busy_timeout(copy.get(), kBusyTimeoutMs);
        // A copy stands alone in one file, as any program expects it.
        const QStringList mode =
            texts(copy.get(), QStringLiteral("PRAGMA journal_mode = DELETE"), &code);
        if (code != SQLITE_OK || mode != QStringList{QStringLiteral("delete")})
            fail(target, reasonOf(copy.get(), code == SQLITE_OK ? SQLITE_ERROR : code));
        // The check reads every index against its table: pages mapped rather than read
        // one by one take it from minutes to seconds at a million contacts.
        sqlite3_exec(copy.get(),
                     QStringLiteral("PRAGMA mmap_size = %1; PRAGMA cache_size = -65536")
                         .arg(QFileInfo(part.path()).size() + kMapMargin)
                         .toUtf8(),
                     nullptr, nullptr, nullptr);
        const QString problem = problemOf(copy.get(), table, true);
        if (!problem.isEmpty())
            fail(target, problem);
    }
    if (progress && !progress(99))
        cancelled(target);
    if (!syncPath(part.path(), false))
        fail(target, FileAccess::reason(errno));
    if (::rename(QFile::encodeName(part.path()).constData(),
                 QFile::encodeName(info.absoluteFilePath()).constData()) != 0)
        fail(target, FileAccess::reason(errno));
    part.keep();
    if (!syncPath(info.absolutePath(), true))
        qWarning("Folder %s not synced: %s", qPrintable(info.absolutePath()),
                 qPrintable(FileAccess::reason(errno)));
    if (progress)
        progress(100);
}

Copy makeAutomatic(const DatabaseAlias &book, const QString &table,
                   const std::function<bool(int percent)> &progress)
{
    const QString where = folder(book);
    QDir dir(where);
    if (!dir.exists() && !QDir().mkpath(where))
        throw DatabaseError(QStringLiteral("Nie można utworzyć folderu kopii zapasowych %1.")
                                .arg(QDir::toNativeSeparators(where)));
    const QDateTime now = Clock::now();
    const QDateTime stale = QDateTime::currentDateTime().addSecs(-kStalePartSeconds);
    for (const QFileInfo &left :
         dir.entryInfoList({QStringLiteral("Kartax2000-*.db.part*")}, QDir::Files))
        if (left.lastModified() < stale)
            QFile::remove(left.absoluteFilePath());

    Copy made;
    made.path = dir.absoluteFilePath(fileName(now));
    write(book, table, made.path, progress);
    made.time = timeOfName(made.path);
    made.size = QFileInfo(made.path).size();
    for (const QString &old : toDrop(list(where), now))
        if (!QFile::remove(old))
            qWarning("Old backup %s not removed", qPrintable(old));
    return made;
}

Copy makeBeforeChange(const TTable &table, const std::function<bool(int percent)> &progress)
{
    return makeAutomatic(bookOf(table), table.tableName(), progress);
}

void verifyBook(const QString &path, const QString &table)
{
    const QString shown = QDir::toNativeSeparators(path);
    QFile file(path);
    const IoResult opened = FileAccess::openRegular(&file, path);
    if (!opened.ok)
        throw DatabaseError(
            QStringLiteral("Nie można odczytać pliku %1: %2.").arg(shown, opened.error));
    const QByteArray header = file.read(16);
    file.close();
    if (header != QByteArray("SQLite format 3", 16))
        throw DatabaseError(
            QStringLiteral("Plik %1 nie jest książką Kartax2000 (to nie jest baza SQLite).")
                .arg(shown));
    Connection db;
    int code = db.open(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    if (code != SQLITE_OK)
        throw DatabaseError(QStringLiteral("Nie można otworzyć pliku %1: %2.")
                                .arg(shown, reasonOf(db.get(), code)));
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    const QString problem = problemOf(db.get(), table, true);
    if (!problem.isEmpty())
        throw DatabaseError(
            QStringLiteral("Plik %1 nie jest dobrą książką Kartax2000: %2.").arg(shown, problem));
}

qint64 contactCount(const QString &path, const QString &table)
{
    Connection db;
    int code = db.open(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    const QStringList count =
        code == SQLITE_OK
            ? texts(db.get(), QStringLiteral("SELECT count(*) FROM %1").arg(quoted(table)), &code)
            : QStringList();
    if (code != SQLITE_OK || count.size() != 1)
        throw DatabaseError(QStringLiteral("Nie można policzyć kontaktów w pliku %1: %2.")
                                .arg(QDir::toNativeSeparators(path), reasonOf(db.get(), code)));
    return count.first().toLongLong();
}

void setPageLimitForTests(int pages)
{
    pageLimitForTests = pages;
}

} // namespace BookBackup
