#include "platform/restart.h"

#include "platform/errors.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>

namespace {

// The default until the application installs the system's restart.
class UnavailableRestart final : public Restart
{
public:
    void reboot() override
    {
        throw KaxError(QStringLiteral("Restart of the computer is not available"));
    }
};

Restart *&installed()
{
    static Restart *restart = nullptr;
    return restart;
}

// Long enough for the user to answer the system's authorisation prompt.
constexpr int kRebootTimeoutMs = 5 * 60 * 1000;

} // namespace

Restart &Restart::current()
{
    static UnavailableRestart unavailable;
    return installed() ? *installed() : unavailable;
}

void Restart::install(Restart *restart)
{
    installed() = restart;
}

void Restart::installSystemRestart()
{
    static LogindRestart system;
    install(&system);
}

void LogindRestart::reboot()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        const QString reason = bus.lastError().message();
        throw KaxError(reason.isEmpty() ? QStringLiteral("The system bus is not available")
                                        : reason);
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Reboot"));
    call << true; // interactive: the system may ask the user for authorisation
    const QDBusMessage reply = bus.call(call, QDBus::Block, kRebootTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QString reason = reply.errorMessage();
        throw KaxError(reason.isEmpty() ? reply.errorName() : reason);
    }
}
