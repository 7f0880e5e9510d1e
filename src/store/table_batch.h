#pragma once

#include <QSet>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "store/contact_details.h"

class BulkStatement;
class BulkStatements;
class DeletedContacts;
class QSqlDatabase;
class SearchIndexWriter;
class SqlEngine;
class TableConnection;
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

    // A row's values in the table's field order with what is derived from them, its
    // sort keys and search text; texts in UTF-8, as they are stored. prepare() reads no
    // database and changes nothing, so another thread may prepare rows while this one
    // writes.
    struct Prepared
    {
        QList<QByteArray> values; // a null value stays NULL
        QList<QByteArray> keys;
        QList<QByteArray> searchText;
        // What a new row holds beside its fields: per further value its kind, type,
        // label and value in turn; its UID (one made when none is given; insert() makes
        // one for a row whose UID was cleared) and kept vCard lines.
        QList<QByteArray> details;
        QByteArray uid;
        QByteArray kept;
    };
    Prepared prepare(const QStringList &values) const { return prepare(values, {}); }
    // The same for a row with further values, which its search text takes in, a UID and
    // kept vCard lines.
    Prepared prepare(const QStringList &values, const ContactExtras &extras) const;

    // Returns the new row's id. The row's card and further values go in with it.
    qint64 insert(const Prepared &row);
    qint64 insert(const QStringList &values) { return insert(prepare(values)); }
    // Replaces every value of the row with this id; its search text takes in the row's
    // stored further values, so writeExtras() goes first when they change too.
    void update(qint64 id, const QStringList &values);
    // Puts a contact back as it was: with this id, these values and everything beside
    // them (UID, revision, kept lines, further values), inserted when no row has the id
    // and replacing the row's values and extras when one has. Backups, the deleted
    // contacts and the undo of an import bring contacts back this way, so that the
    // history file's lines and the sync still refer to them.
    void restore(qint64 id, const QStringList &values, const ContactExtras &extras);
    // Deletes the row with this id, with its further values and card, keeping it among
    // the deleted contacts; false when no row has it.
    bool remove(qint64 id);
    // Replaces the further values of a row and, when given, sets its UID and kept
    // properties; a new row without any needs no call.
    void writeExtras(qint64 id, const ContactExtras &extras);
    // The further values and card data of a row, as stored now.
    ContactExtras extras(qint64 id);
    // The further values and card data of the table on this batch's connection.
    DetailStore &detailStore();

    // The stored values of a row, in table field order; empty when there is no such row.
    QStringList values(qint64 id);
    // Calls `visit` with the id and the named fields of every row, in id order.
    void forEachRow(const QStringList &fields,
                    const std::function<void(qint64 id, const QStringList &values)> &visit);

    // Indexes the search text of all the rows inserted so far when enough of it waits:
    // for a caller that would otherwise wait, as for the next rows of a file.
    void indexWaitingText();

    // Indexes what waits, makes the set-aside indexes again and commits. `progress`, when
    // given, hears the per cent done now and then; returning false rolls the batch back
    // and commit() returns false.
    bool commit(const std::function<bool(int percent)> &progress = {});
    void rollback();

private:
    static const SqlEngine &requireEngine(const TTable &table); // raises on a closed table
    TableConnection &link();
    QSqlDatabase &db();
    std::unique_ptr<QSqlQuery> prepare(const QString &sql);
    std::unique_ptr<BulkStatement> bulk(const QString &sql);
    void requireOpen() const;
    QSqlQuery &statement(const std::unique_ptr<QSqlQuery> &query);
    void unmark(qint64 id);
    // A new row with the id it is written under.
    struct NewRow
    {
        qint64 id;
        const Prepared *row;
    };
    void writeRows(std::span<const NewRow> rows);
    void writeCards(std::span<const NewRow> rows, const QByteArray &revision);
    void finishStatements();
    void writeSearchText(qint64 id, const QStringList &values);
    void indexSearchText(qint64 to);
    void setAsideIndexesIfLarge();
    qint64 takeId();
    void writeWaiting();

    // Rows whose search text is indexed at once: the index grows by a part per
    // statement, and fewer, larger parts cost less to write and to merge.
    static constexpr qint64 kIndexStretch = 25000;
    // The rows that must wait before indexWaitingText() indexes them, all at once: the
    // fewer its statements, the fewer parts to merge. Meanwhile the caller's reader goes
    // on filling its queue.
    static constexpr qint64 kWaitingStretch = 4096;
    // Rows inserted after which a batch weighs whether to set the table's indexes aside.
    static constexpr qint64 kLargeBatch = 4096;

    TTable &m_table;
    const SqlEngine &m_engine;
    QStringList m_columns; // the fields, then their sort-key columns
    QList<int> m_keyedFieldIndexes;
    bool m_open = false;
    QVariant m_cacheSize;      // the connection's own page cache, restored at the end
    QSet<qint64> m_changedIds; // rows updated or deleted, told to listeners at the commit
    qint64 m_firstInserted = -1;
    qint64 m_unindexed = -1; // the first inserted row whose search text is not indexed
    qint64 m_lastInserted = -1;
    qint64 m_inserted = 0;
    qint64 m_updated = 0;
    std::unique_ptr<BulkStatement> m_insert;
    std::unique_ptr<BulkStatements> m_insertsWithId; // rows whose ids are known
    std::unique_ptr<QSqlQuery> m_remove;             // made when remove() is first called
    std::unique_ptr<BulkStatement> m_update;
    std::unique_ptr<BulkStatements> m_insertCards; // while the table keeps cards
    std::unique_ptr<BulkStatements> m_insertDetails;
    QByteArray m_now;              // the revision of the rows the batch writes
    QStringList m_setAside;        // statements that make the set-aside triggers again
    QStringList m_setAsideIndexes; // and the set-aside indexes
    std::unique_ptr<QSqlQuery> m_select;
    std::unique_ptr<QSqlQuery> m_unmark;
    std::unique_ptr<SearchIndexWriter> m_search;
    std::unique_ptr<DetailStore> m_details;
    std::unique_ptr<DeletedContacts> m_deleted; // made when remove() is first called
    // Where each statement is a round trip, new rows wait to be written a group at a
    // time with ids taken beforehand; any other call writes them first.
    struct Waiting
    {
        qint64 id;
        Prepared row;
    };
    int m_groupRows = 1;
    std::vector<Waiting> m_waiting;
    std::vector<qint64> m_ids; // taken and not yet given, ascending
    std::size_t m_nextId = 0;
};
