#include "exchange/contact_import.h"

#include "exchange/vcard.h"
#include "platform/errors.h"
#include "platform/file_access.h"
#include "platform/file_stamp.h"
#include "store/contact_schema.h"
#include "store/search_words.h"
#include "store/sql_text.h"
#include "store/table.h"
#include "store/table_batch.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

namespace ContactImport {

namespace {
// The first bytes of every SQLite database file.
const QByteArray kSqliteHeader("SQLite format 3\0", 16);
} // namespace

std::optional<Format> formatOf(const QString &path, QString *error)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("vcf") || suffix == QLatin1String("vcard"))
        return Format::VCard;
    if (suffix == QLatin1String("csv"))
        return Format::Csv;
    if (suffix == QLatin1String("db"))
        return Format::Database;
    QFile file;
    if (const IoResult opened = FileAccess::openRegular(&file, path); !opened.ok) {
        if (error)
            *error = opened.error;
        return std::nullopt;
    }
    const QByteArray start = file.read(256);
    if (start.startsWith(kSqliteHeader))
        return Format::Database;
    return VCardReader::beginsCard(start) ? Format::VCard : Format::Csv;
}

QString Result::summary() const
{
    const QString summary = QStringLiteral("Dodano %1, zaktualizowano %2, pominięto %3")
                                .arg(added)
                                .arg(updated)
                                .arg(skipped);
    return blank > 0 ? summary + QStringLiteral(", w tym pustych %1").arg(blank) : summary;
}

QString foldedName(const QString &name)
{
    return SearchIndex::fold(name).simplified();
}

namespace {

// The contacts of a file one at a time, whatever its format.
class Source
{
public:
    virtual ~Source() = default;
    virtual bool readNext(ContactRecord *record) = 0;
    virtual QString error() const = 0; // empty unless reading failed
    virtual qint64 errorLine() const = 0;
    virtual qint64 lineNumber() const = 0;
    virtual qint64 unusable() const { return 0; } // records passed over
    virtual int percent() const = 0;              // of the file read so far
    // Called on the reading thread once reading has ended, for what that thread holds.
    virtual void finish() {}
    // Called on another thread: reading is to end soon, as at the end of the file.
    virtual void interrupt() {}
};

// A file as its reader sees it: reading ends, as at the end of the file, once stop()
// was called from another thread, and a failure to read is kept to be reported instead
// of passing for the file's end.
class StoppableFile final : public QIODevice
{
public:
    explicit StoppableFile(QFile *file) : m_file(file) { open(QIODevice::ReadOnly); }
    void stop() { m_stopped = true; }
    QString readError() const { return m_readError; }
    qint64 size() const override { return m_file->size(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (m_stopped)
            return -1;
        const qint64 read = m_file->read(data, maxSize);
        if (read < 0 && m_readError.isEmpty())
            m_readError = FileAccess::reason(errno);
        return read;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QFile *m_file;
    std::atomic<bool> m_stopped = false;
    QString m_readError;
};

// A source that reads a file from start to end.
class DeviceSource : public Source
{
public:
    explicit DeviceSource(StoppableFile *device) : m_device(device) {}
    int percent() const override
    {
        return int(m_device->pos() * 100 / std::max<qint64>(1, m_device->size()));
    }
    void interrupt() override { m_device->stop(); }
    QString readError() const { return m_device->readError(); }

private:
    StoppableFile *m_device;
};

class VCardSource final : public DeviceSource
{
public:
    explicit VCardSource(StoppableFile *device) : DeviceSource(device), m_reader(device) {}
    bool readNext(ContactRecord *record) override { return m_reader.readNext(record); }
    QString error() const override
    {
        return readError().isEmpty() ? m_reader.errorString() : readError();
    }
    qint64 errorLine() const override
    {
        return readError().isEmpty() ? m_reader.errorLine() : m_reader.lineNumber() + 1;
    }
    qint64 lineNumber() const override { return m_reader.lineNumber(); }
    qint64 unusable() const override { return m_reader.warnings().size(); }

private:
    VCardReader m_reader;
};

class CsvSource final : public DeviceSource
{
public:
    CsvSource(StoppableFile *device, CsvEncoding encoding)
        : DeviceSource(device), m_reader(device, encoding)
    {
    }
    CsvReader &reader() { return m_reader; }
    bool readNext(ContactRecord *record) override { return m_reader.readNext(record); }
    QString error() const override
    {
        return readError().isEmpty() ? m_reader.errorString() : readError();
    }
    qint64 errorLine() const override
    {
        return readError().isEmpty() ? m_reader.errorLine() : m_reader.lineNumber() + 1;
    }
    qint64 lineNumber() const override { return m_reader.lineNumber(); }

private:
    CsvReader m_reader;
};

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

// The contacts of another Kartax2000 database in id order, exactly as stored, read a
// batch of rows at a time by id so that a large table is never held in memory. Fields
// the file's table lacks stay empty. check() runs first, on the calling thread; the
// reading thread then opens a connection of its own, as Qt's connections stay on the
// thread that made them.
class DatabaseSource final : public Source
{
public:
    explicit DatabaseSource(const QString &path) : m_path(path) {}

    // Whether the file holds the contact table; finds which fields it has and counts
    // its rows. Returns the error otherwise.
    QString check()
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
        if (kind.next() && (kind.value(0).toString() != QLatin1String("table") ||
                            kind.value(1).toString().startsWith(QLatin1String("CREATE VIRTUAL"),
                                                                Qt::CaseInsensitive)))
            return QStringLiteral("W bazie %1 „%2” nie jest zwykłą tabelą (to widok lub tabela "
                                  "wirtualna): nie można z niej importować.")
                .arg(m_path, table);
        kind.finish();
        const QSqlRecord columns = connection.db().record(table);
        m_fields.clear();
        m_places.clear();
        for (const QString &field : ContactSchema::fieldNames()) {
            if (columns.contains(field)) {
                m_fields << SqlText::quoted(field);
                m_places << ContactRecord::fieldIndex(field);
            }
        }
        if (m_fields.isEmpty())
            return QStringLiteral("Baza %1 nie zawiera tabeli kontaktów %2.").arg(m_path, table);
        QSqlQuery count(connection.db());
        if (!count.exec(QStringLiteral("SELECT count(*) FROM %1").arg(SqlText::quoted(table))) ||
            !count.next())
            return notADatabase(count.lastError());
        m_count = count.value(0).toLongLong();
        return {};
    }

    bool readNext(ContactRecord *record) override
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
        *record = ContactRecord();
        for (qsizetype i = 0; i < m_places.size(); ++i)
            record->values[std::size_t(m_places[i])] = m_select->value(int(i) + 1).toString();
        return true;
    }
    QString error() const override { return m_error; }
    qint64 errorLine() const override { return m_read + 1; }
    qint64 lineNumber() const override { return m_read; }
    int percent() const override
    {
        // Rows written after the count must not take the bar past its end.
        return int(std::min<qint64>(99, m_read * 100 / std::max<qint64>(1, m_count)));
    }
    void finish() override
    {
        m_select.reset();
        if (m_connection)
            m_connection->db().rollback(); // the read transaction; nothing was written
        m_connection.reset();
    }

private:
    static constexpr int kRows = 512;

    // Opens the reading thread's connection and the first batch, in one read
    // transaction, so that every batch sees the file as it was at the start.
    bool begin()
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
        return true;
    }
    bool stop(const QSqlError &error = {})
    {
        if (error.isValid())
            m_error = SqlText::engineMessage(error);
        m_done = true;
        finish();
        return false;
    }

    QString m_path;
    QString m_error;
    QStringList m_fields; // quoted, as the select names them
    QList<int> m_places;  // the record field of each
    qint64 m_count = 0;
    qint64 m_read = 0;
    qint64 m_lastId = std::numeric_limits<qint64>::min();
    int m_inBatch = 0;
    bool m_done = false;
    std::unique_ptr<ReadOnlyConnection> m_connection;
    std::unique_ptr<QSqlQuery> m_select; // on m_connection, so it ends first
};

// A contact's keys for finding its duplicates, by kind.
enum Kind { EmailKey, PhoneKey, NameKey, kKinds };

// The non-empty parts of value between the characters for which `separator` holds.
template<typename Separator> QList<QStringView> partsOf(const QString &value, Separator separator)
{
    QList<QStringView> parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= value.size(); ++i) {
        if (i < value.size() && !separator(value[i]))
            continue;
        if (i > start)
            parts << QStringView(value).sliced(start, i - start);
        start = i + 1;
    }
    return parts;
}

QStringList keysOf(Kind kind, const QString &value)
{
    QStringList keys;
    switch (kind) {
    case EmailKey:
        if (!value.contains(u'@'))
            break;
        for (const QStringView address :
             partsOf(value, [](QChar c) { return c == u',' || c == u';' || c.isSpace(); })) {
            if (address.contains(u'@'))
                keys << address.toString().toCaseFolded();
        }
        break;
    case PhoneKey:
        // The last nine digits: a number with and without +48 is the same number.
        for (const QStringView number :
             partsOf(value, [](QChar c) { return c == u',' || c == u';' || c == u'/'; })) {
            QString digits;
            for (const QChar c : number) {
                if (c.isDigit())
                    digits += c;
            }
            if (digits.size() >= 5)
                keys << digits.right(9);
        }
        break;
    case NameKey:
        if (const QString name = foldedName(value); !name.isEmpty())
            keys << name;
        break;
    case kKinds:
        break;
    }
    return keys;
}

constexpr ContactRecord::Field kKeyField[kKinds] = {ContactRecord::Email, ContactRecord::Tel,
                                                    ContactRecord::Nazwa};

const char *const kReason[kKinds] = {"ten sam adres e-mail", "ten sam numer telefonu",
                                     "ta sama nazwa"};

// The stored contacts' keys. Only hashes are kept, so a million contacts cost little
// memory; a hit is confirmed against the stored record's own keys.
// A contact's keys of every kind.
struct Keys
{
    QStringList of[kKinds];

    static Keys from(const ContactRecord &record)
    {
        Keys keys;
        for (int kind = 0; kind < kKinds; ++kind)
            keys.of[kind] = keysOf(Kind(kind), record[kKeyField[kind]]);
        return keys;
    }
};

class DuplicateFinder
{
public:
    void add(qint64 id, Kind kind, const QString &value)
    {
        for (const QString &key : keysOf(kind, value))
            m_ids[kind].insert(qHash(key), id);
    }
    void add(qint64 id, const Keys &keys)
    {
        for (int kind = 0; kind < kKinds; ++kind) {
            for (const QString &key : keys.of[kind])
                m_ids[kind].insert(qHash(key), id);
        }
    }
    // The stored contact a record with these keys matches, with the kind of match;
    // -1 when none.
    qint64 find(const Keys &keys, TableBatch &batch, const QList<int> &places,
                ContactRecord *stored, Kind *matched) const
    {
        for (int kind = 0; kind < kKinds; ++kind) {
            for (const QString &key : keys.of[kind]) {
                const auto hit = m_ids[kind].constFind(qHash(key));
                if (hit == m_ids[kind].cend())
                    continue;
                *stored = recordOf(places, batch.values(*hit));
                if (keysOf(Kind(kind), (*stored)[kKeyField[kind]]).contains(key)) {
                    *matched = Kind(kind);
                    return *hit;
                }
            }
        }
        return -1;
    }

    static ContactRecord recordOf(const QList<int> &places, const QStringList &values)
    {
        ContactRecord record;
        for (int i = 0; i < places.size() && i < values.size(); ++i) {
            if (places[i] >= 0)
                record.values[std::size_t(places[i])] = values[i];
        }
        return record;
    }

private:
    QHash<size_t, qint64> m_ids[kKinds];
};

// Per field of the table, the record field it holds, or -1.
QList<int> placesOf(const QStringList &fields)
{
    QList<int> places;
    for (const QString &field : fields)
        places << ContactRecord::fieldIndex(field);
    return places;
}

QStringList valuesOf(const QList<int> &places, const ContactRecord &record)
{
    QStringList values;
    values.reserve(places.size());
    for (const int place : places)
        values << (place >= 0 ? record.values[std::size_t(place)] : QString());
    return values;
}

// A contact needs a name to be found by it: one without takes its e-mail or telephone.
void nameIfNameless(ContactRecord *record)
{
    if (!(*record)[ContactRecord::Nazwa].trimmed().isEmpty())
        return;
    const QString email = keysOf(EmailKey, (*record)[ContactRecord::Email]).value(0);
    (*record)[ContactRecord::Nazwa] = !email.isEmpty() ? (*record)[ContactRecord::Email].trimmed()
                                                       : (*record)[ContactRecord::Tel].trimmed();
}

// Whether a record holds no value at all (a card with nothing but its frame).
bool isBlank(const ContactRecord &record)
{
    return std::all_of(record.values.begin(), record.values.end(),
                       [](const QString &value) { return value.trimmed().isEmpty(); });
}

// Fills the stored record's empty fields from the incoming one; false when none was empty.
bool fillEmpty(ContactRecord *stored, const ContactRecord &incoming)
{
    bool changed = false;
    for (std::size_t i = 0; i < stored->values.size(); ++i) {
        if (stored->values[i].trimmed().isEmpty() && !incoming.values[i].trimmed().isEmpty()) {
            stored->values[i] = incoming.values[i];
            changed = true;
        }
    }
    return changed;
}

// Reads the contacts on a thread of its own, a batch at a time, so that reading the
// file and writing the table overlap. The source is touched by that thread alone
// until next() has returned false.
class ReadAhead
{
public:
    struct Read
    {
        ContactRecord record;
        TableBatch::Prepared row; // the record as the table takes it
        Keys keys;                // its keys for finding duplicates
        qint64 line = 0;          // where the record ends in the file
        bool blank = false;       // not a value in any field: passed over
    };
    // Run on the reading thread for each record read.
    using Prepare = std::function<void(Read *read)>;
    struct Batch
    {
        std::vector<Read> records;
        int percent = 0; // of the file read
    };

    ReadAhead(Source &source, Prepare prepare) : m_source(source), m_prepare(std::move(prepare))
    {
        m_thread = std::thread([this] { run(); });
    }
    ~ReadAhead()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_source.interrupt();
        m_changed.notify_all();
        m_thread.join();
    }
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // Whether next() would return at once.
    bool ready()
    {
        const std::lock_guard lock(m_mutex);
        return !m_queue.empty() || m_done;
    }

    enum class Next { Batch, Waiting, End };
    // The next batch, Waiting when none came within `patience`, End once every record
    // was taken and the reading has ended. The batch it held before goes back to the
    // reading thread, which made its texts and frees them faster than this one.
    Next next(Batch *batch, std::chrono::milliseconds patience)
    {
        std::unique_lock lock(m_mutex);
        if (!batch->records.empty()) {
            m_spent.push_back(std::move(batch->records));
            batch->records.clear();
        }
        if (!m_changed.wait_for(lock, patience, [this] { return !m_queue.empty() || m_done; }))
            return Next::Waiting;
        if (m_queue.empty())
            return Next::End;
        *batch = std::move(m_queue.front());
        m_queue.pop_front();
        m_changed.notify_all();
        return Next::Batch;
    }

private:
    static constexpr std::size_t kBatch = 512;
    static constexpr std::size_t kQueued = 8;

    void run()
    {
        bool more = true;
        while (more) {
            Batch batch;
            batch.records.reserve(kBatch);
            Read read;
            while (batch.records.size() < kBatch && (more = m_source.readNext(&read.record))) {
                read.line = m_source.lineNumber();
                m_prepare(&read);
                batch.records.push_back(std::exchange(read, {}));
            }
            batch.percent = more ? m_source.percent() : 100;
            std::vector<std::vector<Read>> spent;
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_queue.size() < kQueued || m_stop; });
            if (m_stop)
                break;
            m_queue.push_back(std::move(batch));
            spent.swap(m_spent);
            m_changed.notify_all();
            lock.unlock();
        }
        m_source.finish();
        const std::lock_guard lock(m_mutex);
        m_done = true;
        m_changed.notify_all();
    }

    Source &m_source;
    Prepare m_prepare;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch> m_queue;
    std::vector<std::vector<Read>> m_spent; // taken batches, for the reading thread to free
    bool m_done = false;
    bool m_stop = false;
    std::thread m_thread;
};

// The share of an import's progress, in per cent, that reading the file takes; indexing
// what was read and committing take the rest.
constexpr int kReadShare = 60;

Result failed(const QString &message)
{
    Result result;
    result.error = message;
    return result;
}

} // namespace

Result importFile(TTable &contacts, const QString &path, const Options &options)
{
    QFile file;
    if (const IoResult opened = FileAccess::openRegular(&file, path); !opened.ok)
        return failed(QStringLiteral("Nie można odczytać pliku %1: %2").arg(path, opened.error));
    StoppableFile reading(&file);
    std::unique_ptr<Source> source;
    if (options.format == Format::VCard) {
        source = std::make_unique<VCardSource>(&reading);
    } else if (options.format == Format::Database) {
        if (file.read(kSqliteHeader.size()) != kSqliteHeader)
            return failed(QStringLiteral("To nie jest baza danych Kartax2000: %1").arg(path));
        // Reading the table while writing it would copy the contacts just copied: the
        // same file by any name (a link, another path to it) is refused.
        const FileStamp from = FileStamp::of(path);
        const FileStamp into = FileStamp::of(contacts.path());
        const bool same = from.inode != 0 ? from.sameFile(into)
                                          : QFileInfo(path).canonicalFilePath() ==
                                                QFileInfo(contacts.path()).canonicalFilePath();
        if (!contacts.isServer() && same)
            return failed(QStringLiteral("Baza %1 jest tą, do której importujesz: nie można "
                                         "zaimportować bazy do niej samej.")
                              .arg(path));
        auto database = std::make_unique<DatabaseSource>(path);
        if (const QString error = database->check(); !error.isEmpty())
            return failed(error);
        source = std::move(database);
    } else {
        auto csv = std::make_unique<CsvSource>(&reading, options.encoding);
        if (!csv->reader().open())
            return failed(QStringLiteral("Plik %1, wiersz %2: %3\nNic nie zaimportowano.")
                              .arg(path)
                              .arg(csv->reader().errorLine())
                              .arg(csv->reader().errorString()));
        if (!options.mapping.isEmpty())
            csv->reader().setMapping(options.mapping);
        const QVector<int> mapping = csv->reader().mapping();
        if (std::all_of(mapping.begin(), mapping.end(), [](int field) { return field < 0; }))
            return failed(
                QStringLiteral("Żadna kolumna pliku %1 nie odpowiada polom kontaktu.").arg(path));
        source = std::move(csv);
    }
    const auto nothingImported = [&](qint64 line, const QString &why) {
        return failed(QStringLiteral("Plik %1, wiersz %2: %3\nNic nie zaimportowano.")
                          .arg(path)
                          .arg(line)
                          .arg(why));
    };

    Result result;
    qint64 line = 0; // where the contact being written ends in the file
    try {
        TableBatch batch(contacts);
        const QList<int> places = placesOf(contacts.fieldNames());
        DuplicateFinder finder;
        const QStringList keyFields{ContactRecord::fieldName(ContactRecord::Email),
                                    ContactRecord::fieldName(ContactRecord::Tel),
                                    ContactRecord::fieldName(ContactRecord::Nazwa)};
        batch.forEachRow(keyFields, [&finder](qint64 id, const QStringList &values) {
            for (int kind = 0; kind < kKinds; ++kind)
                finder.add(id, Kind(kind), values[kind]);
        });

        std::optional<Decision> always;
        qint64 read = 0;
        // Names, sort keys, search text and duplicate keys are made on the reading
        // thread, which has time to spare while this one writes. A database's
        // contacts are the program's own and are copied as they are.
        const bool naming = options.format != Format::Database;
        ReadAhead reader(*source, [&batch, &places, naming](ReadAhead::Read *read) {
            read->blank = naming && isBlank(read->record);
            if (read->blank)
                return;
            if (naming)
                nameIfNameless(&read->record);
            read->row = batch.prepare(valuesOf(places, read->record));
            read->keys = Keys::from(read->record);
        });
        ReadAhead::Batch chunk;
        const auto cancelled = [&result] {
            result = failed(QStringLiteral("Import przerwano; nic nie zaimportowano."));
            result.cancelled = true;
            return result;
        };
        int fileRead = 0; // per cent
        for (;;) {
            // While the file's next contacts are still being read, their text waits to be
            // indexed: this thread indexes what was written so far.
            if (!reader.ready())
                batch.indexWaitingText();
            // A file that is long in coming (a great stretch without a contact) still
            // lets the user cancel.
            const ReadAhead::Next next = reader.next(&chunk, std::chrono::milliseconds(100));
            if (next == ReadAhead::Next::End)
                break;
            if (next == ReadAhead::Next::Waiting) {
                if (options.progress && !options.progress(read, fileRead * kReadShare / 100))
                    return cancelled();
                continue;
            }
            fileRead = chunk.percent;
            for (ReadAhead::Read &item : chunk.records) {
                line = item.line;
                ContactRecord &record = item.record;
                ++read;
                if (item.blank) {
                    ++result.skipped;
                    ++result.blank;
                    continue;
                }
                ContactRecord stored;
                Kind kind = NameKey;
                // Once every duplicate is to be added anyway, none needs finding.
                const bool addingAll = always && always->choice == Choice::Add;
                const qint64 storedId =
                    addingAll ? -1 : finder.find(item.keys, batch, places, &stored, &kind);
                Choice choice = Choice::Add;
                if (storedId >= 0) {
                    Decision decision;
                    if (always)
                        decision = *always;
                    else if (options.askDuplicate)
                        decision = options.askDuplicate(
                            {record, stored, QString::fromUtf8(kReason[kind])});
                    if (decision.forAllTheRest)
                        always = decision;
                    choice = decision.choice;
                }
                if (choice == Choice::Add) {
                    const qint64 id = batch.insert(item.row);
                    if (!addingAll)
                        finder.add(id, item.keys);
                    ++result.added;
                    if (result.firstId < 0)
                        result.firstId = id;
                } else if (choice == Choice::UpdateEmpty && fillEmpty(&stored, record)) {
                    batch.update(storedId, valuesOf(places, stored));
                    finder.add(storedId, Keys::from(stored));
                    ++result.updated;
                    if (result.firstId < 0)
                        result.firstId = storedId;
                } else {
                    ++result.skipped;
                }
            }
            if (options.progress && !options.progress(read, chunk.percent * kReadShare / 100))
                return cancelled();
        }
        if (!source->error().isEmpty())
            return nothingImported(source->errorLine(), source->error());
        if (read == 0 && source->unusable() == 0)
            return failed(QStringLiteral("W pliku %1 nie znaleziono żadnych kontaktów.").arg(path));
        result.skipped += source->unusable();
        const bool committed = batch.commit([&options, read](int percent) {
            return !options.progress ||
                   options.progress(read, kReadShare + percent * (100 - kReadShare) / 100);
        });
        if (!committed)
            return cancelled();
    } catch (const KaxError &error) {
        // A server that went away leaves the driver closed; the client library's own
        // text (in English) adds nothing to that.
        if (contacts.isServer() && !contacts.database().isOpen())
            return nothingImported(
                line, QStringLiteral("Połączenie z serwerem bazy danych (%1) zostało zerwane.")
                          .arg(contacts.path()));
        return nothingImported(line, error.message());
    }
    result.ok = true;
    if (result.firstId >= 0)
        contacts.locate(result.firstId);
    return result;
}

} // namespace ContactImport
