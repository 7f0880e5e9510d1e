#pragma once

#include <QString>
#include <QUrl>
#include <functional>

#include "sync/dav_client.h"

class TTable;

// Where and as whom a sync runs.
struct SyncTarget
{
    QUrl book; // the address book collection
    QString user;
    QString password;
    int timeout = 30000; // milliseconds without an answer
    int parallel = 6;    // uploads at once
};

// What one sync did, as "wysłano N, pobrano M, usunięto K, konflikty L" tells it.
struct SyncReport
{
    int sent = 0;      // cards uploaded (new or changed)
    int received = 0;  // contacts added or changed from the server
    int deleted = 0;   // contacts and cards deleted, on either side
    int conflicts = 0; // conflict copies kept
    int paired = 0;    // first sync: contacts taken for cards already on the server
    int deferred = 0;  // server changes to records open for editing, left for the next sync
    bool firstSync = false;
    DavError error; // what stopped it; the work done before stays done
    // One line in Polish: "wysłano 3, pobrano 1, usunięto 0, konflikty 0".
    QString summary() const;
};

// What a sync is about to do, for the user to agree to before anything is deleted.
struct SyncPlan
{
    bool firstSync = false;
    int serverCards = 0;
    int localContacts = 0;
    int paired = 0; // first sync: the same contact on both sides
    int toSend = 0;
    int toReceive = 0;
    int toDeleteLocal = 0;
    int toDeleteRemote = 0;
    // Why no copy of the book could be kept before a first sync; empty when one was.
    QString backupProblem;
    // In Polish, several lines, the counts above.
    QString describe() const;
};

// Two-way sync of the open contact table with one CardDAV address book. The state
// (each card's address, ETag and the version both sides last agreed on, the sync token)
// lives in tables beside the contacts, so whichever copy of the program opens the book
// next continues it; a lock row there lets one copy sync at a time. Runs on the thread
// that owns `table` (a table of its own, not the windows' cursor).
class CardDavSync final
{
public:
    explicit CardDavSync(TTable &table);
    ~CardDavSync();
    CardDavSync(const CardDavSync &) = delete;
    CardDavSync &operator=(const CardDavSync &) = delete;

    // A record that an open edit holds: a server change to it waits for the next sync.
    // Called from the sync's thread.
    void setBusy(std::function<bool(qint64 id)> busy) { m_busy = std::move(busy); }
    // Hears how far the sync got (per cent) and what it does, in Polish; false cancels.
    void setProgress(std::function<bool(int percent, const QString &step)> progress)
    {
        m_progress = std::move(progress);
    }
    // Asked before a first sync and before one that deletes many contacts; false
    // stops the sync before it changes anything (the report's error says so).
    void setConfirm(std::function<bool(const SyncPlan &plan)> confirm)
    {
        m_confirm = std::move(confirm);
    }
    // Whether to wait for another copy's sync to end (true) or fail at once saying so.
    void setWaitForLock(bool wait) { m_waitForLock = wait; }

    SyncReport run(const SyncTarget &target);

private:
    TTable &m_table;
    std::function<bool(qint64)> m_busy;
    std::function<bool(int, const QString &)> m_progress;
    std::function<bool(const SyncPlan &)> m_confirm;
    bool m_waitForLock = false;
};
