#pragma once

#include "exchange/contact_record.h"
#include "platform/file_access.h"

#include <QFile>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <cerrno>

namespace ContactImport {

// The contacts of a file one at a time, whatever its format.
class Source
{
public:
    virtual ~Source() = default;
    virtual bool readNext(ContactRecord *record) = 0;
    virtual QString error() const = 0; // empty unless reading failed
    virtual qint64 errorLine() const = 0;
    virtual qint64 lineNumber() const = 0;
    virtual qint64 unusable() const { return 0; } // records passed over
    // What the user is to be told of the reading: values kept in another form, or a
    // card's text beyond what a contact holds. Read once reading has ended.
    virtual QStringList notices() const { return {}; }
    virtual int percent() const = 0; // of the file read so far
    // Called on the reading thread once reading has ended, for what that thread holds.
    virtual void finish() {}
    // Called on another thread: reading is to end soon, as at the end of the file.
    virtual void interrupt() {}
};

// A file as its reader sees it: reading ends, as at the end of the file, once stop()
// was called from another thread, and a failure to read is kept to be reported instead
// of passing for the file's end.
class StoppableFile final : public QIODevice
{
public:
    explicit StoppableFile(QFile *file) : m_file(file) { open(QIODevice::ReadOnly); }
    void stop() { m_stopped = true; }
    QString readError() const { return m_readError; }
    qint64 size() const override { return m_file->size(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (m_stopped)
            return -1;
        const qint64 read = m_file->read(data, maxSize);
        if (read < 0 && m_readError.isEmpty())
            m_readError = FileAccess::reason(errno);
        return read;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QFile *m_file;
    std::atomic<bool> m_stopped = false;
    QString m_readError;
};

// A source that reads a file from start to end.
class DeviceSource : public Source
{
public:
    explicit DeviceSource(StoppableFile *device) : m_device(device) {}
    int percent() const override
    {
        return int(m_device->pos() * 100 / std::max<qint64>(1, m_device->size()));
    }
    void interrupt() override { m_device->stop(); }
    QString readError() const { return m_device->readError(); }

private:
    StoppableFile *m_device;
};

} // namespace ContactImport
