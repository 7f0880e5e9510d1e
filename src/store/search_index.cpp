#include "store/search_index.h"

#include "platform/errors.h"
#include "store/bulk_statement.h"
#include "store/contact_details.h"
#include "store/contact_schema.h"
#include "store/sql_engine.h"
#include "store/sql_text.h"

#include <QSet>
#include <QSqlRecord>
#include <QVariant>
#include <algorithm>
#include <utility>

namespace {

using SqlText::engineMessage;
using SqlText::quoted;

void checkCount(const QStringList &values)
{
    if (values.size() != SearchIndex::kFieldCount)
        throw DatabaseError(
            QStringLiteral("Tekst wyszukiwania kontaktu wymaga %1 pól, a podano %2.")
                .arg(SearchIndex::kFieldCount)
                .arg(values.size()));
}

// The engine's message of a failed statement, raised.
[[noreturn]] void raiseError(const QSqlError &error)
{
    throw DatabaseError(engineMessage(error));
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

void buildMissing(QSqlDatabase &db, const QString &table, const std::function<void()> &build)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(quoted(table))))
        raiseError(query.lastError());
    const QSqlRecord record = query.record();
    const QStringList fields = ContactSchema::fieldNames();
    if (!std::all_of(fields.cbegin(), fields.cend(),
                     [&record](const QString &field) { return record.contains(field); }))
        return;
    if (!db.transaction())
        raiseError(db.lastError());
    try {
        build();
        if (!db.commit())
            raiseError(db.lastError());
    } catch (...) {
        db.rollback();
        throw;
    }
}

bool writeEveryText(QSqlDatabase &db, const QString &table,
                    const std::function<void(int)> &progress, const TextInsert &insert,
                    QSqlError *failure)
{
    std::vector<QStringList> rows;
    int percent = -1;
    DetailStore details(db, table);
    const QSet<qint64> withDetails = details.contactsWithDetails();
    return SqlText::forEachBatch(
        db, table, fieldList(), kBuildBatch,
        [&](const QSqlQuery &select) {
            QStringList values;
            for (int f = 0; f < kFieldCount; ++f)
                values << select.value(1 + f).toString();
            const qint64 id = select.value(0).toLongLong();
            if (withDetails.contains(id))
                values = ContactDetails::searchValues(ContactSchema::fieldNames(), values,
                                                      details.readDetails(id));
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

void repair(QSqlDatabase &db, const QString &table)
{
    if (!exists(db, table))
        return;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    QList<qint64> ids;
    if (!query.exec(QStringLiteral("SELECT id FROM %1").arg(quoted(marksTableName(table)))))
        raiseError(query.lastError());
    while (query.next())
        ids << query.value(0).toLongLong();
    query.finish();
    if (ids.isEmpty())
        return;

    if (!db.transaction())
        raiseError(db.lastError());
    try {
        SearchIndexWriter writer(db, table);
        DetailStore details(db, table);
        if (!query.prepare(
                QStringLiteral("SELECT %1 FROM %2 WHERE id = ?").arg(fieldList(), quoted(table))))
            raiseError(query.lastError());
        for (const qint64 id : std::as_const(ids)) {
            query.addBindValue(id);
            if (!query.exec())
                raiseError(query.lastError());
            QStringList values;
            const bool stored = query.next();
            for (int f = 0; stored && f < kFieldCount; ++f)
                values << query.value(f).toString();
            query.finish();
            // Writing or dropping the text clears the mark.
            if (stored)
                writer.write(id, ContactDetails::searchValues(ContactSchema::fieldNames(), values,
                                                              details.readDetails(id)));
            else
                writer.remove(id);
        }
        if (!db.commit())
            raiseError(db.lastError());
    } catch (...) {
        db.rollback();
        throw;
    }
}

bool exists(QSqlDatabase &db, const QString &table)
{
    return SqlEngine::of(db).fullTextIndex().exists(db, table);
}

void ensure(QSqlDatabase &db, const QString &table,
            const std::function<void(int percent)> &progress)
{
    SqlEngine::of(db).fullTextIndex().ensure(db, table, progress);
}

} // namespace SearchIndex

SearchIndexWriter::SearchIndexWriter(QSqlDatabase &db, const QString &table)
    : m_db(db), m_table(table), m_index(SqlEngine::of(db).fullTextIndex()),
      m_active(m_index.exists(db, table)),
      m_textsOnly([this](int rows) { return m_index.textOnlyStatement(m_table, rows); })
{
}

SearchIndexWriter::~SearchIndexWriter() = default;

void SearchIndexWriter::prepare(const QStringList &statements, Prepared *queries)
{
    if (!queries->empty())
        return;
    Prepared prepared;
    for (const QString &sql : statements) {
        auto query = std::make_unique<QSqlQuery>(m_db);
        if (!query->prepare(sql))
            raiseError(query->lastError());
        prepared.push_back(std::move(query));
    }
    *queries = std::move(prepared);
}

void SearchIndexWriter::write(qint64 id, const QStringList &values)
{
    if (!m_active)
        return;
    checkCount(values);
    if (m_writes.empty()) {
        QStringList statements;
        m_writeTexts.clear();
        for (const FullTextIndex::Statement &statement : m_index.writeStatements(m_table)) {
            statements << statement.sql;
            m_writeTexts << statement.texts;
        }
        prepare(statements, &m_writes);
    }
    const QStringList columns = SearchIndex::columnTexts(values);
    for (size_t i = 0; i < m_writes.size(); ++i) {
        QSqlQuery &query = *m_writes[i];
        query.bindValue(0, id);
        for (int c = 0; c < m_writeTexts[qsizetype(i)]; ++c)
            query.bindValue(1 + c, columns[c]);
        if (!query.exec())
            raiseError(query.lastError());
    }
}

void SearchIndexWriter::writeTextOnly(qint64 id, const QStringList &columnTexts)
{
    QList<QByteArray> utf8;
    for (const QString &text : columnTexts)
        utf8 << text.toUtf8();
    writeTextOnly(id, utf8);
}

void SearchIndexWriter::writeTextOnly(qint64 id, const QList<QByteArray> &utf8ColumnTexts)
{
    writeTextsOnly({{id, &utf8ColumnTexts}});
}

void SearchIndexWriter::writeTextsOnly(const std::vector<TextRow> &rows)
{
    if (!m_active || rows.empty())
        return;
    QSqlError error;
    BulkStatement *statement = m_textsOnly.forRows(m_db, int(rows.size()), &error);
    if (!statement)
        raiseError(error);
    static const QByteArray none;
    int position = 0;
    for (const auto &[id, texts] : rows) {
        statement->bind(position++, id);
        for (int c = 0; c < 4; ++c)
            statement->bindUtf8(position++, c < texts->size() ? (*texts)[c] : none);
    }
    if (!statement->exec())
        raiseError(statement->error());
}

void SearchIndexWriter::indexText(qint64 from, qint64 to)
{
    if (!m_active)
        return;
    if (!m_indexing) {
        runBulkStatements(true);
        m_indexing = true;
        m_indexedRows = 0;
    }
    m_indexedRows += to - from;
    for (const QString &sql : m_index.indexTextStatements(m_table)) {
        QSqlQuery query(m_db);
        query.prepare(sql);
        query.bindValue(0, from);
        query.bindValue(1, to);
        if (!query.exec())
            raiseError(query.lastError());
    }
}

bool SearchIndexWriter::finishIndexing(const std::function<bool(int percent)> &progress)
{
    if (!std::exchange(m_indexing, false))
        return true;
    constexpr int kSteps = 8;
    QSqlQuery query(m_db);
    for (int step = 0; step < kSteps; ++step) {
        for (const QString &sql : m_index.mergeStatements(m_table, m_indexedRows, kSteps))
            if (!query.exec(sql))
                raiseError(query.lastError());
        if (progress && !progress((step + 1) * 100 / kSteps))
            return false;
    }
    runBulkStatements(false);
    return true;
}

SearchIndexWriter::LaterMerge SearchIndexWriter::finishIndexingLater()
{
    const QStringList steps = m_index.mergeStepStatements(m_table);
    if (!m_indexing || steps.isEmpty()) {
        finishIndexing();
        return {};
    }
    m_indexing = false;
    return {steps, m_index.bulkIndexStatements(m_table, false)};
}

void SearchIndexWriter::runBulkStatements(bool starting)
{
    QSqlQuery query(m_db);
    for (const QString &sql : m_index.bulkIndexStatements(m_table, starting))
        if (!query.exec(sql))
            raiseError(query.lastError());
}

void SearchIndexWriter::remove(qint64 id)
{
    if (!m_active)
        return;
    prepare(m_index.removeStatements(m_table), &m_removes);
    for (const auto &drop : m_removes) {
        drop->bindValue(0, id);
        if (!drop->exec())
            raiseError(drop->lastError());
    }
}
