#include "platform/file_lock.h"

#include <QDir>
#include <QLockFile>

FileLock::FileLock(const QString &path)
    : m_lockPath(path + QStringLiteral(".lock")), m_lock(std::make_unique<QLockFile>(m_lockPath))
{
    // Held only while a file is read and written: a lock older than this belongs to
    // a copy that hangs.
    m_lock->setStaleLockTime(60 * 1000);
}

FileLock::~FileLock() = default;

IoResult FileLock::lock(int waitMs)
{
    IoResult result;
    if (m_lock->tryLock(waitMs)) {
        result.ok = true;
        return result;
    }
    const QString path = QDir::toNativeSeparators(m_lockPath);
    switch (m_lock->error()) {
    case QLockFile::LockFailedError:
        result.error = QStringLiteral("inna kopia programu trzyma blokadę %1 dłużej niż %2 s")
                           .arg(path)
                           .arg(waitMs / 1000);
        break;
    case QLockFile::PermissionError:
        result.error = QStringLiteral("brak prawa do utworzenia pliku blokady %1").arg(path);
        break;
    default:
        result.error = QStringLiteral("nie można utworzyć pliku blokady %1").arg(path);
        break;
    }
    return result;
}
