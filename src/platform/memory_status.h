#pragma once

#include <QString>
#include <QtGlobal>

// Physical-memory figures in bytes, as 64-bit counts so that machines with more
// than 2 GB of memory report true amounts.
struct MemoryFigures
{
    bool ok = false;
    qint64 availablePhysical = 0;
    qint64 totalPhysical = 0;
    QString error; // why the figures could not be read, when !ok
};

// The physical-memory status query behind an interface: the About window asks
// MemoryStatus::current(), and tests install a fake with fixed figures.
class MemoryStatus
{
public:
    virtual ~MemoryStatus() = default;
    virtual MemoryFigures query() = 0;

    static MemoryStatus &current();
    // Installs a replacement (not owned); nullptr restores the system's query.
    static void install(MemoryStatus *status);
};

// The system's query: MemAvailable and MemTotal of /proc/meminfo.
class ProcMemInfoStatus final : public MemoryStatus
{
public:
    explicit ProcMemInfoStatus(QString path = QStringLiteral("/proc/meminfo"));
    MemoryFigures query() override;

    // Reads the figures from the text of a meminfo file (values in kB). When the
    // kernel gives no MemAvailable, MemFree stands in for it.
    static MemoryFigures parse(const QByteArray &text);

private:
    QString m_path;
};
