#pragma once

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <optional>

#include "store/contact_details.h"

class QSqlQuery;
class TableBatch;

// The journal of the last import into a contact table, written in the import's own
// transaction so that the import can be undone: what it was ("<table>_import": when,
// which file, how many added and updated), the ids it added as runs of consecutive
// ids ("<table>_import_added") and, per contact it updated, its values and extras
// before and after ("<table>_import_updated"). A new import replaces it. Failures raise
// DatabaseError.
class ImportJournal final
{
public:
    // `fields` are the table's fields in its order (TTable::fieldNames()).
    ImportJournal(const QSqlDatabase &db, const QString &table, const QStringList &fields);
    ~ImportJournal();
    ImportJournal(const ImportJournal &) = delete;
    ImportJournal &operator=(const ImportJournal &) = delete;

    struct Summary
    {
        QDateTime at; // UTC
        QString file;
        qint64 added = 0;
        qint64 updated = 0;
    };
    // The last import, when a journal of it is kept.
    std::optional<Summary> summary();

    // While an import writes, in its transaction: the first call replaces the journal
    // of the import before. An import that adds and updates nothing leaves it.
    void added(qint64 id);
    void updated(qint64 id, const QStringList &beforeValues, const ContactExtras &before,
                 const QStringList &afterValues, const ContactExtras &after);
    // Writes what is left and the summary; before the import commits.
    void finish(const QString &file);

    struct Undone
    {
        qint64 removed = 0;
        qint64 restored = 0;
        QStringList changedSince; // the names of the contacts changed since, left as they are
    };
    // Undoes the import through the batch: removes what it added (kept among the deleted
    // contacts) and puts back what it updated, except contacts changed since (an added
    // one edited after the import, an updated one whose values or extras differ from
    // those the import left); then clears the journal.
    Undone undo(TableBatch &batch);
    // Drops the journal.
    void clear();

private:
    void ensure();
    void start();
    void flushRun();
    QSqlQuery run(const QString &sql, const QVariantList &binds = {});
    QString name(const char *suffix) const;

    QSqlDatabase m_db;
    QString m_table;
    QStringList m_fields;
    bool m_started = false;
    qint64 m_runFirst = -1; // the run of added ids not yet written
    qint64 m_runLast = -1;
    qint64 m_added = 0;
    qint64 m_updated = 0;
};
