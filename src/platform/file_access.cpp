#include "platform/file_access.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <csignal>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QSaveFile>
#endif

namespace FileAccess {

QString reason(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT:
        return QStringLiteral("nie ma takiego pliku ani folderu");
    case EACCES:
    case EPERM:
        return QStringLiteral("brak uprawnień");
    case ENOSPC:
        return QStringLiteral("brak miejsca na urządzeniu");
#ifdef EDQUOT
    case EDQUOT:
        return QStringLiteral("przekroczony przydział miejsca na dysku");
#endif
    case EROFS:
        return QStringLiteral("system plików jest tylko do odczytu");
    case EISDIR:
        return QStringLiteral("to jest folder");
    case ENOTDIR:
        return QStringLiteral("część ścieżki nie jest folderem");
    case EIO:
        return QStringLiteral("błąd wejścia-wyjścia urządzenia");
    case EPIPE:
        return QStringLiteral("odbiorca zamknął potok");
    case EFBIG:
        return QStringLiteral("plik jest za duży");
    case ENAMETOOLONG:
        return QStringLiteral("nazwa pliku jest za długa");
    case ELOOP:
        return QStringLiteral("za dużo dowiązań symbolicznych");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("za dużo otwartych plików");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("plik jest zajęty");
    case ENOMEM:
        return QStringLiteral("brak pamięci");
    case ENXIO:
    case ENODEV:
        return QStringLiteral("brak urządzenia");
    default:
        return QStringLiteral("błąd systemu nr %1 (%2)")
            .arg(errorNumber)
            .arg(QString::fromLocal8Bit(std::strerror(errorNumber)));
    }
}

#ifdef Q_OS_UNIX

IoResult openRegular(QFile *file, const QString &path)
{
    IoResult result;
    // Without waiting: opening a pipe that nobody writes would wait for ever.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        result.error = reason(errno);
        return result;
    }
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        result.error = S_ISDIR(status.st_mode)
                           ? reason(EISDIR)
                           : QStringLiteral("to nie jest zwykły plik, lecz potok lub urządzenie");
        ::close(fd);
        return result;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        result.error = file->errorString();
        ::close(fd);
        return result;
    }
    result.ok = true;
    return result;
}

#else

IoResult openRegular(QFile *file, const QString &path)
{
    IoResult result;
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        result.error = QStringLiteral("to nie jest zwykły plik");
        return result;
    }
    file->setFileName(path);
    if (!file->open(QIODevice::ReadOnly))
        result.error = file->errorString();
    result.ok = result.error.isEmpty();
    return result;
}

#endif

} // namespace FileAccess

namespace {
// Written to the system in pieces of this size, so a card at a time costs no call.
constexpr qsizetype kPendingBytes = 64 * 1024;
} // namespace

OutputFile::OutputFile(QString path, QObject *parent) : QIODevice(parent), m_path(std::move(path))
{
}

OutputFile::~OutputFile()
{
    discard();
}

bool OutputFile::fail(const QString &reason)
{
    if (m_error.isEmpty())
        m_error = reason;
    return false;
}

#ifdef Q_OS_UNIX

bool OutputFile::open(OpenMode mode)
{
    if (isOpen() || !mode.testFlag(QIODevice::WriteOnly) || mode.testFlag(QIODevice::ReadOnly))
        return fail(QStringLiteral("plik można tylko zapisać, raz"));
    const QByteArray path = QFile::encodeName(m_path);
    struct stat status
    {
    };
    if (::stat(path.constData(), &status) != 0) {
        if (errno != ENOENT)
            return fail(FileAccess::reason(errno));
        m_target = m_path; // a new file
    } else if (S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode)) {
        // A pipe's reader or a device takes the text as it is written. A pipe that
        // nobody reads would keep the program waiting: that is refused.
        m_fd = ::open(path.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (m_fd < 0)
            return fail(errno == ENXIO && S_ISFIFO(status.st_mode)
                            ? QStringLiteral("nikt nie czyta z tego potoku")
                            : FileAccess::reason(errno));
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
        m_stream = true;
        // A reader that goes away makes writes fail with EPIPE instead of ending the
        // program.
        m_previousPipeHandler = std::signal(SIGPIPE, SIG_IGN);
        return QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    } else if (S_ISDIR(status.st_mode)) {
        return fail(FileAccess::reason(EISDIR));
    } else if (!S_ISREG(status.st_mode)) {
        return fail(QStringLiteral("to nie jest zwykły plik, potok ani urządzenie znakowe"));
    } else {
        // The file a symbolic link points to is the one replaced, the link stays.
        m_target = QFileInfo(m_path).canonicalFilePath();
        // The superuser may write anything; a file that nobody may write is refused
        // for him as for everybody.
        if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            return fail(QStringLiteral("plik jest tylko do odczytu"));
        if (::access(QFile::encodeName(m_target).constData(), W_OK) != 0)
            return fail(FileAccess::reason(errno));
        m_replacing = true;
        m_mode = status.st_mode & 07777;
        m_owner = status.st_uid;
        m_group = status.st_gid;
    }
    const QFileInfo target(m_target);
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        m_temporary = target.dir().filePath(
            QStringLiteral(".%1.%2")
                .arg(target.fileName())
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        // A new file takes the mode the user's umask gives; a replaced one gets its
        // predecessor's at commit.
        m_fd = ::open(QFile::encodeName(m_temporary).constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, m_replacing ? 0600 : 0666);
        if (m_fd < 0 && errno != EEXIST) {
            m_temporary.clear();
            return fail(FileAccess::reason(errno));
        }
    }
    if (m_fd < 0) {
        m_temporary.clear();
        return fail(FileAccess::reason(EEXIST));
    }
    return QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

bool OutputFile::flushPending()
{
    qsizetype done = 0;
    while (done < m_pending.size()) {
        const ssize_t written =
            ::write(m_fd, m_pending.constData() + done, std::size_t(m_pending.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            m_pending.clear();
            return fail(FileAccess::reason(written < 0 ? errno : EIO));
        }
        done += written;
    }
    m_pending.clear();
    return true;
}

bool OutputFile::commit()
{
    if (m_fd < 0)
        return fail(QStringLiteral("plik nie jest otwarty"));
    bool done = m_error.isEmpty() && flushPending();
    if (!m_stream && done) {
        // Data on disk before the name: a crash leaves the old file or the new one.
        if (::fsync(m_fd) != 0)
            done = fail(FileAccess::reason(errno));
        // The owner first: changing it clears the set-user-id bits the mode restores.
        else if (m_replacing && ::geteuid() == 0 &&
                 ::fchown(m_fd, uid_t(m_owner), gid_t(m_group)) != 0)
            done = fail(FileAccess::reason(errno));
        else if (m_replacing && ::fchmod(m_fd, mode_t(m_mode)) != 0)
            done = fail(FileAccess::reason(errno));
    }
    if (::close(m_fd) != 0 && done)
        done = fail(FileAccess::reason(errno));
    m_fd = -1;
    if (!m_stream && done &&
        ::rename(QFile::encodeName(m_temporary).constData(),
                 QFile::encodeName(m_target).constData()) != 0)
        done = fail(FileAccess::reason(errno));
    if (done)
        m_temporary.clear();
    discard();
    return done;
}

void OutputFile::discard()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.isEmpty())
        ::unlink(QFile::encodeName(m_temporary).constData());
    m_temporary.clear();
    m_pending.clear();
    if (m_stream)
        std::signal(SIGPIPE, m_previousPipeHandler);
    m_stream = false;
    if (isOpen())
        QIODevice::close();
}

#else

// Elsewhere Qt's own save file: it writes beside the target and renames it over.
bool OutputFile::open(OpenMode mode)
{
    auto *file = new QSaveFile(m_path, this);
    file->setObjectName(QStringLiteral("saveFile"));
    if (!file->open(QIODevice::WriteOnly))
        return fail(file->errorString());
    return QIODevice::open(mode | QIODevice::Unbuffered);
}

bool OutputFile::flushPending()
{
    auto *file = findChild<QSaveFile *>(QStringLiteral("saveFile"));
    const bool written = file && file->write(m_pending) == m_pending.size();
    m_pending.clear();
    return written || fail(file ? file->errorString() : QString());
}

bool OutputFile::commit()
{
    auto *file = findChild<QSaveFile *>(QStringLiteral("saveFile"));
    const bool done = m_error.isEmpty() && flushPending() && file->commit();
    if (!done)
        fail(file ? file->errorString() : QString());
    discard();
    return done;
}

void OutputFile::discard()
{
    if (auto *file = findChild<QSaveFile *>(QStringLiteral("saveFile"))) {
        file->cancelWriting();
        delete file;
    }
    m_pending.clear();
    if (isOpen())
        QIODevice::close();
}

#endif

void OutputFile::cancel()
{
    discard();
}

qint64 OutputFile::readData(char *, qint64)
{
    return -1;
}

qint64 OutputFile::writeData(const char *data, qint64 maxSize)
{
    if (!m_error.isEmpty())
        return -1;
    m_pending.append(data, qsizetype(maxSize));
    if (m_pending.size() >= kPendingBytes && !flushPending())
        return -1;
    return maxSize;
}
