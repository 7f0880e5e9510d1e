#pragma once

#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class SearchIndexWriter;
class TTable;

// Many rows written into an open table in one transaction on its connection, with
// their sort keys and search text: nothing is seen by others until commit(), and a batch that is
// rolled back or destroyed uncommitted leaves the file as it was. The table's cursor
// does not move; the caller positions it after the commit. Failures raise
// DatabaseError with the engine's message.
class TableBatch final
{
public:
    // Ends an edit of the table (posting it when changed) and begins the transaction.
    explicit TableBatch(TTable &table);
    ~TableBatch();
    TableBatch(const TableBatch &) = delete;
    TableBatch &operator=(const TableBatch &) = delete;

    // Values in the table's field order; returns the new row's id.
    qint64 insert(const QStringList &values);
    // Replaces every value of the row with this id.
    void update(qint64 id, const QStringList &values);
    // The stored values of a row, in table field order; empty when there is no such row.
    QStringList values(qint64 id);
    // Calls `visit` with the id and the named fields of every row, in id order.
    void forEachRow(const QStringList &fields,
                    const std::function<void(qint64 id, const QStringList &values)> &visit);

    void commit();
    void rollback();

private:
    std::unique_ptr<QSqlQuery> prepare(const QString &sql);
    QSqlQuery &statement(const std::unique_ptr<QSqlQuery> &query);
    void bindRow(QSqlQuery &query, const QStringList &values);
    void unmark(qint64 id);
    void finishStatements();
    void writeSearchText(qint64 id, const QStringList &values);

    TTable &m_table;
    QStringList m_columns; // the fields, then their sort-key columns
    bool m_open = false;
    qint64 m_firstInserted = -1;
    std::unique_ptr<QSqlQuery> m_insert;
    std::unique_ptr<QSqlQuery> m_update;
    std::unique_ptr<QSqlQuery> m_select;
    std::unique_ptr<QSqlQuery> m_unmark;
    std::unique_ptr<SearchIndexWriter> m_search;
};
