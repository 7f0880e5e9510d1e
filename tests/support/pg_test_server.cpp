#include "support/pg_test_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTcpServer>
#include <QUuid>

#include <algorithm>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kServerUser[] = "nobody";

// The bin folder of the newest PostgreSQL that Debian installed, or empty.
QString debianBinDir()
{
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList names = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return a.toDouble() > b.toDouble(); });
    for (const QString &name : names) {
        const QString bin = versions.filePath(name + QStringLiteral("/bin"));
        if (QFileInfo(bin + QStringLiteral("/initdb")).isExecutable() &&
            QFileInfo(bin + QStringLiteral("/pg_ctl")).isExecutable())
            return bin;
    }
    return {};
}

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

// Waits until the test process has closed its end of the lifeline (it ends, however
// it ends), then stops the server at once and removes its folder. Arguments: the
// folder, then the pg_ctl command (with its prefix that drops root, if any).
const char kWatchdog[] = R"(dir=$1; shift
read -r _ <"$dir/lifeline"
"$@" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1
rm -rf "$dir")";

} // namespace

PgTestServer::PgTestServer()
{
    m_initdb = QStandardPaths::findExecutable(QStringLiteral("initdb"));
    m_pgCtl = QStandardPaths::findExecutable(QStringLiteral("pg_ctl"));
    if (m_initdb.isEmpty() || m_pgCtl.isEmpty()) {
        const QString bin = debianBinDir();
        m_initdb = bin.isEmpty() ? QString() : bin + QStringLiteral("/initdb");
        m_pgCtl = bin.isEmpty() ? QString() : bin + QStringLiteral("/pg_ctl");
    }
    if (m_initdb.isEmpty()) {
        m_unavailable = QStringLiteral("PostgreSQL server programs (initdb, pg_ctl) not found on "
                                       "the PATH nor in /usr/lib/postgresql/*/bin");
        return;
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        m_unavailable = QStringLiteral("Qt's PostgreSQL driver QPSQL is not installed");
        return;
    }
    if (geteuid() == 0) {
        // PostgreSQL refuses to run as root: every server command runs as nobody.
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        const QString runuser = QStandardPaths::findExecutable(QStringLiteral("runuser"));
        if (!setpriv.isEmpty())
            m_asServerUser = {setpriv, QStringLiteral("--reuid=%1").arg(kServerUser),
                              QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"),
                              QStringLiteral("--")};
        else if (!runuser.isEmpty())
            m_asServerUser = {runuser, QStringLiteral("-u"), QLatin1String(kServerUser),
                              QStringLiteral("--")};
        else
            m_unavailable = QStringLiteral("running as root, and neither setpriv nor runuser is "
                                           "there to run the server as nobody");
    }
}

PgTestServer::~PgTestServer()
{
    if (m_running)
        stop();
    // The server is down and the folder goes with m_dir: the watchdog has nothing left to do.
    if (m_watchdog > 0)
        ::kill(static_cast<pid_t>(m_watchdog), SIGTERM);
    if (m_lifeline >= 0)
        ::close(m_lifeline);
}

QString PgTestServer::socketDir() const
{
    return m_dir ? m_dir->path() : QString();
}

QString PgTestServer::dataDir() const
{
    return m_dir->filePath(QStringLiteral("data"));
}

QStringList PgTestServer::serverCommand(const QString &program, const QStringList &arguments) const
{
    return m_asServerUser + QStringList{program} + arguments;
}

QStringList PgTestServer::pgCtl(const QStringList &arguments) const
{
    return serverCommand(m_pgCtl, QStringList{QStringLiteral("-D"), dataDir()} + arguments);
}

bool PgTestServer::run(const QStringList &command)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(m_dir->path());
    process.start(command.first(), command.mid(1));
    const bool finished = process.waitForFinished(120000);
    if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    QFile log(m_dir->filePath(QStringLiteral("server.log")));
    const QByteArray logText = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    m_error = QStringLiteral("%1 failed (%2):\n%3\nserver log:\n%4")
                  .arg(command.join(QLatin1Char(' ')),
                       finished ? QString::number(process.exitCode()) : process.errorString(),
                       QString::fromLocal8Bit(process.readAll()), QString::fromLocal8Bit(logText));
    return false;
}

bool PgTestServer::startWatchdog()
{
    const QByteArray fifo = QFile::encodeName(m_dir->filePath(QStringLiteral("lifeline")));
    // Opened for reading and writing, so that the open does not wait for a reader;
    // close-on-exec keeps the server and other children from holding it open.
    if (::mkfifo(fifo.constData(), 0600) != 0 ||
        (m_lifeline = ::open(fifo.constData(), O_RDWR | O_CLOEXEC)) < 0) {
        m_error = QStringLiteral("cannot make the watchdog's pipe %1").arg(QFile::decodeName(fifo));
        return false;
    }
    QProcess watchdog;
    watchdog.setProgram(QStringLiteral("/bin/sh"));
    watchdog.setArguments(QStringList{QStringLiteral("-c"), QLatin1String(kWatchdog),
                                      QStringLiteral("pg-test-watchdog"), m_dir->path()} +
                          serverCommand(m_pgCtl, {}));
    watchdog.setWorkingDirectory(QStringLiteral("/"));
    watchdog.setStandardInputFile(QProcess::nullDevice());
    watchdog.setStandardOutputFile(QProcess::nullDevice());
    watchdog.setStandardErrorFile(QProcess::nullDevice());
    if (!watchdog.startDetached(&m_watchdog)) {
        m_error = QStringLiteral("cannot start the watchdog: %1").arg(watchdog.errorString());
        return false;
    }
    return true;
}

bool PgTestServer::initialize()
{
    m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kartax-pg-XXXXXX"));
    if (!m_dir->isValid()) {
        m_error = QStringLiteral("cannot create a temporary folder: %1").arg(m_dir->errorString());
        return false;
    }
    if (!m_asServerUser.isEmpty()) {
        const passwd *account = ::getpwnam(kServerUser);
        if (!account || ::chown(QFile::encodeName(m_dir->path()).constData(), account->pw_uid,
                                account->pw_gid) != 0) {
            m_error = QStringLiteral("cannot hand %1 to the user nobody").arg(m_dir->path());
            return false;
        }
    }
    if (!startWatchdog())
        return false;
    m_port = freePort();
    if (m_port == 0) {
        m_error = QStringLiteral("no free port on 127.0.0.1");
        return false;
    }
    if (!run(serverCommand(m_initdb, {QStringLiteral("-D"), dataDir(), QStringLiteral("-U"), user(),
                                      QStringLiteral("-A"), QStringLiteral("trust"),
                                      QStringLiteral("-E"), QStringLiteral("UTF8"),
                                      QStringLiteral("--locale=C.UTF-8"), QStringLiteral("-N")})))
        return false;
    // Appended settings override initdb's; the socket and the port stay for restarts.
    // Commits still reach the operating system, so they survive an immediate stop.
    QFile conf(dataDir() + QStringLiteral("/postgresql.conf"));
    if (!conf.open(QIODevice::Append | QIODevice::Text)) {
        m_error = QStringLiteral("cannot write %1").arg(conf.fileName());
        return false;
    }
    conf.write(QStringLiteral("\nport = %1\n"
                              "listen_addresses = '127.0.0.1'\n"
                              "unix_socket_directories = '%2'\n"
                              "fsync = off\n"
                              "full_page_writes = off\n")
                   .arg(m_port)
                   .arg(m_dir->path())
                   .toUtf8());
    return true;
}

bool PgTestServer::start()
{
    if (!available()) {
        m_error = m_unavailable;
        return false;
    }
    if (!m_dir && !initialize())
        return false;
    m_running = run(pgCtl({QStringLiteral("-l"), m_dir->filePath(QStringLiteral("server.log")),
                           QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60"),
                           QStringLiteral("start")}));
    return m_running;
}

bool PgTestServer::stop()
{
    if (!m_dir)
        return true;
    const bool stopped = run(pgCtl({QStringLiteral("-m"), QStringLiteral("immediate"),
                                    QStringLiteral("-w"), QStringLiteral("stop")}));
    m_running = !stopped;
    return stopped;
}

bool PgTestServer::restart()
{
    return stop() && start();
}

QSqlDatabase PgTestServer::addConnection(const QString &connectionName,
                                         const QString &databaseName) const
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    db.setHostName(socketDir());
    db.setPort(m_port);
    db.setUserName(user());
    db.setDatabaseName(databaseName);
    return db;
}

bool PgTestServer::createDatabase(const QString &name)
{
    const QString connection = QStringLiteral("pg-test-server-") + QUuid::createUuid().toString();
    bool created = false;
    {
        QSqlDatabase db = addConnection(connection);
        if (!db.open()) {
            m_error = db.lastError().text();
        } else {
            QString quoted = name;
            quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
            QSqlQuery query(db);
            created = query.exec(QStringLiteral("CREATE DATABASE \"%1\"").arg(quoted));
            if (!created)
                m_error = query.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return created;
}
