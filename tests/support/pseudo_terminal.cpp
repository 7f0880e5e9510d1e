#include "support/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
        return;
    m_path = QString::fromLocal8Bit(name);
    termios raw{};
    ::tcgetattr(m_slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(m_slave, TCSANOW, &raw);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

PseudoTerminal::~PseudoTerminal()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

QByteArray PseudoTerminal::received(int quietMs)
{
    QByteArray bytes;
    for (;;) {
        pollfd fd{m_master, POLLIN, 0};
        if (::poll(&fd, 1, quietMs) <= 0 || !(fd.revents & POLLIN))
            break;
        char buffer[4096];
        const ssize_t count = ::read(m_master, buffer, sizeof buffer);
        if (count <= 0)
            break;
        bytes.append(buffer, count);
    }
    return bytes;
}

qint64 PseudoTerminal::fill()
{
    const int flags = ::fcntl(m_slave, F_GETFL);
    ::fcntl(m_slave, F_SETFL, flags | O_NONBLOCK);
    const QByteArray chunk(1024, 'x');
    qint64 total = 0;
    // The kernel moves written bytes on to the controlling side in the background,
    // which can free room after a write was refused: the line counts as full only
    // once not even one byte has fitted for a while.
    for (int refused = 0; refused < 5;) {
        ssize_t count = ::write(m_slave, chunk.constData(), size_t(chunk.size()));
        if (count <= 0)
            count = ::write(m_slave, chunk.constData(), 1);
        if (count > 0) {
            total += count;
            refused = 0;
        } else {
            ++refused;
            ::usleep(20000);
        }
    }
    ::fcntl(m_slave, F_SETFL, flags);
    return total;
}
