#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>
#include <memory>

// A private PostgreSQL server the tests and benchmarks start themselves.
//
// The cluster lives in a temporary folder, or in a kept folder that outlasts the
// process (a benchmark's data, made once). It listens on a Unix socket in that
// folder and on a free port of 127.0.0.1 only, chosen at the first start; every
// connection is trusted for the user kartax. When the process runs as root, the
// server's programs run as the user nobody (PostgreSQL refuses root). A watchdog
// stops the server, and removes a temporary folder, when the process ends without
// doing so itself (a crash, an abort, SIGKILL).
class PgTestServer final
{
public:
    // Finds initdb and pg_ctl; starts nothing. The cluster goes into a temporary
    // folder, and commits skip fsync: nothing of it need survive a crash.
    PgTestServer();
    // The same with the cluster in keptFolder: made there by the first start unless
    // it is there already, with the server's default durability, and kept after.
    explicit PgTestServer(const QString &keptFolder);
    // Stops the server and removes a temporary folder.
    ~PgTestServer();
    PgTestServer(const PgTestServer &) = delete;
    PgTestServer &operator=(const PgTestServer &) = delete;

    // False when the server programs or Qt's PostgreSQL driver are missing;
    // unavailableReason() then says what is missing, for QSKIP.
    bool available() const { return m_unavailable.isEmpty(); }
    QString unavailableReason() const { return m_unavailable; }

    // The first start creates the cluster. Each returns false on failure, and
    // error() then holds the command's output and the server log. A temporary
    // cluster stops at once, a kept one cleanly.
    bool start();
    bool stop();
    // Stops the server and starts it again on the same port and folder,
    // as a server that goes away and comes back.
    bool restart();
    bool isRunning() const { return m_running; }
    // A server setting for the next starts, given on the server's command line
    // ("shared_buffers", "256MB"); neither may need quoting for the shell.
    void setSetting(const QString &name, const QString &value);
    QString error() const { return m_error; }

    QString socketDir() const;
    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }
    QString user() const { return QStringLiteral("kartax"); }
    // A PostgreSQL program installed beside pg_ctl, such as psql.
    QString program(const QString &name) const;

    // The command prefix that runs a server's program as nobody when this process runs as
    // root (empty otherwise); empty with `unavailable` set when nothing can do that.
    static QStringList asServerUser(QString *unavailable);

    // Creates a database owned by user().
    bool createDatabase(const QString &name);
    // Runs SQL in a database on a connection of its own, as another program would.
    bool execute(const QString &database, const QString &sql);
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
    QString m_keptFolder;
    std::unique_ptr<QTemporaryDir> m_temporary;
    QString m_root;         // the folder of the cluster, the socket and the log, once made
    QStringList m_settings; // "-c name=value" for the server's command line
    quint16 m_port = 0;
    int m_lifeline = -1; // write end the watchdog waits on; closes when this process ends
    qint64 m_watchdog = 0;
    bool m_running = false;
};
