#pragma once

#include "platform/io_result.h"

#include <QString>
#include <memory>

class QLockFile;

// The lock that running copies of the program take in turn on a shared data file
// (the history, the favourites) while each reads the file as it is on disk, adds
// its own changes and writes it back: a lock file beside it ("Historia.kax.lock"),
// released when this object ends or when its process dies.
class FileLock final
{
public:
    explicit FileLock(const QString &path);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    // Takes the lock, waiting up to waitMs for another copy that holds it.
    [[nodiscard]] IoResult lock(int waitMs = 10000);

private:
    QString m_lockPath;
    std::unique_ptr<QLockFile> m_lock;
};
