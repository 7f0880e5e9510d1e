#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>
#include <memory>

// A private PostgreSQL server the tests start themselves.
//
// The cluster lives in a temporary folder and listens on a Unix socket in that
// folder and on a free port of 127.0.0.1 only; every connection is trusted for
// the user kartax. When the tests run as root, the server's programs run as the
// user nobody (PostgreSQL refuses root). A watchdog stops the server and removes
// the folder when the test process ends without doing so itself (a crash, an
// abort, SIGKILL).
class PgTestServer final
{
public:
    // Finds initdb and pg_ctl; starts nothing.
    PgTestServer();
    // Stops the server and removes its folder.
    ~PgTestServer();
    PgTestServer(const PgTestServer &) = delete;
    PgTestServer &operator=(const PgTestServer &) = delete;

    // False when the server programs or Qt's PostgreSQL driver are missing;
    // unavailableReason() then says what is missing, for QSKIP.
    bool available() const { return m_unavailable.isEmpty(); }
    QString unavailableReason() const { return m_unavailable; }

    // The first start creates the cluster. Each returns false on failure, and
    // error() then holds the command's output and the server log.
    bool start();
    bool stop();
    // Stops the server at once and starts it again on the same port and folder,
    // as a server that goes away and comes back.
    bool restart();
    bool isRunning() const { return m_running; }
    QString error() const { return m_error; }

    QString socketDir() const;
    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }
    QString user() const { return QStringLiteral("kartax"); }

    // Creates a database owned by user().
    bool createDatabase(const QString &name);
    // Adds a QPSQL connection to the server through its socket, not yet opened.
    QSqlDatabase addConnection(const QString &connectionName,
                               const QString &databaseName = QStringLiteral("postgres")) const;

private:
    bool initialize();
    bool startWatchdog();
    bool run(const QStringList &command);
    QStringList serverCommand(const QString &program, const QStringList &arguments) const;
    QStringList pgCtl(const QStringList &arguments) const;
    QString dataDir() const;

    QString m_initdb;
    QString m_pgCtl;
    QStringList m_asServerUser; // prefix that drops root to nobody, else empty
    QString m_unavailable;
    QString m_error;
    std::unique_ptr<QTemporaryDir> m_dir;
    quint16 m_port = 0;
    int m_lifeline = -1; // write end the watchdog waits on; closes when this process ends
    qint64 m_watchdog = 0;
    bool m_running = false;
};
