#pragma once

#include <QString>

// What a file on disk is at one moment: whether it exists, whether it is a regular
// file, its identity (device and inode where the system has them), its size and its
// modification time. Comparing two stamps tells whether another program replaced,
// moved or rewrote the file in between.
struct FileStamp
{
    bool exists = false;
    bool regular = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 modifiedNs = 0;

    static FileStamp of(const QString &path);

    // The same file (device and inode), whatever its content now.
    bool sameFile(const FileStamp &other) const
    {
        return exists && other.exists && device == other.device && inode == other.inode;
    }
    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};
