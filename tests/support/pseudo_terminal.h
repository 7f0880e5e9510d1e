#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal standing in for a modem: the program opens the terminal side
// by its path, the test reads what was written from the controlling side. The
// line is raw, so the bytes arrive exactly as written.
class PseudoTerminal final
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isOpen() const { return m_master >= 0; }
    // The device path that the program opens, e.g. /dev/pts/3.
    QString path() const { return m_path; }

    // Everything written since the last call: collects until the line has been
    // quiet for `quietMs`.
    QByteArray received(int quietMs = 60);

    // Fills the line's buffer from the terminal side so that further writes fail
    // until received() drains it; returns the count of bytes that filled it.
    qint64 fill();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
};
