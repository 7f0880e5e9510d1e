#include "store/book_restore.h"

#include "platform/errors.h"
#include "store/contact_details.h"
#include "store/sql_text.h"
#include "store/table.h"
#include "store/table_batch.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <sqlite3.h>
#include <vector>

namespace BookRestore {

namespace {

using SqlText::engineMessage;
using SqlText::quoted;

// Rows between two progress reports: a report costs a call into the window.
constexpr qint64 kProgressStride = 8192;

// A read-only SQLite connection of its own to a copy, under a name no other connection
// has, removed again when this ends.
class CopyConnection final
{
public:
    explicit CopyConnection(const QString &path)
        : m_name(QStringLiteral("kartax-copy-%1").arg(++s_made))
    {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_db.setDatabaseName(path);
        m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        if (!m_db.open()) {
            const QString message = SqlText::fileFailure(path, m_db.lastError());
            close();
            throw DatabaseError(message);
        }
    }
    ~CopyConnection() { close(); }
    CopyConnection(const CopyConnection &) = delete;
    CopyConnection &operator=(const CopyConnection &) = delete;

    QSqlDatabase &db() { return m_db; }

private:
    void close()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }

    static inline std::atomic<quint64> s_made = 0;
    QString m_name;
    QSqlDatabase m_db;
};

// One contact as one side holds it: its fields, and its UID and kept lines where the
// side keeps cards.
struct Row
{
    qint64 id = -1;
    QStringList values;
    QString uid;
    QString revision;
    QString kept;
};

// The contacts of one side read in id order, with the further values of every contact
// that has any (few, so they are read in one pass beforehand). An SQLite side is read
// through the engine's own statement, so that two rows compare as stored bytes and
// only a row that differs becomes text.
class Side final
{
public:
    Side(QSqlDatabase db, const QString &table, const QStringList &fields, bool withDetails)
        : m_rows(db), m_fieldCount(int(fields.size()))
    {
        m_hasCard = ContactDetails::exists(db, table);
        QStringList columns{QStringLiteral("t.id")};
        for (const QString &field : fields)
            columns << QStringLiteral("t.") + quoted(field);
        QString from = quoted(table) + QStringLiteral(" t");
        if (m_hasCard) {
            columns << QStringLiteral("c.uid") << QStringLiteral("c.rev")
                    << QStringLiteral("c.kept");
            from += QStringLiteral(" LEFT JOIN %1 c ON c.id = t.id")
                        .arg(quoted(ContactDetails::cardTable(table)));
        }
        QSqlQuery last(db);
        if (!last.exec(QStringLiteral("SELECT max(id) FROM %1").arg(quoted(table))))
            throw DatabaseError(engineMessage(last.lastError()));
        m_lastId = last.next() ? last.value(0).toLongLong() : 0;
        last.finish();
        if (withDetails) {
            DetailStore details(db, table);
            details.forEachDetails([this](qint64 id, const QList<ContactDetail> &list) {
                m_details.insert(id, list);
            });
        }
        const QString sql = QStringLiteral("SELECT %1 FROM %2 ORDER BY t.id")
                                .arg(columns.join(QStringLiteral(", ")), from);
        const QVariant handle = db.driver()->handle();
        if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
            m_handle = *static_cast<sqlite3 *const *>(handle.constData());
        if (m_handle) {
            const QByteArray text = sql.toUtf8();
            if (sqlite3_prepare_v2(m_handle, text.constData(), int(text.size()), &m_statement,
                                   nullptr) != SQLITE_OK)
                throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(m_handle)));
        } else {
            m_rows.setForwardOnly(true);
            if (!m_rows.exec(sql))
                throw DatabaseError(engineMessage(m_rows.lastError()));
        }
        advance();
    }
    ~Side()
    {
        sqlite3_finalize(m_statement);
        m_rows.finish();
    }
    Side(const Side &) = delete;
    Side &operator=(const Side &) = delete;

    bool atEnd() const { return m_atEnd; }
    bool hasCard() const { return m_hasCard; }
    qint64 lastId() const { return m_lastId; }
    qint64 count() const { return m_count; }
    qint64 id() const { return m_id; }
    QList<ContactDetail> details(qint64 id) const { return m_details.value(id); }

    // The current contact's column: a field (from 0), then UID, revision and kept lines.
    QString text(int column) const
    {
        if (!m_statement)
            return m_rows.value(column + 1).toString();
        if (sqlite3_column_type(m_statement, column + 1) == SQLITE_NULL)
            return {};
        return QString::fromUtf8(bytes(column));
    }
    QByteArrayView bytes(int column) const
    {
        const auto *text =
            reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column + 1));
        return QByteArrayView(text, sqlite3_column_bytes(m_statement, column + 1));
    }
    bool sameColumn(const Side &other, int column) const
    {
        if (m_statement && other.m_statement)
            return bytes(column) == other.bytes(column);
        return text(column) == other.text(column);
    }
    int uidColumn() const { return m_fieldCount; }
    int keptColumn() const { return m_fieldCount + 2; }
    int fieldCount() const { return m_fieldCount; }

    Row row() const
    {
        Row row;
        row.id = m_id;
        for (int i = 0; i < m_fieldCount; ++i)
            row.values << text(i);
        if (m_hasCard) {
            row.uid = text(m_fieldCount);
            row.revision = text(m_fieldCount + 1);
            row.kept = text(m_fieldCount + 2);
        }
        return row;
    }

    void advance()
    {
        if (m_statement) {
            const int code = sqlite3_step(m_statement);
            if (code == SQLITE_DONE) {
                m_atEnd = true;
                return;
            }
            if (code != SQLITE_ROW)
                throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(m_handle)));
            m_id = sqlite3_column_int64(m_statement, 0);
        } else {
            if (!m_rows.next()) {
                if (m_rows.lastError().isValid())
                    throw DatabaseError(engineMessage(m_rows.lastError()));
                m_atEnd = true;
                return;
            }
            m_id = m_rows.value(0).toLongLong();
        }
        ++m_count;
    }

private:
    QSqlQuery m_rows;
    sqlite3 *m_handle = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    int m_fieldCount;
    bool m_hasCard = false;
    bool m_atEnd = false;
    qint64 m_lastId = 0;
    qint64 m_count = 0;
    qint64 m_id = -1;
    QHash<qint64, QList<ContactDetail>> m_details;
};

// Whether a contact's values, further values, UID and kept lines are the same on both
// sides; a side without cards has nothing to say about the UID and kept lines.
bool same(const Side &copy, const Side &today)
{
    for (int i = 0; i < copy.fieldCount(); ++i) {
        if (!copy.sameColumn(today, i))
            return false;
    }
    if (copy.details(copy.id()) != today.details(today.id()))
        return false;
    return !copy.hasCard() || !today.hasCard() ||
           (copy.sameColumn(today, copy.uidColumn()) && copy.sameColumn(today, copy.keptColumn()));
}

// The captions of the thirteen fields, as the data entry window labels them.
QString fieldCaption(const QString &field)
{
    static const QHash<QString, QString> captions{
        {QStringLiteral("Nazwa"), QStringLiteral("Nazwa")},
        {QStringLiteral("Branza"), QStringLiteral("Branża")},
        {QStringLiteral("Filia"), QStringLiteral("Przedstawiciel")},
        {QStringLiteral("Kraj"), QStringLiteral("Kraj")},
        {QStringLiteral("Miasto"), QStringLiteral("Miasto")},
        {QStringLiteral("Kod"), QStringLiteral("Kod pocztowy")},
        {QStringLiteral("Ulica"), QStringLiteral("Ulica numer")},
        {QStringLiteral("Region"), QStringLiteral("Region")},
        {QStringLiteral("Tel"), QStringLiteral("Telefon")},
        {QStringLiteral("Fax"), QStringLiteral("Telefax")},
        {QStringLiteral("Email"), QStringLiteral("e-mail")},
        {QStringLiteral("Http"), QStringLiteral("http://")},
        {QStringLiteral("Uwagi"), QStringLiteral("Uwagi")}};
    return captions.value(field, field);
}

// The n-th (from 0) further value of a kind as the list names it: "Telefon 2" after the
// contact's own telephone; a value with no field of its own counts from 1.
QString detailCaption(ContactDetail::Kind kind, int n, const QList<ContactDetail> &either)
{
    const bool ownField = kind != ContactDetail::Birthday && kind != ContactDetail::Other;
    if (kind == ContactDetail::Other) {
        int seen = 0;
        for (const ContactDetail &detail : either) {
            if (detail.kind == kind && seen++ == n && !detail.label.isEmpty())
                return detail.label;
        }
    }
    const int number = ownField ? n + 2 : n + 1;
    if (!ownField && number == 1)
        return ContactDetail::kindCaption(kind);
    return QStringLiteral("%1 %2").arg(ContactDetail::kindCaption(kind)).arg(number);
}

QList<FieldChange> fieldChanges(const QStringList &fields, const Side &copy, const Side &today)
{
    QList<FieldChange> changes;
    const Row then = copy.row();
    const Row now = today.row();
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (then.values[i] != now.values[i])
            changes << FieldChange{fieldCaption(fields[i]), then.values[i], now.values[i]};
    }
    const QList<ContactDetail> thenDetails = copy.details(then.id);
    const QList<ContactDetail> nowDetails = today.details(now.id);
    for (int k = 0; k < ContactDetail::kKindCount; ++k) {
        const auto kind = ContactDetail::Kind(k);
        const QList<ContactDetail> a = ContactExtras{thenDetails, {}, {}, {}}.ofKind(kind);
        const QList<ContactDetail> b = ContactExtras{nowDetails, {}, {}, {}}.ofKind(kind);
        for (qsizetype n = 0; n < std::max(a.size(), b.size()); ++n) {
            const QString was = n < a.size() ? a[n].displayWithKind() : QString();
            const QString is = n < b.size() ? b[n].displayWithKind() : QString();
            if (was != is)
                changes << FieldChange{detailCaption(kind, int(n), n < a.size() ? a : b), was, is};
        }
    }
    if (copy.hasCard() && today.hasCard()) {
        if (then.uid != now.uid)
            changes << FieldChange{QStringLiteral("UID"), then.uid, now.uid};
        if (then.kept != now.kept)
            changes << FieldChange{QStringLiteral("Pozostałe dane wizytówki"), then.kept, now.kept};
    }
    return changes;
}

// Walks both sides in id order at once; `pair` hears each contact with the side(s)
// that hold it (nullptr for the other) and the per cent done, and returns false to stop.
// Returns false when stopped.
bool mergeJoin(Side &copy, Side &today,
               const std::function<bool(const Side *copy, const Side *today)> &pair,
               const std::function<bool(int percent)> &progress)
{
    const qint64 last = std::max<qint64>(1, std::max(copy.lastId(), today.lastId()));
    qint64 seen = 0;
    while (!copy.atEnd() || !today.atEnd()) {
        const bool fromCopy = !copy.atEnd() && (today.atEnd() || copy.id() <= today.id());
        const bool fromToday = !today.atEnd() && (copy.atEnd() || today.id() <= copy.id());
        const qint64 id = fromCopy ? copy.id() : today.id();
        if (!pair(fromCopy ? &copy : nullptr, fromToday ? &today : nullptr))
            return false;
        if (fromCopy)
            copy.advance();
        if (fromToday)
            today.advance();
        if (progress && ++seen % kProgressStride == 0 && !progress(int(id * 100 / last)))
            return false;
    }
    return true;
}

QString nameOf(const QStringList &fields, const Side &side)
{
    const qsizetype i = fields.indexOf(QStringLiteral("Nazwa"));
    return i >= 0 ? side.text(int(i)) : QString();
}

// What restoreAll must do: the contacts to delete and those to put back, in id order.
struct Plan
{
    std::vector<qint64> remove;
    std::vector<qint64> restore;
};

} // namespace

Comparison compare(TTable &today, const QString &copyPath,
                   const std::function<bool(int percent)> &progress)
{
    const QStringList fields = today.fieldNames();
    CopyConnection connection(copyPath);
    Comparison result;
    {
        Side copy(connection.db(), today.tableName(), fields, true);
        Side now(today.database(), today.tableName(), fields, today.hasDetails());
        const bool done = mergeJoin(
            copy, now,
            [&](const Side *then, const Side *is) {
                ContactChange change;
                if (!is) {
                    change.kind = ContactChange::Deleted;
                    change.id = then->id();
                    change.name = nameOf(fields, *then);
                } else if (!then) {
                    change.kind = ContactChange::Added;
                    change.id = is->id();
                    change.name = nameOf(fields, *is);
                } else {
                    if (same(*then, *is))
                        return true;
                    change.kind = ContactChange::Changed;
                    change.id = is->id();
                    change.name = nameOf(fields, *is);
                    change.fields = fieldChanges(fields, *then, *is);
                }
                result.changes << change;
                return true;
            },
            progress);
        result.cancelled = !done;
        result.copyContacts = copy.count();
        result.todayContacts = now.count();
    }
    if (!result.cancelled && progress)
        progress(100);
    return result;
}

void restoreContacts(TTable &today, const QString &copyPath, const QList<qint64> &ids)
{
    CopyConnection copy(copyPath);
    const QString table = today.tableName();
    QStringList columns;
    for (const QString &field : today.fieldNames())
        columns << quoted(field);
    QSqlQuery select(copy.db());
    if (!select.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE id = ?")
                            .arg(columns.join(QStringLiteral(", ")), quoted(table))))
        throw DatabaseError(engineMessage(select.lastError()));
    DetailStore details(copy.db(), table);
    qint64 shown = -1;
    {
        TableBatch batch(today);
        for (const qint64 id : ids) {
            select.bindValue(0, id);
            if (!select.exec())
                throw DatabaseError(engineMessage(select.lastError()));
            if (!select.next()) {
                batch.remove(id);
                continue;
            }
            QStringList values;
            for (qsizetype i = 0; i < columns.size(); ++i)
                values << select.value(int(i)).toString();
            select.finish();
            const ContactExtras extras = details.read(id);
            // The same contact is the one with its UID, wherever it is now; when another
            // contact took its id meanwhile, it comes back under a new one.
            qint64 target = id;
            if (!extras.uid.isEmpty()) {
                const qint64 holder = batch.detailStore().idOfUid(extras.uid);
                if (holder >= 0)
                    target = holder;
                else if (!batch.values(id).isEmpty())
                    target = -1;
            }
            if (target < 0)
                target = batch.insert(batch.prepare(values, extras));
            else
                batch.restore(target, values, extras);
            if (shown < 0)
                shown = target;
        }
        batch.commit();
    }
    if (shown < 0 || !today.locate(shown))
        today.refresh();
}

void restoreAll(TTable &today, const QString &copyPath,
                const std::function<bool(int percent)> &progress)
{
    const QStringList fields = today.fieldNames();
    const QString table = today.tableName();
    CopyConnection connection(copyPath);
    const auto part = [&progress](int from, int to) -> std::function<bool(int)> {
        if (!progress)
            return {};
        return [&progress, from, to](int percent) {
            return progress(from + percent * (to - from) / 100);
        };
    };
    TableBatch batch(today);
    // First what differs, read within the batch's transaction, then the writes.
    Plan plan;
    QHash<qint64, QList<ContactDetail>> copyDetails;
    {
        Side copy(connection.db(), table, fields, true);
        Side now(today.database(), table, fields, today.hasDetails());
        const bool done = mergeJoin(
            copy, now,
            [&](const Side *then, const Side *is) {
                if (!then)
                    plan.remove.push_back(is->id());
                else if (!is || !same(*then, *is)) {
                    plan.restore.push_back(then->id());
                    const QList<ContactDetail> details = then->details(then->id());
                    if (!details.isEmpty())
                        copyDetails.insert(then->id(), details);
                }
                return true;
            },
            part(0, 40));
        if (!done) {
            batch.rollback();
            return;
        }
    }
    // The writes, removals first, take the per cents from 40 to 90.
    qint64 written = 0;
    const qint64 total = qint64(plan.remove.size() + plan.restore.size());
    const auto wrote = [&] {
        return !progress || ++written % kProgressStride != 0 ||
               progress(40 + int(written * 50 / total));
    };
    for (const qint64 id : plan.remove) {
        batch.remove(id);
        if (!wrote()) {
            batch.rollback();
            return;
        }
    }
    if (!plan.restore.empty()) {
        Side copy(connection.db(), table, fields, false);
        auto next = plan.restore.cbegin();
        for (; !copy.atEnd() && next != plan.restore.cend(); copy.advance()) {
            if (copy.id() != *next)
                continue;
            ++next;
            const Row row = copy.row();
            batch.restore(
                row.id, row.values,
                ContactExtras{copyDetails.value(row.id), row.uid, row.revision, row.kept});
            if (!wrote()) {
                batch.rollback();
                return;
            }
        }
    }
    if (!batch.commit(part(90, 100)))
        return;
    today.refresh();
}

} // namespace BookRestore
