#include "store/background_checkpoint.h"

#include <QtGlobal>
#include <sqlite3.h>

namespace {

void checkpoint(const QByteArray &path, int busyTimeoutMs)
{
    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, busyTimeoutMs);
        // A connection learns that the file keeps a log when it first reads it.
        rc = sqlite3_exec(db, "PRAGMA schema_version", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            rc =
                sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    }
    if (rc != SQLITE_OK)
        qWarning("Kartax2000: the write-ahead log of %s stays to be copied later: %s",
                 path.constData(), db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    sqlite3_close(db);
}

} // namespace

BackgroundCheckpoint::BackgroundCheckpoint(const QString &path, int busyTimeoutMs)
    : m_thread(checkpoint, path.toUtf8(), busyTimeoutMs)
{
}

BackgroundCheckpoint::~BackgroundCheckpoint()
{
    m_thread.join();
}
