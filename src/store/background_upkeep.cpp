#include "store/background_upkeep.h"

#include <QtGlobal>
#include <sqlite3.h>

namespace {

QByteArrayList utf8(const QStringList &statements)
{
    QByteArrayList list;
    for (const QString &sql : statements)
        list << sql.toUtf8();
    return list;
}

// A connection's statements in turn, each reporting its failure once.
class Connection
{
public:
    Connection(const QByteArray &path, int busyTimeoutMs) : m_path(path)
    {
        m_rc = sqlite3_open_v2(path.constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        if (m_rc != SQLITE_OK) {
            warn("cannot be opened for upkeep");
            return;
        }
        sqlite3_busy_timeout(m_db, busyTimeoutMs);
        // A connection learns that the file keeps a log when it first reads it. Only
        // the index's arrangement changes here: a step that a crash loses is merged again.
        run("PRAGMA schema_version") && run("PRAGMA synchronous = NORMAL");
    }
    ~Connection() { sqlite3_close(m_db); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool ok() const { return m_rc == SQLITE_OK; }
    sqlite3 *handle() const { return m_db; }

    bool run(const char *sql)
    {
        if (!ok())
            return false;
        m_rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
        return ok();
    }

    // The statements in one transaction; false, rolled back, when any fails.
    bool transaction(const QByteArrayList &statements)
    {
        if (!run("BEGIN IMMEDIATE"))
            return false;
        for (const QByteArray &sql : statements)
            if (!run(sql.constData()))
                break;
        if (ok() && run("COMMIT"))
            return true;
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }

    void warn(const char *what) const
    {
        qWarning("Kartax2000: %s %s: %s", m_path.constData(), what,
                 m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(m_rc));
    }

    // Lets a failed step's successor try again after a failure reported.
    void clear() { m_rc = m_db ? SQLITE_OK : m_rc; }

private:
    QByteArray m_path;
    sqlite3 *m_db = nullptr;
    int m_rc = SQLITE_OK;
};

void upkeep(const QByteArray &path, int busyTimeoutMs, const QByteArrayList &steps,
            const QByteArrayList &afterMerge, const std::atomic<bool> &stop)
{
    Connection db(path, busyTimeoutMs);
    if (!db.ok())
        return;
    // A merge step that did work changes two rows or more.
    for (bool working = !steps.isEmpty(); working && !stop;) {
        working = false;
        for (const QByteArray &step : steps) {
            const int before = sqlite3_total_changes(db.handle());
            if (!db.transaction({step})) {
                db.warn("keeps its search index unmerged for now");
                db.clear();
                working = false;
                break;
            }
            working = working || sqlite3_total_changes(db.handle()) - before >= 2;
        }
    }
    if (!afterMerge.isEmpty() && !db.transaction(afterMerge)) {
        db.warn("keeps its search index's settings for many rows for now");
        db.clear();
    }
    if (sqlite3_wal_checkpoint_v2(db.handle(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr,
                                  nullptr) != SQLITE_OK)
        qWarning("Kartax2000: the write-ahead log of %s stays to be copied later: %s",
                 path.constData(), sqlite3_errmsg(db.handle()));
}

} // namespace

BackgroundUpkeep::BackgroundUpkeep(const QString &path, int busyTimeoutMs,
                                   const QStringList &mergeSteps, const QStringList &afterMerge)
    : m_thread(upkeep, path.toUtf8(), busyTimeoutMs, utf8(mergeSteps), utf8(afterMerge),
               std::cref(m_stop))
{
}

BackgroundUpkeep::~BackgroundUpkeep()
{
    m_stop = true;
    m_thread.join();
}
