#include "platform/serial_port.h"

#include "platform/errors.h"
#include "platform/settings_store.h"

#include <QRegularExpression>

namespace SerialPort {

QString devicePath(const QString &portName)
{
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]*)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = comName.match(portName);
    if (!match.hasMatch())
        return {};
    QString configured;
    try {
        SettingsStore store;
        if (store.openKey(QStringLiteral("\\Kax\\Porty"), false))
            configured = store.readString(portName);
    } catch (const SettingsError &) {
        // A value of the wrong type names no device: the port counts as unavailable.
        return {};
    }
    if (!configured.isEmpty())
        return configured;
    return QStringLiteral("/dev/ttyS%1").arg(match.captured(1).toInt() - 1);
}

int open(const QString &portName)
{
    const QString path = devicePath(portName);
    if (path.isEmpty())
        return InvalidHandle;
    return openDevice(path);
}

} // namespace SerialPort
