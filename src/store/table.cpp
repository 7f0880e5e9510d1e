#include "store/table.h"

#include "platform/clock.h"
#include "platform/errors.h"
#include "store/background_upkeep.h"
#include "store/bulk_statement.h"
#include "store/contact_schema.h"
#include "store/deleted_contacts.h"
#include "store/key_repair.h"
#include "store/search_index.h"
#include "store/sort_key.h"
#include "store/sql_engine.h"
#include "store/sql_text.h"

#include <QScopeGuard>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace {

using SqlText::quoted;

constexpr int kQueryKinds = 8;

} // namespace

// Prepared positioning queries of one index, made on first use. On an SQLite file they
// run through the engine's own interface: a move is a few index seeks, and Qt's layer
// (a QVariant per bound and read value, names made for placeholders) would cost more
// than the seeks themselves.
struct TTable::Statements
{
    std::unique_ptr<BulkStatement> queries[kQueryKinds];
};

TTable::TTable(QObject *parent) : QObject(parent) {}

TTable::~TTable()
{
    close();
}

void TTable::reconnectIfLost()
{
    if (!m_link.lost())
        return;
    m_statements.clear();
    m_statements.resize(m_indexes.size());
    m_postStatements.reset();
    m_searchWriter.reset();
    m_detailStore.reset();
    m_link.reconnect();
    m_searchWriter = std::make_unique<SearchIndexWriter>(m_link.db(), m_tableName);
    m_detailStore = std::make_unique<DetailStore>(m_link.db(), m_tableName);
}

void TTable::otherUserChanged(qint64 id)
{
    if (!active() || m_empty || (id != SqlEngine::kManyRows && id != m_current.id))
        return;
    // Another user changed or deleted the record on the card: show it as stored now,
    // unless it is being edited; its post then meets the change.
    try {
        Row row;
        if (!fetch(Query::ById, &row, m_current.id)) {
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
    m_link.open({m_databaseName, m_databaseFile, m_tableName, m_busyTimeout},
                [this](qint64 id) { otherUserChanged(id); });
    try {
        openStructure();
    } catch (...) {
        close();
        throw;
    }
    emit stateChanged();
}

bool TTable::isServer() const
{
    return m_link.engine() && !m_link.engine()->inFile();
}

// Reads the table's fields and indexes and positions on the first record.
void TTable::openStructure()
{
    loadStructure();
    verifyIndex(m_indexName);
    m_index = findIndex(m_indexName);
    m_detailStore = std::make_unique<DetailStore>(m_link.db(), m_tableName);
    if (m_link.readOnly()) { // the order and search text are read as they are stored
        m_state = DataSetState::Browse;
        first();
        return;
    }
    try {
        ContactSchema::ensureBookkeeping(m_link.db(), m_tableName);
        m_bookkeeping = true;
    } catch (const DatabaseError &error) {
        m_bookkeeping = false;
        qWarning("Kartax2000: porządek alfabetyczny bazy %s nie będzie uzupełniany o zmiany innych "
                 "programów: %s",
                 qPrintable(path()), qPrintable(error.message()));
    }
    try {
        ContactDetails::ensure(m_link.db(), m_tableName, m_rebuildProgress);
    } catch (const DatabaseError &error) {
        qWarning("Kartax2000: nie można utworzyć tabeli dalszych danych kontaktów bazy %s: %s",
                 qPrintable(path()), qPrintable(error.message()));
    }
    try {
        SearchIndex::ensure(m_link.db(), m_tableName, m_rebuildProgress);
    } catch (const DatabaseError &error) {
        qWarning("Kartax2000: nie można zbudować indeksu wyszukiwania bazy %s: %s",
                 qPrintable(path()), qPrintable(error.message()));
    }
    try {
        DeletedContacts deleted(m_link.db(), m_tableName, m_fields);
        deleted.ensure();
        deleted.purge(Clock::now().addDays(-DeletedContacts::kKeptDays));
    } catch (const DatabaseError &error) {
        qWarning("Kartax2000: nie można utworzyć tabeli usuniętych kontaktów bazy %s: %s",
                 qPrintable(path()), qPrintable(error.message()));
    }
    m_searchWriter = std::make_unique<SearchIndexWriter>(m_link.db(), m_tableName);
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
    m_link.requireSameFile();
    auto cursor = std::make_unique<TTable>();
    if (m_link.engine()->inFile())
        cursor->setDatabaseFile(path());
    else
        cursor->setDatabaseName(m_databaseName);
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
    if (!fetch(Query::ById, &row, id))
        return false;
    setCurrent(row);
    m_bof = m_eof = false;
    notifyDataSetChanged();
    return true;
}

void TTable::upkeepInBackground(const QStringList &mergeSteps, const QStringList &afterMerge)
{
    endUpkeep(); // one at a time
    m_upkeep = std::make_unique<BackgroundUpkeep>(path(), m_busyTimeout, mergeSteps, afterMerge);
}

void TTable::endUpkeep()
{
    m_upkeep.reset();
}

void TTable::close()
{
    // The last connection to close copies what is left of the log into the file itself.
    endUpkeep();
    if (m_link.db().isValid() || active()) {
        const bool wasActive = active();
        m_statements.clear();
        m_postStatements.reset();
        m_searchWriter.reset();
        m_detailStore.reset();
        m_detailsBuffer.reset();
        m_link.close();
        m_deletedByOther = false;
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
    QSqlQuery query(m_link.db());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(quoted(m_tableName))))
        m_link.fail(m_link.engine()->explainUnreadableTable(m_link.db(), m_tableName, path(),
                                                            query.lastError()));
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
    if (QSqlError failure;
        !m_link.engine()->indexesByFirstColumn(m_link.db(), m_tableName, &indexes, &failure))
        m_link.fail(failure);
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
    m_postStatements.reset(); // the fields may have changed
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
    if (!m_link.db().isOpen())
        throw DatabaseError(QStringLiteral("Tabela kontaktów nie jest otwarta."));
    if (findIndex(name) >= 0)
        return;
    const QString place = m_link.engine()->place(path());
    if (!m_link.engine()->indexExists(m_link.db(), m_tableName, name))
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
    if (fetch(Query::ById, &row, m_current.id))
        setCurrent(row);
    else
        repositionNear(m_current);
    if (wasFirst != atFirst() || wasLast != atLast())
        notifyDataSetChanged();
}

QString TTable::selectList(int index, Query kind) const
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
    // the (key, id) index; a row-value comparison would scan every equal key. What
    // the move itself tells is not asked: the first record has none before it, and
    // a record reached forward from another has that one before it.
    const SqlEngine &engine = *m_link.engine();
    const QString from =
        QStringLiteral("%1 AS p %2").arg(quoted(m_tableName), engine.indexedBy(info.name));
    const bool forward = kind == Query::NextSameKey || kind == Query::NextGreaterKey;
    const bool backward = kind == Query::PriorSameKey || kind == Query::PriorLesserKey;
    // Each is 0 (none), 1 (one of another key), 2 (one of the same key) or 3 (one).
    for (const bool before : {true, false}) {
        if (before && (kind == Query::First || forward))
            columns << (forward ? QStringLiteral("3") : QStringLiteral("0"));
        else if (!before && (kind == Query::Last || backward))
            columns << (backward ? QStringLiteral("3") : QStringLiteral("0"));
        else
            columns << QStringLiteral("CASE WHEN EXISTS (SELECT 1 FROM %1WHERE p.%2 = c.%2 AND "
                                      "p.id %3 c.id) THEN 2 WHEN %4 THEN 1 ELSE 0 END")
                           .arg(from, key, before ? QStringLiteral("<") : QStringLiteral(">"),
                                engine.anyKeyBeyond(from, key, before));
    }
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
    const auto select = [&](Query kind) {
        return QStringLiteral("SELECT %1 FROM %2 AS c ")
            .arg(selectList(index, kind), quoted(m_tableName));
    };
    const auto indexed = [&](Query kind) {
        return select(kind) + m_link.engine()->indexedBy(info.name);
    };
    const QString ascending = QStringLiteral(" ORDER BY %1, c.id LIMIT 1").arg(key);
    const QString descending = QStringLiteral(" ORDER BY %1 DESC, c.id DESC LIMIT 1").arg(key);
    // Where a row-value comparison seeks the index (a server), the same-key queries take
    // the rows of the keys beyond as well: a move is then one statement, not two, each
    // a round trip to the server.
    const QString sameKey = m_link.engine()->rowValueSeeks()
                                ? QStringLiteral("WHERE (%1, c.id) %2 (?, ?)")
                                : QStringLiteral("WHERE %1 = ? AND c.id %2 ?");
    // In the order of TTable::Query.
    const QString sql[kQueryKinds] = {
        indexed(Query::First) + ascending,
        indexed(Query::Last) + descending,
        indexed(Query::NextSameKey) + sameKey.arg(key, QStringLiteral(">")) + ascending,
        indexed(Query::NextGreaterKey) + QStringLiteral("WHERE %1 > ?").arg(key) + ascending,
        indexed(Query::PriorSameKey) + sameKey.arg(key, QStringLiteral("<")) + descending,
        indexed(Query::PriorLesserKey) + QStringLiteral("WHERE %1 < ?").arg(key) + descending,
        indexed(Query::Nearest) + QStringLiteral("WHERE %1 >= ?").arg(key) + ascending,
        select(Query::ById) + QStringLiteral("WHERE c.id = ?"),
    };
    for (int kind = 0; kind < kQueryKinds; ++kind) {
        auto query =
            std::make_unique<BulkStatement>(m_link.db(), sql[kind], BulkStatement::Use::Persistent);
        if (!query->ok())
            m_link.fail(query->error());
        prepared->queries[kind] = std::move(query);
    }
    slot = std::move(prepared);
    return *slot;
}

bool TTable::fetchOnce(Query kind, Row *row, qint64 id, const QByteArray &key, bool *keyMissing)
{
    BulkStatement &query = *statements(m_index).queries[static_cast<int>(kind)];
    // The key (bound without a copy: it outlives the run) comes before the id.
    int position = 0;
    if (kind != Query::First && kind != Query::Last && kind != Query::ById)
        query.bind(position++, key);
    if (kind == Query::NextSameKey || kind == Query::PriorSameKey || kind == Query::ById)
        query.bind(position, id);
    // The statement is reset however this ends, so that no read stays open on the file.
    const auto reset = qScopeGuard([&] {
        query.rewind();
        m_dataVersion = query.dataVersion();
    });
    if (!query.next()) {
        if (!query.ok())
            m_link.fail(query.error());
        return false;
    }
    const int fieldCount = m_fields.size();
    const int keyCount = m_keyedFields.size();
    row->id = query.integer(0);
    row->values.resize(fieldCount);
    for (int i = 0; i < fieldCount; ++i)
        row->values[i] = query.text(1 + i);
    row->keys.resize(keyCount);
    row->keyMissing = false;
    for (int slot = 0; slot < keyCount; ++slot) {
        row->keys[slot] = query.blob(1 + fieldCount + slot);
        if (row->keys[slot].isNull())
            row->keyMissing = true;
    }
    const qint64 prior = query.integer(1 + fieldCount + keyCount);
    const qint64 next = query.integer(2 + fieldCount + keyCount);
    row->hasPrior = prior != 0;
    row->hasNext = next != 0;
    row->priorOtherKey = prior == 1;
    row->nextOtherKey = next == 1;
    row->version = query.dataVersion();
    *keyMissing = row->keyMissing;
    return true;
}

bool TTable::fetch(Query kind, Row *row, qint64 id, const QByteArray &key)
{
    bool keyMissing = false;
    bool found = fetchOnce(kind, row, id, key, &keyMissing);
    if (found && keyMissing) {
        // Another program wrote this row since the keys were last repaired.
        repairKeys();
        found = fetchOnce(kind, row, id, key, &keyMissing);
    }
    return found;
}

bool TTable::fetchNext(const Row &from, Row *row)
{
    const QByteArray key = currentKey(from);
    // With no record of its key after the one moved from, and nothing written since it
    // was read, the next is the first of a greater key: one seek instead of two.
    if (from.nextOtherKey && from.version) {
        const bool found = fetch(Query::NextGreaterKey, row, 0, key);
        if (m_dataVersion == from.version)
            return found;
    }
    return fetch(Query::NextSameKey, row, from.id, key) ||
           fetch(Query::NextGreaterKey, row, 0, key);
}

bool TTable::fetchPrior(const Row &from, Row *row)
{
    const QByteArray key = currentKey(from);
    if (from.priorOtherKey && from.version) {
        const bool found = fetch(Query::PriorLesserKey, row, 0, key);
        if (m_dataVersion == from.version)
            return found;
    }
    return fetch(Query::PriorSameKey, row, from.id, key) ||
           fetch(Query::PriorLesserKey, row, 0, key);
}

void TTable::forEachRecord(const std::function<bool(const QStringList &values)> &visit)
{
    walkRecords(false,
                [&](const QStringList &values, const ContactExtras &) { return visit(values); });
}

void TTable::forEachRecordWithExtras(
    const std::function<bool(const QStringList &values, const ContactExtras &extras)> &visit)
{
    walkRecords(true, visit);
}

void TTable::walkRecords(
    bool withExtras,
    const std::function<bool(const QStringList &values, const ContactExtras &extras)> &visit)
{
    requireActive();
    m_link.requireSameFile();
    repairKeys(); // rows another program wrote take their place in the order first
    withExtras = withExtras && hasDetails();
    const IndexInfo &info = m_indexes[m_index];
    QStringList columns;
    for (const QString &field : m_fields)
        columns << QStringLiteral("c.") + quoted(field);
    const QString key =
        QStringLiteral("c.") + quoted(ContactSchema::keyColumn(m_keyedFields[info.keySlot]));
    QString card;
    QSet<qint64> withDetails;
    // A server answers one statement of a connection at a time, so none may be asked while
    // the pass's rows still come in: there the further values are read before the pass.
    QHash<qint64, QList<ContactDetail>> details;
    // The cards are read in the index's order, not theirs: with the default page cache
    // every card's page would be read from the file again.
    const SqlEngine &engine = *m_link.engine();
    const QVariant cache = withExtras ? engine.enlargeCache(m_link.db()) : QVariant();
    const auto restoreCache = qScopeGuard([&] {
        if (withExtras)
            engine.restoreCache(m_link.db(), cache);
    });
    if (withExtras) {
        columns << QStringLiteral("c.id, k.uid, k.rev, k.kept");
        card = QStringLiteral("LEFT JOIN %1 AS k ON k.id = c.id ")
                   .arg(quoted(ContactDetails::cardTable(m_tableName)));
        if (engine.inFile())
            withDetails = m_detailStore->contactsWithDetails();
        else
            m_detailStore->forEachDetails(
                [&](qint64 id, const QList<ContactDetail> &of) { details.insert(id, of); });
    }
    BulkStatement query(m_link.db(),
                        QStringLiteral("SELECT %1 FROM %2 AS c %3%4ORDER BY %5, c.id")
                            .arg(columns.join(QStringLiteral(", ")), quoted(m_tableName),
                                 m_link.engine()->indexedBy(info.name), card, key));
    if (!query.ok())
        m_link.fail(query.error());
    QStringList values;
    ContactExtras extras;
    const int fieldCount = int(m_fields.size());
    while (query.next()) {
        values.clear();
        for (int i = 0; i < fieldCount; ++i)
            values << query.text(i);
        if (withExtras) {
            const qint64 id = query.text(fieldCount).toLongLong();
            extras.uid = query.text(fieldCount + 1);
            extras.revision = query.text(fieldCount + 2);
            extras.kept = query.text(fieldCount + 3);
            extras.details =
                withDetails.contains(id) ? m_detailStore->readDetails(id) : details.value(id);
        }
        if (!visit(values, extras))
            return;
    }
    if (!query.ok())
        m_link.fail(query.error());
}

void TTable::repairKeys()
{
    if (m_link.readOnly())
        return;
    try {
        KeyRepair::repair(m_link.db(), m_tableName, m_keyedFields, m_rebuildProgress);
    } catch (const DatabaseError &error) {
        qWarning("Kartax2000: nie można naprawić porządku alfabetycznego bazy %s: %s",
                 qPrintable(path()), qPrintable(error.message()));
    }
    try {
        SearchIndex::repair(m_link.db(), m_tableName);
    } catch (const DatabaseError &error) {
        qWarning("Kartax2000: nie można uaktualnić indeksu wyszukiwania bazy %s: %s",
                 qPrintable(path()), qPrintable(error.message()));
    }
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
        // A move tells one neighbour by the record it came from, which is gone here.
        fetch(Query::ById, &row, row.id);
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
        if (fetch(Query::ById, &row, m_current.id))
            setCurrent(row);
    }
}

void TTable::first()
{
    requireBrowseMovable();
    Row row;
    if (fetch(Query::First, &row)) {
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
    if (fetch(Query::Last, &row)) {
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
    QSqlQuery query(m_link.db());
    if (!query.exec(QStringLiteral("SELECT count(*) FROM %1").arg(quoted(m_tableName))) ||
        !query.next())
        m_link.fail(query.lastError());
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

void TTable::refresh()
{
    requireActive();
    reconnectIfLost();
    checkBrowseMode();
    repairKeys();
    Row row;
    if (!m_empty && fetch(Query::ById, &row, m_current.id)) {
        setCurrent(row);
    } else if (!m_empty) {
        repositionNear(m_current);
    } else if (fetch(Query::First, &row)) {
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
    if (fetch(Query::Nearest, &row, 0, key) || fetch(Query::Last, &row)) {
        setCurrent(row);
        m_bof = m_eof = false;
    } else {
        setEmpty();
    }
    notifyDataSetChanged();
}
