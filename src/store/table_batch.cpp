#include "store/table_batch.h"

#include "platform/errors.h"
#include "store/bulk_statement.h"
#include "store/contact_schema.h"
#include "store/deleted_contacts.h"
#include "store/search_index.h"
#include "store/sort_key.h"
#include "store/sql_engine.h"
#include "store/sql_text.h"
#include "store/table.h"

#include <QDateTime>
#include <QSqlError>
#include <QVariant>
#include <algorithm>
#include <utility>

using SqlText::quoted;

TableBatch::TableBatch(TTable &table) : m_table(table), m_engine(requireEngine(table))
{
    link().requireWritable();
    m_table.checkBrowseMode();
    link().requireSameFile();
    // An earlier batch's merge ends after its current step: this one writes parts of its own.
    m_table.endUpkeep();
    m_cacheSize = m_engine.enlargeCache(db());
    if (!db().transaction())
        link().failWrite(db().lastError());
    m_open = true;
    // Whether the table has its search index, told before its triggers are set aside.
    m_search = std::make_unique<SearchIndexWriter>(db(), m_table.m_tableName);
    // Before any statement is prepared against the schema.
    if (QSqlError error;
        !m_engine.setAsideMarking(db(), m_table.m_tableName, &m_setAside, &error)) {
        rollback();
        link().failWrite(error);
    }
    for (const QString &field : m_table.m_fields)
        m_columns << quoted(field);
    for (const QString &field : m_table.m_keyedFields) {
        m_columns << quoted(ContactSchema::keyColumn(field));
        m_keyedFieldIndexes << int(m_table.m_fields.indexOf(field));
    }
    const QString name = quoted(m_table.m_tableName);
    QStringList marks;
    marks.fill(QStringLiteral("?"), m_columns.size());
    const QStringList fields = m_columns.mid(0, m_table.m_fields.size());
    m_insert =
        bulk(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)%4")
                 .arg(name, m_columns.join(u", "), marks.join(u", "), m_engine.returningId()));
    m_update = bulk(
        QStringLiteral("UPDATE %1 SET %2 = ? WHERE id = ?").arg(name, m_columns.join(u" = ?, ")));
    m_select =
        prepare(QStringLiteral("SELECT %1 FROM %2 WHERE id = ?").arg(fields.join(u", "), name));
    m_groupRows = m_engine.batchRowsPerStatement();
    const QString columns = QStringLiteral("id, ") + m_columns.join(u", ");
    const int width = int(m_columns.size()) + 1;
    m_insertsWithId = std::make_unique<BulkStatements>([name, columns, width](int rows) {
        return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
            .arg(name, columns, SqlText::valueRows(width, rows));
    });
    if (detailStore().available()) {
        // The card the insert trigger would make, with the UID and kept lines given.
        m_now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toUtf8();
        const QString cards = quoted(ContactDetails::cardTable(m_table.m_tableName));
        const auto cardsSql = [cards](int rows) {
            return QStringLiteral("INSERT INTO %1 (id, uid, rev, kept) VALUES %2 ON CONFLICT "
                                  "(id) DO UPDATE SET uid = excluded.uid, rev = excluded.rev, "
                                  "kept = excluded.kept")
                .arg(cards, SqlText::valueRows(4, rows));
        };
        const QString details = quoted(ContactDetails::detailsTable(m_table.m_tableName));
        const auto detailsSql = [details](int rows) {
            return QStringLiteral(
                       "INSERT INTO %1 (contact, ord, kind, type, label, value) VALUES %2")
                .arg(details, SqlText::valueRows(6, rows));
        };
        m_insertCards = std::make_unique<BulkStatements>(cardsSql);
        m_insertDetails = std::make_unique<BulkStatements>(detailsSql);
    }
    if (m_table.m_bookkeeping)
        m_unmark = prepare(QStringLiteral("DELETE FROM %1 WHERE id = ?")
                               .arg(quoted(ContactSchema::dirtyTable(m_table.m_tableName))));
}

TableBatch::~TableBatch()
{
    if (m_open)
        db().rollback();
    m_engine.restoreCache(db(), m_cacheSize);
}

const SqlEngine &TableBatch::requireEngine(const TTable &table)
{
    table.requireActive();
    return *table.m_link.engine();
}

TableConnection &TableBatch::link()
{
    return m_table.m_link;
}

QSqlDatabase &TableBatch::db()
{
    return m_table.m_link.db();
}

std::unique_ptr<QSqlQuery> TableBatch::prepare(const QString &sql)
{
    auto query = std::make_unique<QSqlQuery>(db());
    if (!query->prepare(sql)) {
        const QSqlError error = query->lastError();
        rollback();
        link().fail(error);
    }
    return query;
}

std::unique_ptr<BulkStatement> TableBatch::bulk(const QString &sql)
{
    auto statement = std::make_unique<BulkStatement>(db(), sql);
    if (!statement->ok()) {
        const QSqlError error = statement->error();
        rollback();
        link().fail(error);
    }
    return statement;
}

void TableBatch::requireOpen() const
{
    if (!m_open)
        throw DatabaseError(QStringLiteral("Transakcja importu została już zakończona."));
}

QSqlQuery &TableBatch::statement(const std::unique_ptr<QSqlQuery> &query)
{
    requireOpen();
    return *query;
}

TableBatch::Prepared TableBatch::prepare(const QStringList &values,
                                         const ContactExtras &extras) const
{
    const QStringList &fields = m_table.m_fields;
    if (values.size() != fields.size())
        throw DatabaseError(
            QStringLiteral("Rekord ma %1 pól zamiast %2.").arg(values.size()).arg(fields.size()));
    Prepared row;
    for (const QString &value : values)
        row.values << value.toUtf8();
    const SortKeyCollator &collator = SortKeyCollator::instance();
    for (const int field : m_keyedFieldIndexes)
        row.keys << collator.key(values[field]);
    if (m_search->active())
        for (const QString &text :
             SearchIndex::columnTexts(ContactDetails::searchValues(fields, values, extras.details)))
            row.searchText << text.toUtf8();
    for (const ContactDetail &detail : extras.details)
        row.details << ContactDetail::kindName(detail.kind).toUtf8() << detail.type.toUtf8()
                    << detail.label.toUtf8() << detail.value.toUtf8();
    // Made here, on the thread that prepares rows, rather than while the batch writes.
    row.uid = (extras.uid.isEmpty() ? ContactDetails::newUid() : extras.uid).toUtf8();
    row.kept = extras.kept.toUtf8();
    return row;
}

// Binds the values, then the sort key of each keyed field, from position 0.
static void bindRow(BulkStatement &statement, const TableBatch::Prepared &row)
{
    int position = 0;
    for (const QByteArray &value : row.values)
        statement.bindUtf8(position++, value);
    for (const QByteArray &key : row.keys)
        statement.bind(position++, key);
}

// A mark another program's write left on the row: its keys are right now.
void TableBatch::unmark(qint64 id)
{
    if (!m_unmark)
        return;
    QSqlQuery &query = statement(m_unmark);
    query.bindValue(0, id);
    if (!query.exec())
        link().failWrite(query.lastError());
}

qint64 TableBatch::insert(const Prepared &row)
{
    requireOpen();
    qint64 id = m_groupRows > 1 ? takeId() : -1;
    const bool grouped = id >= 0;
    if (grouped) {
        m_waiting.push_back({id, row});
    } else {
        bindRow(*m_insert, row);
        if (!m_insert->exec())
            link().failWrite(m_insert->error());
        id = m_insert->lastInsertId();
    }
    if (m_firstInserted < 0 || id < m_firstInserted)
        m_firstInserted = m_unindexed = id;
    m_lastInserted = std::max(m_lastInserted, id);
    if (!grouped) {
        m_search->writeTextOnly(id, row.searchText);
        const NewRow inserted{id, &row};
        writeCards({&inserted, 1}, m_now);
    } else if (qsizetype(m_waiting.size()) >= m_groupRows) {
        writeWaiting();
    }
    if (++m_inserted == kLargeBatch)
        setAsideIndexesIfLarge();
    return id;
}

// The next id taken for a new row, a group's worth taken at a time; -1, and rows one at a
// time from then on, when the table's ids come from no sequence of its own (a default
// made by hand), which only an insert can follow.
qint64 TableBatch::takeId()
{
    if (m_nextId == m_ids.size()) {
        m_ids.clear();
        m_nextId = 0;
        QSqlQuery query(db());
        query.setForwardOnly(true);
        if (!query.exec(m_engine.idsStatement(m_table.m_tableName, m_groupRows)))
            link().failWrite(query.lastError());
        while (query.next()) {
            if (query.isNull(0)) {
                m_ids.clear();
                m_groupRows = 1;
                return -1;
            }
            m_ids.push_back(query.value(0).toLongLong());
        }
        if (m_ids.empty())
            link().failWrite(query.lastError());
        std::sort(m_ids.begin(), m_ids.end());
    }
    return m_ids[m_nextId++];
}

// Writes the rows that wait, their search text, cards and further values, a statement
// for each.
void TableBatch::writeWaiting()
{
    if (m_waiting.empty())
        return;
    const std::vector<Waiting> waiting = std::exchange(m_waiting, {});
    std::vector<NewRow> rows;
    std::vector<SearchIndexWriter::TextRow> texts;
    for (const Waiting &row : waiting) {
        rows.push_back({row.id, &row.row});
        texts.emplace_back(row.id, &row.row.searchText);
    }
    writeRows(rows);
    m_search->writeTextsOnly(texts);
    writeCards(rows, m_now);
}

// The statement of `statements` for `count` rows; raises when the engine refuses it.
static BulkStatement &statementFor(BulkStatements &statements, const QSqlDatabase &db,
                                   TableConnection &link, int count)
{
    QSqlError error;
    BulkStatement *statement = statements.forRows(db, count, &error);
    if (!statement)
        link.failWrite(error);
    return *statement;
}

// Inserts rows under the ids given, all in one statement.
void TableBatch::writeRows(std::span<const NewRow> rows)
{
    BulkStatement &insert = statementFor(*m_insertsWithId, db(), link(), int(rows.size()));
    int position = 0;
    for (const NewRow &row : rows) {
        insert.bind(position++, row.id);
        for (const QByteArray &value : row.row->values)
            insert.bindUtf8(position++, value);
        for (const QByteArray &key : row.row->keys)
            insert.bind(position++, key);
    }
    if (!insert.exec())
        link().failWrite(insert.error());
}

// The cards and further values of rows just inserted, while the table keeps them: the
// cards in one statement, the further values as many to a statement as a group has rows.
void TableBatch::writeCards(std::span<const NewRow> rows, const QByteArray &revision)
{
    if (!m_insertCards)
        return;
    BulkStatement &cards = statementFor(*m_insertCards, db(), link(), int(rows.size()));
    std::vector<QByteArray> uids; // bound without a copy: kept until exec()
    uids.reserve(rows.size());
    struct Detail
    {
        qint64 id;
        qsizetype at; // of the row's parts, four to a value
        const QList<QByteArray> *parts;
    };
    std::vector<Detail> details;
    int position = 0;
    for (const NewRow &inserted : rows) {
        const Prepared &row = *inserted.row;
        uids.push_back(row.uid.isEmpty() ? ContactDetails::newUid().toUtf8() : row.uid);
        cards.bind(position++, inserted.id);
        cards.bindUtf8(position++, uids.back());
        cards.bindUtf8(position++, revision);
        cards.bindUtf8(position++, row.kept.isEmpty() ? QByteArray() : row.kept);
        for (qsizetype i = 0; i + 3 < row.details.size(); i += 4)
            details.push_back({inserted.id, i, &row.details});
    }
    if (!cards.exec())
        link().failWrite(cards.error());
    for (std::size_t from = 0; from < details.size(); from += std::size_t(m_groupRows)) {
        const std::size_t count = std::min(details.size() - from, std::size_t(m_groupRows));
        BulkStatement &insert = statementFor(*m_insertDetails, db(), link(), int(count));
        position = 0;
        for (std::size_t d = from; d < from + count; ++d) {
            insert.bind(position++, details[d].id);
            insert.bind(position++, qint64(details[d].at / 4));
            for (int part = 0; part < 4; ++part)
                insert.bindUtf8(position++, (*details[d].parts)[details[d].at + part]);
        }
        if (!insert.exec())
            link().failWrite(insert.error());
    }
}

void TableBatch::indexWaitingText()
{
    requireOpen();
    if (m_firstInserted >= 0 && m_lastInserted + 1 - m_unindexed >= kWaitingStretch)
        indexSearchText(m_lastInserted + 1);
}

// Many rows inserted into a table that holds few cost more with its indexes kept up row
// by row, each insert landing at a scattered place, than with the indexes made again
// in one sorted pass at the end. So a batch whose inserts come near the rows the table
// had sets the indexes of the table and of its search text aside, like the triggers:
// dropped within its transaction, made again before the commit.
void TableBatch::setAsideIndexesIfLarge()
{
    QList<SqlEngine::MadeIndex> indexes;
    QSqlError failure;
    for (const QString &table :
         {m_table.m_tableName, SearchIndex::textTableName(m_table.m_tableName)})
        if (!m_engine.indexesToSetAside(db(), table, &indexes, &failure))
            link().fail(failure);
    if (indexes.isEmpty())
        return;
    writeWaiting();
    QSqlQuery query(db());
    if (!query.exec(QStringLiteral("SELECT count(*) FROM %1").arg(quoted(m_table.m_tableName))) ||
        !query.next())
        link().fail(query.lastError());
    const qint64 had = query.value(0).toLongLong() - m_inserted;
    query.finish();
    if (had > 4 * m_inserted)
        return;
    // An index cannot be dropped while another statement of the connection reads (a
    // search going through its results): it then stays and is kept up row by row.
    for (const SqlEngine::MadeIndex &index : std::as_const(indexes))
        if (query.exec(QStringLiteral("DROP INDEX %1").arg(quoted(index.name))))
            m_setAsideIndexes << index.create;
}

void TableBatch::indexSearchText(qint64 to)
{
    m_search->indexText(m_unindexed, to);
    m_unindexed = to;
}

void TableBatch::update(qint64 id, const QStringList &values)
{
    requireOpen();
    writeWaiting();
    const Prepared row = prepare(values); // bound without a copy: kept until exec()
    bindRow(*m_update, row);
    m_update->bind(int(m_columns.size()), id);
    if (!m_update->exec())
        link().failWrite(m_update->error());
    ++m_updated;
    m_changedIds << id;
    unmark(id);
    writeSearchText(id, values);
}

void TableBatch::restore(qint64 id, const QStringList &values, const ContactExtras &extras)
{
    requireOpen();
    writeWaiting();
    if (!this->values(id).isEmpty()) {
        writeExtras(id, extras);
        update(id, values);
        return;
    }
    const Prepared row = prepare(values, extras);
    const NewRow restored{id, &row};
    writeRows({&restored, 1});
    if (m_insertCards)
        writeCards({&restored, 1}, extras.revision.isEmpty() ? m_now : extras.revision.toUtf8());
    else if (!extras.isEmpty())
        writeExtras(id, extras); // refuses: the table keeps no further values
    unmark(id);
    writeSearchText(id, values);
}

bool TableBatch::remove(qint64 id)
{
    requireOpen();
    writeWaiting();
    if (!m_remove)
        m_remove =
            prepare(QStringLiteral("DELETE FROM %1 WHERE id = ?").arg(quoted(m_table.m_tableName)));
    // Kept among the deleted contacts first, in the batch's transaction.
    if (!m_deleted)
        m_deleted = std::make_unique<DeletedContacts>(db(), m_table.m_tableName, m_table.m_fields);
    try {
        m_deleted->keep(id);
    } catch (const DatabaseError &) {
        rollback();
        throw;
    }
    m_remove->bindValue(0, id);
    // The table's triggers drop the row's card, further values and search text with it.
    if (!m_remove->exec())
        link().failWrite(m_remove->lastError());
    const bool removed = m_remove->numRowsAffected() > 0;
    if (removed)
        m_changedIds << id;
    return removed;
}

void TableBatch::writeSearchText(qint64 id, const QStringList &values)
{
    const QStringList merged =
        ContactDetails::searchValues(m_table.m_fields, values, detailStore().readDetails(id));
    // A row this batch inserted and has not yet indexed is indexed later; only its
    // text changes now.
    if (m_firstInserted >= 0 && id >= m_unindexed)
        m_search->writeTextOnly(id, SearchIndex::columnTexts(merged));
    else
        m_search->write(id, merged);
}

DetailStore &TableBatch::detailStore()
{
    requireOpen();
    writeWaiting();
    if (!m_details)
        m_details = std::make_unique<DetailStore>(db(), m_table.m_tableName);
    return *m_details;
}

void TableBatch::writeExtras(qint64 id, const ContactExtras &extras)
{
    DetailStore &store = detailStore();
    if (!store.available()) {
        if (extras.isEmpty())
            return;
        throw DatabaseError(QStringLiteral(
            "Baza danych nie ma tabeli dalszych danych kontaktów; nie można ich zapisać."));
    }
    try {
        store.write(id, extras);
    } catch (const DatabaseError &) {
        rollback();
        throw;
    }
}

ContactExtras TableBatch::extras(qint64 id)
{
    return detailStore().read(id);
}

QStringList TableBatch::values(qint64 id)
{
    writeWaiting();
    QSqlQuery &query = statement(m_select);
    query.bindValue(0, id);
    if (!query.exec())
        link().fail(query.lastError());
    QStringList row;
    if (query.next())
        for (int i = 0; i < m_table.m_fields.size(); ++i)
            row << query.value(i).toString();
    query.finish();
    return row;
}

void TableBatch::forEachRow(const QStringList &fields,
                            const std::function<void(qint64, const QStringList &)> &visit)
{
    writeWaiting();
    QStringList columns{QStringLiteral("id")};
    for (const QString &field : fields)
        columns << quoted(m_table.m_fields[m_table.fieldIndexChecked(field)]);
    QSqlQuery query(db());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY id")
                        .arg(columns.join(QStringLiteral(", ")), quoted(m_table.m_tableName))))
        link().fail(query.lastError());
    QStringList row;
    while (query.next()) {
        row.clear();
        for (int i = 1; i <= fields.size(); ++i)
            row << query.value(i).toString();
        visit(query.value(0).toLongLong(), row);
    }
    if (query.lastError().isValid())
        link().fail(query.lastError());
}

bool TableBatch::commit(const std::function<bool(int)> &progress)
{
    if (!m_open)
        return true;
    // A large batch leaves the merge of the index's parts, and the copy of the log it
    // filled into the file, to be done after the commit without holding up the user.
    const bool large = m_inserted + m_updated >= kLargeBatch;
    // The work left, in rows: the text to index, the merge of the index's parts (about
    // as long as indexing a third of the rows) and each set-aside index (a sixth).
    const qint64 text = m_firstInserted >= 0 ? m_lastInserted + 1 - m_unindexed : 0;
    const qint64 merging =
        m_firstInserted >= 0 && m_search->active() && !large ? m_inserted / 3 : 0;
    const qint64 perIndex = m_inserted / 6;
    const qint64 total = text + merging + perIndex * m_setAsideIndexes.size();
    qint64 done = 0;
    const auto advance = [&](qint64 rows) {
        done += rows;
        if (!progress || progress(total > 0 ? int(done * 100 / total) : 100))
            return true;
        rollback();
        return false;
    };
    SearchIndexWriter::LaterMerge later;
    try {
        writeWaiting();
        while (m_firstInserted >= 0 && m_unindexed <= m_lastInserted) {
            const qint64 from = m_unindexed;
            indexSearchText(std::min(m_lastInserted + 1, from + kIndexStretch));
            if (!advance(m_unindexed - from))
                return false;
        }
        // A cancel stops the merge after its current step.
        const qint64 before = done;
        if (large)
            later = m_search->finishIndexingLater();
        else if (!m_search->finishIndexing([&](int percent) {
                     done = before + merging * percent / 100;
                     return !progress || progress(total > 0 ? int(done * 100 / total) : 100);
                 })) {
            rollback();
            return false;
        }
    } catch (const DatabaseError &) {
        rollback();
        throw;
    }
    finishStatements();
    QSqlQuery restore(db());
    const auto make = [&](const QString &create) {
        if (restore.exec(create))
            return;
        const QSqlError error = restore.lastError();
        rollback();
        link().failWrite(error);
    };
    for (const QString &create : std::as_const(m_setAside))
        make(create);
    QList<qint64> changed(m_changedIds.cbegin(), m_changedIds.cend());
    std::sort(changed.begin(), changed.end());
    if (const QString notify = m_engine.notifyChanged(m_table.m_tableName, changed);
        !notify.isEmpty())
        make(notify);
    for (const QString &create : std::as_const(m_setAsideIndexes)) {
        make(create);
        if (!advance(perIndex))
            return false;
    }
    if (total == 0 && !advance(0))
        return false;
    const QVariant autoCheckpoint = large ? m_engine.holdCheckpoints(db()) : QVariant();
    const bool committed = db().commit();
    const QSqlError error = db().lastError();
    m_engine.resumeCheckpoints(db(), autoCheckpoint);
    if (!committed) {
        rollback();
        link().failWrite(error);
    }
    m_open = false;
    if (autoCheckpoint.isValid() || !later.steps.isEmpty())
        m_table.upkeepInBackground(later.steps, later.afterMerge);
    return true;
}

void TableBatch::finishStatements()
{
    m_insert.reset();
    m_update.reset();
    m_insertsWithId.reset();
    m_insertCards.reset();
    m_insertDetails.reset();
    m_select.reset();
    m_unmark.reset();
    m_search.reset();
    m_details.reset();
    m_deleted.reset();
    m_waiting.clear();
}

void TableBatch::rollback()
{
    if (!m_open)
        return;
    finishStatements();
    m_open = false;
    db().rollback();
}
