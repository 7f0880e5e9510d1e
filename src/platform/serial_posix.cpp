// POSIX implementation of the serial device operations declared in serial_port.h.
#include "platform/serial_port.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

int fail(int fd, int errorNumber, QString *error)
{
    if (fd >= 0)
        ::close(fd);
    if (error)
        *error = QString::fromLocal8Bit(std::strerror(errorNumber));
    return SerialPort::InvalidHandle;
}

} // namespace

namespace SerialPort {

int openDevice(const QString &path, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return fail(-1, ENOENT, error);
    // Non-blocking so that neither the open (carrier detect) nor a write to a
    // flow-stopped line can hang the program; commands fit the driver's buffer.
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(-1, errno, error);
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0)
        return fail(fd, errno, error);
    if (!S_ISCHR(info.st_mode) || !::isatty(fd))
        return fail(fd, ENOTTY, error);
    // The lock keeps out every other program that locks the device (and this one's
    // other handles); TIOCEXCL makes the kernel refuse further opens.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(fd, errno == EWOULDBLOCK ? EBUSY : errno, error);
    if (::ioctl(fd, TIOCEXCL) != 0)
        return fail(fd, errno, error);
    return fd;
}

qint64 write(int handle, const QByteArray &bytes)
{
    if (handle < 0)
        return 0;
    ssize_t written = 0;
    do {
        written = ::write(handle, bytes.constData(), size_t(bytes.size()));
    } while (written < 0 && errno == EINTR);
    return written < 0 ? 0 : qint64(written);
}

void close(int handle)
{
    if (handle < 0)
        return;
    ::ioctl(handle, TIOCNXCL);
    ::flock(handle, LOCK_UN);
    ::close(handle);
}

} // namespace SerialPort
