#include "platform/memory_status.h"

#include <QFile>
#include <limits>

namespace {
MemoryStatus *&installed()
{
    static MemoryStatus *status = nullptr;
    return status;
}

// A meminfo value in kB as bytes; -1 when the line is malformed or would overflow.
qint64 kilobytesToBytes(QByteArrayView value)
{
    QByteArray digits = value.trimmed().toByteArray();
    if (digits.endsWith("kB"))
        digits.chop(2);
    bool ok = false;
    const qint64 kilobytes = digits.trimmed().toLongLong(&ok);
    if (!ok || kilobytes < 0 || kilobytes > std::numeric_limits<qint64>::max() / 1024)
        return -1;
    return kilobytes * 1024;
}
} // namespace

MemoryStatus &MemoryStatus::current()
{
    static ProcMemInfoStatus real;
    return installed() ? *installed() : real;
}

void MemoryStatus::install(MemoryStatus *status)
{
    installed() = status;
}

ProcMemInfoStatus::ProcMemInfoStatus(QString path) : m_path(std::move(path)) {}

MemoryFigures ProcMemInfoStatus::query()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        MemoryFigures figures;
        figures.error = file.errorString();
        return figures;
    }
    // /proc files report a size of 0, so read until the end rather than by size.
    return parse(file.readAll());
}

MemoryFigures ProcMemInfoStatus::parse(const QByteArray &text)
{
    qint64 total = -1;
    qint64 available = -1;
    qint64 free = -1;
    for (const QByteArray &line : text.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArrayView name = QByteArrayView(line).first(colon);
        const QByteArrayView value = QByteArrayView(line).sliced(colon + 1);
        if (name == "MemTotal")
            total = kilobytesToBytes(value);
        else if (name == "MemAvailable")
            available = kilobytesToBytes(value);
        else if (name == "MemFree")
            free = kilobytesToBytes(value);
    }
    if (available < 0)
        available = free;

    MemoryFigures figures;
    if (total < 0 || available < 0) {
        figures.error = QStringLiteral("MemTotal or MemAvailable missing");
        return figures;
    }
    figures.ok = true;
    figures.totalPhysical = total;
    figures.availablePhysical = available;
    return figures;
}
