#pragma once

#include <QString>
#include <thread>

// Copies what a database's write-ahead log holds into the database file on a thread of
// its own, over a connection of its own, so that the writer whose commit filled the
// log goes on at once. Committed data is safe in the log meanwhile; a checkpoint that
// fails leaves it there for the next one. The destructor waits for the copy to end.
class BackgroundCheckpoint final
{
public:
    // Waits up to busyTimeoutMs for a lock that another connection holds.
    BackgroundCheckpoint(const QString &path, int busyTimeoutMs);
    ~BackgroundCheckpoint();
    BackgroundCheckpoint(const BackgroundCheckpoint &) = delete;
    BackgroundCheckpoint &operator=(const BackgroundCheckpoint &) = delete;

private:
    std::thread m_thread;
};
