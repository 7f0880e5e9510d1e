#pragma once

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

// A pseudo-terminal standing in for a modem: the program opens the terminal side
// by its path, the test reads what was written from the controlling side. The
// line is raw, so the bytes arrive exactly as written.
class PseudoTerminal final
{
public:
    PseudoTerminal()
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
    ~PseudoTerminal()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        if (m_master >= 0)
            ::close(m_master);
    }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isOpen() const { return m_master >= 0; }
    // The device path that the program opens, e.g. /dev/pts/3.
    QString path() const { return m_path; }

    // Everything written since the last call: collects until the line has been
    // quiet for `quietMs`.
    QByteArray received(int quietMs = 60)
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

    // Fills the line's buffer from the terminal side so that further writes fail
    // until received() drains it; returns the count of bytes that filled it.
    qint64 fill()
    {
        const int flags = ::fcntl(m_slave, F_GETFL);
        ::fcntl(m_slave, F_SETFL, flags | O_NONBLOCK);
        const QByteArray chunk(1024, 'x');
        qint64 total = 0;
        for (;;) {
            const ssize_t count = ::write(m_slave, chunk.constData(), size_t(chunk.size()));
            if (count <= 0)
                break;
            total += count;
        }
        ::fcntl(m_slave, F_SETFL, flags);
        return total;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
};
