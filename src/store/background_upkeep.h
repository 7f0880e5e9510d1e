#pragma once

#include <QByteArrayList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <thread>

// Work on a database file that need not hold up the writer who left it: merging the
// parts of a full-text index that a large batch wrote, then copying what the
// write-ahead log holds into the file. It runs on a thread of its own over a
// connection of its own; each merge step is a short transaction of its own, so that a
// user's write waits at most for one step. Committed data is safe in the log
// meanwhile, and work that fails is left for later with a warning.
class BackgroundUpkeep final
{
public:
    // The merge: `mergeSteps` run in turn, again and again until none of them changes
    // anything, then `afterMerge` in one transaction. Waits up to busyTimeoutMs for a
    // lock that another connection holds.
    BackgroundUpkeep(const QString &path, int busyTimeoutMs, const QStringList &mergeSteps = {},
                     const QStringList &afterMerge = {});
    // Stops the merge after its current step, still runs `afterMerge`, and waits.
    ~BackgroundUpkeep();
    BackgroundUpkeep(const BackgroundUpkeep &) = delete;
    BackgroundUpkeep &operator=(const BackgroundUpkeep &) = delete;

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
