#pragma once

#include <QByteArray>
#include <QString>

// Serial ports named "COM1" … "COM5", reached as device files. "COMn" maps to the
// settings value Kax\Porty\COMn, by default /dev/ttyS<n-1>. Opening is exclusive;
// line settings are left as the system holds them, and nothing is read.
namespace SerialPort {

// The value of a handle that refers to no open port.
constexpr int InvalidHandle = -1;

// The device path configured for a port name; empty for a name that is not "COM<n>"
// or when the stored value cannot be read.
QString devicePath(const QString &portName);

// Opens the named port exclusively; InvalidHandle when it is absent, busy, already
// open, not a terminal device or cannot be opened.
int open(const QString &portName);

// Opens a device path exclusively (O_NOCTTY, TIOCEXCL and an exclusive flock).
// On failure returns InvalidHandle and, when `error` is given, the system's reason.
int openDevice(const QString &path, QString *error = nullptr);

// Writes the bytes in one write call and returns the count of bytes written
// (0 when nothing could be written or the handle is invalid).
qint64 write(int handle, const QByteArray &bytes);

// Releases an open handle; an invalid handle is ignored.
void close(int handle);

} // namespace SerialPort
