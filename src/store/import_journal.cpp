#include "store/import_journal.h"

#include "platform/clock.h"
#include "platform/errors.h"
#include "store/contact_details.h"
#include "store/contact_json.h"
#include "store/sql_text.h"
#include "store/table_batch.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

using SqlText::quoted;

ImportJournal::ImportJournal(const QSqlDatabase &db, const QString &table,
                             const QStringList &fields)
    : m_db(db), m_table(table), m_fields(fields)
{
}

ImportJournal::~ImportJournal() = default;

QString ImportJournal::name(const char *suffix) const
{
    return quoted(m_table + QStringLiteral("_import") + QLatin1String(suffix));
}

QSqlQuery ImportJournal::run(const QString &sql, const QVariantList &binds)
{
    return SqlText::exec(m_db, sql, binds);
}

void ImportJournal::ensure()
{
    if (m_db.tables().contains(m_table + QStringLiteral("_import_updated")))
        return;
    run(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (at TEXT NOT NULL, file TEXT NOT NULL, "
                       "added BIGINT NOT NULL, updated BIGINT NOT NULL)")
            .arg(name("")));
    run(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS %1 (first_id BIGINT NOT NULL, last_id BIGINT NOT "
            "NULL)")
            .arg(name("_added")));
    run(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS %1 (contact BIGINT PRIMARY KEY, before_text TEXT "
            "NOT NULL, after_text TEXT NOT NULL)")
            .arg(name("_updated")));
}

std::optional<ImportJournal::Summary> ImportJournal::summary()
{
    if (!m_db.tables().contains(m_table + QStringLiteral("_import")))
        return std::nullopt;
    QSqlQuery query = run(QStringLiteral("SELECT at, file, added, updated FROM %1").arg(name("")));
    if (!query.next())
        return std::nullopt;
    return Summary{QDateTime::fromString(query.value(0).toString(), Qt::ISODate).toUTC(),
                   query.value(1).toString(), query.value(2).toLongLong(),
                   query.value(3).toLongLong()};
}

void ImportJournal::start()
{
    if (m_started)
        return;
    ensure();
    clear();
    m_started = true;
}

void ImportJournal::clear()
{
    if (!m_db.tables().contains(m_table + QStringLiteral("_import")))
        return;
    for (const char *suffix : {"", "_added", "_updated"})
        run(QStringLiteral("DELETE FROM %1").arg(name(suffix)));
}

void ImportJournal::flushRun()
{
    if (m_runFirst < 0)
        return;
    run(QStringLiteral("INSERT INTO %1 (first_id, last_id) VALUES (?, ?)").arg(name("_added")),
        {m_runFirst, m_runLast});
    m_runFirst = m_runLast = -1;
}

void ImportJournal::added(qint64 id)
{
    start();
    ++m_added;
    // An import's new ids mostly follow one another: one row holds a run of them.
    if (m_runFirst >= 0 && id == m_runLast + 1) {
        m_runLast = id;
        return;
    }
    flushRun();
    m_runFirst = m_runLast = id;
}

void ImportJournal::updated(qint64 id, const QStringList &beforeValues, const ContactExtras &before,
                            const QStringList &afterValues, const ContactExtras &after)
{
    start();
    ++m_updated;
    // A contact the file updates twice keeps what it had before the first time.
    run(QStringLiteral(
            "INSERT INTO %1 (contact, before_text, after_text) VALUES (?, ?, ?) ON CONFLICT "
            "(contact) DO UPDATE SET after_text = excluded.after_text")
            .arg(name("_updated")),
        {id, ContactJson::contactText(m_fields, beforeValues, before),
         ContactJson::contactText(m_fields, afterValues, after)});
}

void ImportJournal::finish(const QString &file)
{
    if (!m_started)
        return;
    flushRun();
    run(QStringLiteral("INSERT INTO %1 (at, file, added, updated) VALUES (?, ?, ?, ?)")
            .arg(name("")),
        {Clock::now().toUTC().toString(Qt::ISODate), file, m_added, m_updated});
}

ImportJournal::Undone ImportJournal::undo(TableBatch &batch)
{
    Undone undone;
    if (!summary())
        return undone;
    QList<std::pair<qint64, qint64>> runs;
    QSqlQuery added = run(QStringLiteral("SELECT first_id, last_id FROM %1").arg(name("_added")));
    while (added.next())
        runs.append({added.value(0).toLongLong(), added.value(1).toLongLong()});
    added.finish();
    const auto wasAdded = [&runs](qint64 id) {
        for (const auto &[first, last] : std::as_const(runs))
            if (id >= first && id <= last)
                return true;
        return false;
    };
    const qsizetype nameField = m_fields.indexOf(QStringLiteral("Nazwa"));
    const auto shownName = [](const QString &shown) {
        return shown.isEmpty() ? QStringLiteral("(bez nazwy)") : shown;
    };
    // The import gave every contact it added one revision; one edited since carries a
    // later one, and stays, named.
    QSet<qint64> editedSince;
    if (DetailStore(m_db, m_table).available()) {
        const QString card = SqlText::quoted(ContactDetails::cardTable(m_table));
        for (const auto &[first, lastId] : std::as_const(runs)) {
            QSqlQuery edited = run(
                QStringLiteral("SELECT c.id, t.%1 FROM %2 c JOIN %3 t ON t.id = c.id "
                               "WHERE c.id BETWEEN ? AND ? AND c.rev > (SELECT min(rev) FROM %2 "
                               "WHERE id BETWEEN ? AND ?) ORDER BY c.id")
                    .arg(SqlText::quoted(m_fields.value(nameField, QStringLiteral("id"))), card,
                         SqlText::quoted(m_table)),
                {first, lastId, first, lastId});
            while (edited.next()) {
                editedSince.insert(edited.value(0).toLongLong());
                undone.changedSince << shownName(edited.value(1).toString());
            }
        }
    }
    for (const auto &[first, lastId] : std::as_const(runs))
        for (qint64 id = first; id <= lastId; ++id)
            if (!editedSince.contains(id) && batch.remove(id))
                ++undone.removed;

    QSqlQuery updated =
        run(QStringLiteral("SELECT contact, before_text, after_text FROM %1 ORDER BY contact")
                .arg(name("_updated")));
    QList<std::tuple<qint64, QString, QString>> entries;
    while (updated.next())
        entries.append({updated.value(0).toLongLong(), updated.value(1).toString(),
                        updated.value(2).toString()});
    updated.finish();
    for (const auto &[id, beforeText, afterText] : std::as_const(entries)) {
        if (wasAdded(id))
            continue; // removed with what the import added
        QStringList afterValues, beforeValues;
        ContactExtras after, before;
        ContactJson::readContact(afterText, m_fields, &afterValues, &after);
        ContactJson::readContact(beforeText, m_fields, &beforeValues, &before);
        const QStringList current = batch.values(id);
        ContactExtras currentExtras = batch.extras(id);
        currentExtras.revision.clear(); // every write sets it
        // Stored values are compared as text: NULL and empty alike.
        const auto same = [](const QStringList &a, const QStringList &b) {
            if (a.size() != b.size())
                return false;
            for (qsizetype i = 0; i < a.size(); ++i)
                if (a[i] != b[i] && !(a[i].isEmpty() && b[i].isEmpty()))
                    return false;
            return true;
        };
        if (current.isEmpty() || !same(current, afterValues) || currentExtras != after) {
            const QString shown =
                current.isEmpty() ? afterValues.value(nameField) : current.value(nameField);
            undone.changedSince << shownName(shown);
            continue;
        }
        batch.writeExtras(id, before);
        batch.update(id, beforeValues);
        ++undone.restored;
    }
    clear();
    return undone;
}
