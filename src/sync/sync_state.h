#pragma once

#include <QByteArray>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include "store/sql_text.h"

// One card both sides know: where it lies, its ETag and the version both last agreed on.
struct SyncRow
{
    QString href;    // the card's path on the server, decoded
    QByteArray etag; // as the server sent it; empty when its answer carried none
    QByteArray base; // the agreed version as SyncState::key() renders it
};

// The sync's state beside a contact table: "<table>_sync" (uid, href, etag, base) and
// "<table>_sync_meta" (name, value: the book, the sync token, the lock). Writes run in the
// caller's transaction when there is one. Failures raise DatabaseError with the engine's
// message.
class SyncState final
{
public:
    SyncState(const QSqlDatabase &db, const QString &table);

    // Creates the tables when missing.
    void ensure();

    QHash<QString, SyncRow> rows(); // by UID
    void write(const QString &uid, const SyncRow &row);
    void remove(const QString &uid);
    // Forgets every card: the next sync is a first one.
    void clear();

    QString meta(const QString &name);
    void setMeta(const QString &name, const QString &value);

    // The lock: taken when free or older than kLockAge, as one conditional update, so two
    // programs can never both hold it. `holder` is the caller's own random id.
    bool tryLock(const QString &holder);
    // Refreshes the lock's time; false when another program has taken it meanwhile.
    bool heartbeat(const QString &holder);
    void unlock(const QString &holder);
    static constexpr qint64 kLockAge = 120000; // milliseconds

    void begin();
    void commit();
    void rollback();

private:
    QSqlQuery run(const QString &sql, const QVariantList &binds = {})
    {
        return SqlText::exec(m_db, sql, binds);
    }
    bool swapLock(const QString &from, const QString &to);

    QSqlDatabase m_db;
    QString m_rowsName;
    QString m_metaName;
    QString m_rows; // the names quoted

    QString m_meta;
};
