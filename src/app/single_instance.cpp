#include "app/single_instance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>
#include <QUrl>
#include <QVariantMap>

namespace {

const QString kInterface = QStringLiteral("org.freedesktop.Application");

// The object the running copy puts on the bus: org.freedesktop.Application's methods,
// each turned into a request of its owner once the call is answered, so that the
// later start never waits for an import (and its questions) to end.
class ApplicationObject final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit ApplicationObject(SingleInstance *owner) : QObject(owner), m_owner(owner) {}

public slots:
    Q_SCRIPTABLE void Activate(const QVariantMap &) { request(QString()); }
    Q_SCRIPTABLE void Open(const QStringList &uris, const QVariantMap &)
    {
        if (uris.isEmpty())
            request(QString());
        for (const QString &uri : uris) {
            const QUrl url(uri);
            request(url.isLocalFile() ? url.toLocalFile() : uri);
        }
    }
    Q_SCRIPTABLE void ActivateAction(const QString &, const QVariantList &, const QVariantMap &)
    {
        request(QString());
    }

private:
    void request(const QString &file)
    {
        QMetaObject::invokeMethod(
            m_owner, [owner = m_owner, file] { emit owner->requested(file); },
            Qt::QueuedConnection);
    }

    SingleInstance *m_owner;
};

} // namespace

const QString DBusSingleInstance::kServiceName = QStringLiteral("pl.kartax2000.Kartax2000");
const QString DBusSingleInstance::kObjectPath = QStringLiteral("/pl/kartax2000/Kartax2000");

DBusSingleInstance::DBusSingleInstance(QDBusConnection bus, QObject *parent)
    : SingleInstance(parent), m_bus(std::move(bus))
{
}

DBusSingleInstance::~DBusSingleInstance()
{
    if (m_registered) {
        m_bus.unregisterService(kServiceName);
        m_bus.unregisterObject(kObjectPath);
    }
}

SingleInstance::Claim DBusSingleInstance::claim(const QString &file)
{
    if (!m_bus.isConnected())
        return Claim::Alone;
    // The object first, so that a call that comes as soon as the name is ours finds it.
    auto *object = new ApplicationObject(this);
    if (!m_bus.registerObject(kObjectPath, object, QDBusConnection::ExportScriptableSlots)) {
        delete object;
        return Claim::Alone;
    }
    if (m_bus.registerService(kServiceName)) {
        m_registered = true;
        return Claim::First;
    }
    m_bus.unregisterObject(kObjectPath);
    delete object;

    QDBusMessage call;
    if (file.isEmpty()) {
        call = QDBusMessage::createMethodCall(kServiceName, kObjectPath, kInterface,
                                              QStringLiteral("Activate"));
        call << QVariantMap();
    } else {
        call = QDBusMessage::createMethodCall(kServiceName, kObjectPath, kInterface,
                                              QStringLiteral("Open"));
        const QUrl url = QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath());
        call << QStringList{url.toString()} << QVariantMap();
    }
    // Waits for the answer while serving its own events. A copy that is busy too long
    // to answer still holds the request and takes it when it can; one that is gone or
    // answers with an error leaves this one to run on its own.
    const QDBusMessage reply = m_bus.call(call, QDBus::BlockWithGui, 10000);
    if (reply.type() == QDBusMessage::ReplyMessage ||
        reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply"))
        return Claim::Forwarded;
    return Claim::Alone;
}

#include "single_instance.moc"
