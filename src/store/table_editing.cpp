#include "store/table.h"

#include "platform/errors.h"
#include "store/contact_details.h"
#include "store/contact_schema.h"
#include "store/deleted_contacts.h"
#include "store/search_index.h"
#include "store/sort_key.h"
#include "store/sql_engine.h"
#include "store/sql_text.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

// Editing, inserting, posting and deleting the record on the card.

namespace {

using SqlText::quoted;

constexpr char kChangedByOther[] =
    "Rekord został zmieniony przez innego użytkownika, odkąd go odczytano.";

} // namespace

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

QSqlQuery &TTable::postStatement(std::unique_ptr<QSqlQuery> &slot, const QString &sql)
{
    if (!slot) {
        auto query = std::make_unique<QSqlQuery>(m_link.db());
        if (!query->prepare(sql))
            m_link.fail(query->lastError());
        slot = std::move(query);
    }
    return *slot;
}

bool TTable::rowExists(qint64 id) const
{
    QSqlQuery query(m_link.db());
    query.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE id = ?").arg(quoted(m_tableName)));
    query.addBindValue(id);
    if (!query.exec())
        m_link.fail(query.lastError());
    return query.next();
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
    m_link.requireWritable();
    if (m_state == DataSetState::SetKey)
        m_state = DataSetState::Browse;
    if (m_empty) {
        insert(); // editing an empty table starts a new record
        return;
    }
    m_buffer = m_current.values;
    m_detailsBuffer.reset();
    m_modified = false;
    setState(DataSetState::Edit);
}

void TTable::insert()
{
    requireActive();
    m_link.requireWritable();
    checkBrowseMode();
    m_beforeInsert = m_current;
    m_buffer = QVector<QString>(m_fields.size());
    m_detailsBuffer.reset();
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

    if (!m_postStatements)
        m_postStatements = std::make_unique<PostStatements>();
    QSqlQuery *statement = nullptr;
    if (inserting) {
        QStringList marks;
        marks.fill(QStringLiteral("?"), columns.size());
        statement = &postStatement(m_postStatements->insert,
                                   QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)%4")
                                       .arg(quoted(m_tableName), columns.join(QStringLiteral(", ")),
                                            marks.join(QStringLiteral(", ")),
                                            m_link.engine()->returningId()));
    } else {
        values << m_current.id;
        const QString unchanged = storedValuesMatch(&values);
        statement = &postStatement(
            m_postStatements->update,
            QStringLiteral("UPDATE %1 SET %2 = ? WHERE id = ?%3")
                .arg(quoted(m_tableName), columns.join(QStringLiteral(" = ?, ")), unchanged));
    }
    QSqlQuery &write = *statement;
    for (int i = 0; i < values.size(); ++i)
        write.bindValue(i, values[i]);

    m_link.requireSameFile();
    const auto rollbackAndFail = [this](const QSqlError &error) {
        m_link.db().rollback();
        m_link.failWrite(error);
    };
    // An update on a server writes the row's keys and search text unmarked (its indexes
    // follow the text), and tells the listening programs as it commits: fewer
    // statements to wait for.
    const QString ownBegin = inserting ? QString() : m_link.engine()->ownUpdateBegin();
    const bool own = !ownBegin.isEmpty();
    if (own) {
        QSqlQuery begin(m_link.db());
        if (!begin.exec(ownBegin))
            rollbackAndFail(begin.lastError());
    } else if (!m_link.db().transaction()) {
        m_link.failWrite(m_link.db().lastError());
    }
    if (!write.exec()) {
        const QSqlError error = write.lastError();
        write.finish();
        rollbackAndFail(error);
    }
    if (!inserting && write.numRowsAffected() == 0) {
        write.finish();
        const bool changedByOther = rowExists(m_current.id);
        m_link.db().rollback();
        if (changedByOther)
            throw DatabaseError(QString::fromUtf8(kChangedByOther) +
                                QStringLiteral(" Zmian nie zapisano: anuluj edycję, aby zobaczyć "
                                               "zapisany rekord, i wprowadź je ponownie."));
        throw DatabaseError(QStringLiteral("Rekordu nie ma już w bazie danych; został usunięty."));
    }
    qint64 id = m_current.id;
    if (inserting)
        id = m_link.engine()->insertedId(write);
    write.finish();
    QStringList searchValues;
    for (const QString &field : ContactSchema::fieldNames()) {
        const int i = fieldIndex(field);
        searchValues << (i < 0 ? QString() : m_buffer[i]);
    }
    try {
        QList<ContactDetail> details;
        if (m_detailsBuffer) {
            details = *m_detailsBuffer;
            m_detailStore->writeDetails(id, details);
        } else if (!inserting) {
            details = m_detailStore->readDetails(id);
        }
        searchValues =
            ContactDetails::searchValues(ContactSchema::fieldNames(), searchValues, details);
        if (own)
            m_searchWriter->writeTextOnly(id, SearchIndex::columnTexts(searchValues));
        else
            m_searchWriter->write(id, searchValues);
    } catch (const DatabaseError &) {
        m_link.db().rollback();
        throw;
    }
    if (m_bookkeeping && !own) {
        // The triggers marked the row; its keys are written, so clear the mark.
        QSqlQuery &unmark = postStatement(m_postStatements->unmark,
                                          QStringLiteral("DELETE FROM %1 WHERE id = ?")
                                              .arg(quoted(ContactSchema::dirtyTable(m_tableName))));
        unmark.bindValue(0, id);
        const bool unmarked = unmark.exec();
        const QSqlError error = unmark.lastError();
        unmark.finish();
        if (!unmarked)
            rollbackAndFail(error);
    }
    if (own) {
        QSqlQuery commit(m_link.db());
        if (!commit.exec(m_link.engine()->notifyChanged(m_tableName, {id}) +
                         QStringLiteral("; COMMIT")))
            rollbackAndFail(commit.lastError());
    } else if (!m_link.db().commit()) {
        rollbackAndFail(m_link.db().lastError());
    }

    m_state = DataSetState::Browse;
    m_modified = false;
    m_buffer.clear();
    m_detailsBuffer.reset();
    Row row;
    if (fetch(Query::ById, &row, id))
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
        if (fetch(Query::ById, &row, m_current.id))
            setCurrent(row);
        else
            repositionNear(m_current);
        break;
    }
    case DataSetState::Insert:
        if (m_beforeInsert.id >= 0) {
            Row row;
            if (fetch(Query::ById, &row, m_beforeInsert.id))
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
    m_detailsBuffer.reset();
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
    m_link.requireWritable();
    m_link.requireSameFile();
    reconnectIfLost();
    QSqlQuery remove(m_link.db());
    QVariantList binds{m_current.id};
    const QString unchanged = storedValuesMatch(&binds);
    // The search index's delete trigger drops the row from it within this statement.
    remove.prepare(
        QStringLiteral("DELETE FROM %1 WHERE id = ?%2").arg(quoted(m_tableName), unchanged));
    for (int i = 0; i < binds.size(); ++i)
        remove.bindValue(i, binds[i]);
    // The contact is kept among the deleted ones in the deleting transaction: kept only
    // when deleted.
    if (!m_link.db().transaction())
        m_link.failWrite(m_link.db().lastError());
    try {
        DeletedContacts(m_link.db(), m_tableName, m_fields).keep(m_current.id);
    } catch (const DatabaseError &) {
        m_link.db().rollback();
        throw;
    }
    if (!remove.exec()) {
        const QSqlError error = remove.lastError();
        m_link.db().rollback();
        m_link.failWrite(error);
    }
    if (remove.numRowsAffected() == 0) {
        remove.finish();
        m_link.db().rollback();
        if (rowExists(m_current.id))
            throw DatabaseError(QString::fromUtf8(kChangedByOther) +
                                QStringLiteral(" Nie został usunięty."));
    } else {
        remove.finish();
        if (!m_link.db().commit()) {
            const QSqlError error = m_link.db().lastError();
            m_link.db().rollback();
            m_link.failWrite(error);
        }
    }
    const Row gone = m_current;
    const bool wasEditing = editing();
    m_state = DataSetState::Browse;
    m_modified = false;
    m_buffer.clear();
    m_detailsBuffer.reset();
    repositionNear(gone);
    if (wasEditing)
        emit stateChanged();
    notifyDataSetChanged();
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

QList<ContactDetail> TTable::details() const
{
    if (m_detailsBuffer && editing())
        return *m_detailsBuffer;
    if (!active() || m_empty || m_state == DataSetState::Insert)
        return {};
    return m_detailStore->readDetails(m_current.id);
}

void TTable::setDetails(const QList<ContactDetail> &details)
{
    if (!editing())
        throw DatabaseError(QStringLiteral("Rekord nie jest edytowany ani dodawany."));
    if (!hasDetails())
        throw DatabaseError(QStringLiteral(
            "Ta baza danych nie przechowuje dalszych danych kontaktów (otwarto ją tylko do "
            "odczytu)."));
    if (details == this->details())
        return;
    m_detailsBuffer = details;
    m_modified = true;
    emit detailsChanged();
}

bool TTable::hasDetails() const
{
    return m_detailStore && m_detailStore->available();
}

ContactExtras TTable::extras() const
{
    if (!active() || m_empty || m_state == DataSetState::Insert)
        return {};
    ContactExtras extras = m_detailStore->read(m_current.id);
    if (m_detailsBuffer && editing())
        extras.details = *m_detailsBuffer;
    return extras;
}

DetailStore &TTable::detailStore() const
{
    requireActive();
    return *m_detailStore;
}
