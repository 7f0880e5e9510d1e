#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

// The one running copy of the window program: a later start hands its request
// (bring the window forward, import a file) to the copy that runs, and ends.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum class Claim {
        First,     // this copy runs the program and takes later starts' requests
        Forwarded, // another copy runs and took the request: this one ends
        Alone,     // no bus to ask (or the running copy did not answer): run anyway
    };

    using QObject::QObject;
    // Becomes the copy that runs, or hands `file` (empty: only show the window) to the
    // copy that runs already.
    virtual Claim claim(const QString &file) = 0;

signals:
    // A later start asked: bring the window forward, and import `file` when not empty.
    void requested(const QString &file);
};

// The copy that runs owns the name pl.kartax2000.Kartax2000 (the desktop entry's id) on
// the session bus and answers org.freedesktop.Application there, as desktop programs
// do; a later start calls its Open (a file) or Activate (nothing to open).
class DBusSingleInstance final : public SingleInstance
{
    Q_OBJECT

public:
    static const QString kServiceName;
    static const QString kObjectPath;

    // The session bus unless another connection is given (tests: a private bus).
    explicit DBusSingleInstance(QDBusConnection bus = QDBusConnection::sessionBus(),
                                QObject *parent = nullptr);
    ~DBusSingleInstance() override;

    Claim claim(const QString &file) override;

private:
    QDBusConnection m_bus;
    bool m_registered = false;
};
