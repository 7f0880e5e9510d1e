#pragma once

#include "platform/io_result.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

class QFile;

// Opening files for the import and export: the system's reasons in Polish, a file to
// read that is never a pipe or a device, a file to write that replaces its target only
// once complete.
namespace FileAccess {

// The system's reason for a failure (an errno value), in Polish: "brak miejsca na
// urządzeniu".
QString reason(int errorNumber);

// Opens `file` on `path` for reading when it is a regular file, without waiting on a
// pipe: a pipe, a device or a folder never ends or never starts, so it is refused.
// The error is the reason alone, in Polish.
[[nodiscard]] IoResult openRegular(QFile *file, const QString &path);

} // namespace FileAccess

// A file written whole. A regular file (or a new one) is written beside the target
// and renamed over it by commit(), keeping the mode (and, for the superuser, the owner)
// of the file it replaces; a read-only file is refused, whoever runs the program. A
// pipe or a character device (/dev/null, a terminal) is written into as a stream. A
// folder, a block device or a socket is refused. Errors are the reason alone, in Polish.
class OutputFile final : public QIODevice
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OutputFile)

public:
    explicit OutputFile(QString path, QObject *parent = nullptr);
    // A file never committed leaves the target as it was.
    ~OutputFile() override;

    // Opens for writing; the mode must be WriteOnly.
    bool open(OpenMode mode) override;
    // Writes what is buffered and puts the file in place; false with error().
    bool commit();
    // Drops what was written: the target stays as it was (a stream keeps what it got).
    void cancel();
    // Why opening, writing or committing failed.
    QString error() const { return m_error; }
    // Whether the target is a pipe or a device, written as a stream.
    bool isStream() const { return m_stream; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    bool fail(const QString &reason);
    bool flushPending();
    void discard();

    QString m_path;
    QString m_target;    // the file renamed over; the path with symbolic links resolved
    QString m_temporary; // beside the target, while it is written
    int m_fd = -1;
    bool m_stream = false;
    bool m_replacing = false; // an existing file is replaced: its mode is kept
    unsigned m_mode = 0;
    unsigned m_owner = 0;
    unsigned m_group = 0;
    QByteArray m_pending; // written but not yet handed to the system
    QString m_error;
    void (*m_previousPipeHandler)(int) = nullptr;
};
