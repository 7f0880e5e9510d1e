#include "store/search_index.h"

#include "store/bulk_statement.h"
#include "store/contact_schema.h"
#include "store/sql_engine.h"
#include "store/sql_text.h"

#include <QSqlRecord>
#include <QVariant>
#include <algorithm>

namespace {

using SqlText::engineMessage;
using SqlText::quoted;

bool checkCount(const QStringList &values, QString *error)
{
    if (values.size() == SearchIndex::kFieldCount)
        return true;
    *error = QStringLiteral("Tekst wyszukiwania kontaktu wymaga %1 pól, a podano %2.")
                 .arg(SearchIndex::kFieldCount)
                 .arg(values.size());
    return false;
}

} // namespace

namespace SearchIndex {

QString tableName(const QString &table)
{
    return table + QStringLiteral("_search");
}

QString textTableName(const QString &table)
{
    return table + QStringLiteral("_search_text");
}

const QStringList &columns()
{
    static const QStringList columns{QStringLiteral("Nazwa"), QStringLiteral("Filia"),
                                     QStringLiteral("Email"), QStringLiteral("Inne")};
    return columns;
}

QString marksTableName(const QString &table)
{
    return table + QStringLiteral("_search_marks");
}

QString insertTriggerName(const QString &table)
{
    return table + QStringLiteral("_search_ins");
}

QString updateTriggerName(const QString &table)
{
    return table + QStringLiteral("_search_upd");
}

QString deleteTriggerName(const QString &table)
{
    return table + QStringLiteral("_search_del");
}

QString startIndexName(const QString &table, qsizetype i)
{
    return table + QStringLiteral("_search_start_") + QLatin1Char("nfb"[i]);
}

QString fieldList()
{
    QStringList fields;
    for (const QString &field : ContactSchema::fieldNames())
        fields << quoted(field);
    return fields.join(QStringLiteral(", "));
}

bool execAll(QSqlDatabase &db, const QStringList &statements, QSqlError *failure)
{
    QSqlQuery query(db);
    for (const QString &sql : statements) {
        if (!query.exec(sql)) {
            *failure = query.lastError();
            return false;
        }
    }
    return true;
}

bool buildMissing(QSqlDatabase &db, const QString &table, QString *error,
                  const std::function<QString()> &build)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(quoted(table)))) {
        *error = engineMessage(query.lastError());
        return false;
    }
    const QSqlRecord record = query.record();
    const QStringList fields = ContactSchema::fieldNames();
    if (!std::all_of(fields.cbegin(), fields.cend(),
                     [&record](const QString &field) { return record.contains(field); }))
        return true;
    if (!db.transaction()) {
        *error = engineMessage(db.lastError());
        return false;
    }
    if (const QString failed = build(); !failed.isEmpty()) {
        *error = failed;
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        *error = engineMessage(db.lastError());
        db.rollback();
        return false;
    }
    return true;
}

bool writeEveryText(QSqlDatabase &db, const QString &table,
                    const std::function<void(int)> &progress, const TextInsert &insert,
                    QSqlError *failure)
{
    std::vector<QStringList> rows;
    int percent = -1;
    return SqlText::forEachBatch(
        db, table, fieldList(), kBuildBatch,
        [&rows](const QSqlQuery &select) {
            QStringList values;
            for (int f = 0; f < kFieldCount; ++f)
                values << select.value(1 + f).toString();
            rows.push_back(columnTexts(values));
        },
        [&](const std::vector<qint64> &ids, int through) {
            if (!insert(ids, rows, failure))
                return false;
            rows.clear();
            const int now = through * kTextShare / 100;
            if (progress && now != percent)
                progress(percent = now);
            return true;
        },
        failure);
}

bool repair(QSqlDatabase &db, const QString &table, QString *error)
{
    if (!exists(db, table))
        return true;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    QList<qint64> ids;
    if (!query.exec(QStringLiteral("SELECT id FROM %1").arg(quoted(marksTableName(table))))) {
        *error = engineMessage(query.lastError());
        return false;
    }
    while (query.next())
        ids << query.value(0).toLongLong();
    query.finish();
    if (ids.isEmpty())
        return true;

    if (!db.transaction()) {
        *error = engineMessage(db.lastError());
        return false;
    }
    const auto fail = [&db] {
        db.rollback();
        return false;
    };
    SearchIndexWriter writer(db, table);
    if (!query.prepare(
            QStringLiteral("SELECT %1 FROM %2 WHERE id = ?").arg(fieldList(), quoted(table)))) {
        *error = engineMessage(query.lastError());
        return fail();
    }
    for (const qint64 id : std::as_const(ids)) {
        query.addBindValue(id);
        if (!query.exec()) {
            *error = engineMessage(query.lastError());
            return fail();
        }
        QStringList values;
        const bool stored = query.next();
        for (int f = 0; stored && f < kFieldCount; ++f)
            values << query.value(f).toString();
        query.finish();
        // Writing or dropping the text clears the mark.
        if (!(stored ? writer.write(id, values, error) : writer.remove(id, error)))
            return fail();
    }
    if (!db.commit()) {
        *error = engineMessage(db.lastError());
        return fail();
    }
    return true;
}

bool exists(QSqlDatabase &db, const QString &table)
{
    return SqlEngine::of(db).fullTextIndex().exists(db, table);
}

bool ensure(QSqlDatabase &db, const QString &table, QString *error,
            const std::function<void(int percent)> &progress)
{
    return SqlEngine::of(db).fullTextIndex().ensure(db, table, error, progress);
}

} // namespace SearchIndex

SearchIndexWriter::SearchIndexWriter(QSqlDatabase &db, const QString &table)
    : m_db(db), m_table(table), m_index(SqlEngine::of(db).fullTextIndex()),
      m_active(m_index.exists(db, table))
{
}

SearchIndexWriter::~SearchIndexWriter() = default;

bool SearchIndexWriter::prepare(const QStringList &statements, Prepared *queries, QString *error)
{
    if (!queries->empty())
        return true;
    Prepared prepared;
    for (const QString &sql : statements) {
        auto query = std::make_unique<QSqlQuery>(m_db);
        if (!query->prepare(sql)) {
            *error = engineMessage(query->lastError());
            return false;
        }
        prepared.push_back(std::move(query));
    }
    *queries = std::move(prepared);
    return true;
}

bool SearchIndexWriter::write(qint64 id, const QStringList &values, QString *error)
{
    if (!m_active)
        return true;
    if (!checkCount(values, error))
        return false;
    if (m_writes.empty()) {
        QStringList statements;
        m_writeTexts.clear();
        for (const FullTextIndex::Statement &statement : m_index.writeStatements(m_table)) {
            statements << statement.sql;
            m_writeTexts << statement.texts;
        }
        if (!prepare(statements, &m_writes, error))
            return false;
    }
    const QStringList columns = SearchIndex::columnTexts(values);
    for (size_t i = 0; i < m_writes.size(); ++i) {
        QSqlQuery &query = *m_writes[i];
        query.bindValue(0, id);
        for (int c = 0; c < m_writeTexts[qsizetype(i)]; ++c)
            query.bindValue(1 + c, columns[c]);
        if (!query.exec()) {
            *error = engineMessage(query.lastError());
            return false;
        }
    }
    return true;
}

bool SearchIndexWriter::writeTextOnly(qint64 id, const QStringList &columnTexts, QString *error)
{
    QList<QByteArray> utf8;
    for (const QString &text : columnTexts)
        utf8 << text.toUtf8();
    return writeTextOnly(id, utf8, error);
}

bool SearchIndexWriter::writeTextOnly(qint64 id, const QList<QByteArray> &utf8ColumnTexts,
                                      QString *error)
{
    if (!m_active)
        return true;
    if (!m_textOnly) {
        auto statement = std::make_unique<BulkStatement>(m_db, m_index.textOnlyStatement(m_table));
        if (!statement->ok()) {
            *error = engineMessage(statement->error());
            return false;
        }
        m_textOnly = std::move(statement);
    }
    static const QByteArray none;
    m_textOnly->bind(0, id);
    for (int c = 0; c < 4; ++c)
        m_textOnly->bindUtf8(1 + c, c < utf8ColumnTexts.size() ? utf8ColumnTexts[c] : none);
    if (m_textOnly->exec())
        return true;
    *error = engineMessage(m_textOnly->error());
    return false;
}

bool SearchIndexWriter::indexText(qint64 from, qint64 to, QString *error)
{
    if (!m_active)
        return true;
    for (const QString &sql : m_index.indexTextStatements(m_table)) {
        QSqlQuery query(m_db);
        query.prepare(sql);
        query.bindValue(0, from);
        query.bindValue(1, to);
        if (!query.exec()) {
            *error = engineMessage(query.lastError());
            return false;
        }
    }
    return true;
}

bool SearchIndexWriter::remove(qint64 id, QString *error)
{
    if (!m_active)
        return true;
    if (!prepare(m_index.removeStatements(m_table), &m_removes, error))
        return false;
    for (const auto &drop : m_removes) {
        drop->bindValue(0, id);
        if (!drop->exec()) {
            *error = engineMessage(drop->lastError());
            return false;
        }
    }
    return true;
}
