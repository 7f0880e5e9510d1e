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

// Waits until the process has closed its end of the lifeline (it ends, however it
// ends), then stops the server at once and removes its folder unless it is kept.
// Arguments: the folder, "keep" or "remove", then the pg_ctl command (with its
// prefix that drops root, if any).
const char kWatchdog[] = R"(dir=$1; keep=$2; shift 2
read -r _ <"$dir/lifeline"
"$@" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1
[ "$keep" = keep ] || rm -rf "$dir")";

} // namespace

QStringList PgTestServer::asServerUser(QString *unavailable)
{
    if (geteuid() != 0)
        return {};
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    const QString runuser = QStandardPaths::findExecutable(QStringLiteral("runuser"));
    if (!setpriv.isEmpty())
        return {setpriv, QStringLiteral("--reuid=%1").arg(kServerUser),
                QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"),
                QStringLiteral("--")};
    if (!runuser.isEmpty())
        return {runuser, QStringLiteral("-u"), QLatin1String(kServerUser), QStringLiteral("--")};
    *unavailable = QStringLiteral("running as root, and neither setpriv nor runuser is there to "
                                  "run the server as nobody");
    return {};
}

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
    // PostgreSQL refuses to run as root: every server command runs as nobody.
    m_asServerUser = PgTestServer::asServerUser(&m_unavailable);
}

PgTestServer::PgTestServer(const QString &keptFolder) : PgTestServer()
{
    m_keptFolder = QDir(keptFolder).absolutePath();
}

PgTestServer::~PgTestServer()
{
    if (m_running)
        stop();
    // The server is down and a temporary folder goes with m_temporary: the watchdog
    // has nothing left to do.
    if (m_watchdog > 0)
        ::kill(static_cast<pid_t>(m_watchdog), SIGTERM);
    if (m_lifeline >= 0) {
        ::close(m_lifeline);
        if (!m_keptFolder.isEmpty())
            QFile::remove(m_root + QStringLiteral("/lifeline"));
    }
}

void PgTestServer::setSetting(const QString &name, const QString &value)
{
    m_settings << QStringLiteral("-c") << name + QLatin1Char('=') + value;
}

QString PgTestServer::program(const QString &name) const
{
    // pg_ctl on the PATH may be a link into the folder of its version.
    return m_pgCtl.isEmpty()
               ? QString()
               : QFileInfo(QFileInfo(m_pgCtl).canonicalFilePath()).dir().filePath(name);
}

QString PgTestServer::socketDir() const
{
    return m_root;
}

QString PgTestServer::dataDir() const
{
    return m_root + QStringLiteral("/data");
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
    process.setWorkingDirectory(m_root);
    process.start(command.first(), command.mid(1));
    const bool finished = process.waitForFinished(120000);
    if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    QFile log(m_root + QStringLiteral("/server.log"));
    const QByteArray logText = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    m_error = QStringLiteral("%1 failed (%2):\n%3\nserver log:\n%4")
                  .arg(command.join(QLatin1Char(' ')),
                       finished ? QString::number(process.exitCode()) : process.errorString(),
                       QString::fromLocal8Bit(process.readAll()), QString::fromLocal8Bit(logText));
    return false;
}

bool PgTestServer::startWatchdog()
{
    const QByteArray fifo = QFile::encodeName(m_root + QStringLiteral("/lifeline"));
    // A kept folder may still hold the pipe of a run that ended abruptly.
    ::unlink(fifo.constData());
    // Opened for reading and writing, so that the open does not wait for a reader;
    // close-on-exec keeps the server and other children from holding it open.
    if (::mkfifo(fifo.constData(), 0600) != 0 ||
        (m_lifeline = ::open(fifo.constData(), O_RDWR | O_CLOEXEC)) < 0) {
        m_error = QStringLiteral("cannot make the watchdog's pipe %1").arg(QFile::decodeName(fifo));
        return false;
    }
    QProcess watchdog;
    watchdog.setProgram(QStringLiteral("/bin/sh"));
    watchdog.setArguments(
        QStringList{QStringLiteral("-c"), QLatin1String(kWatchdog),
                    QStringLiteral("pg-test-watchdog"), m_root,
                    m_keptFolder.isEmpty() ? QStringLiteral("remove") : QStringLiteral("keep")} +
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
    if (m_keptFolder.isEmpty()) {
        m_temporary =
            std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kartax-pg-XXXXXX"));
        if (!m_temporary->isValid()) {
            m_error = QStringLiteral("cannot create a temporary folder: %1")
                          .arg(m_temporary->errorString());
            return false;
        }
        m_root = m_temporary->path();
    } else if (!QDir().mkpath(m_keptFolder)) {
        m_error = QStringLiteral("cannot create the folder %1").arg(m_keptFolder);
        return false;
    } else {
        m_root = m_keptFolder;
    }
    if (!m_asServerUser.isEmpty()) {
        const passwd *account = ::getpwnam(kServerUser);
        if (!account ||
            ::chown(QFile::encodeName(m_root).constData(), account->pw_uid, account->pw_gid) != 0) {
            m_error = QStringLiteral("cannot hand %1 to the user nobody").arg(m_root);
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
    if (QFileInfo::exists(dataDir() + QStringLiteral("/PG_VERSION")))
        return true; // a kept cluster made by an earlier run
    if (!run(serverCommand(m_initdb, {QStringLiteral("-D"), dataDir(), QStringLiteral("-U"), user(),
                                      QStringLiteral("-A"), QStringLiteral("trust"),
                                      QStringLiteral("-E"), QStringLiteral("UTF8"),
                                      QStringLiteral("--locale=C.UTF-8"), QStringLiteral("-N")})))
        return false;
    // Appended settings override initdb's. The port is given at each start.
    QFile conf(dataDir() + QStringLiteral("/postgresql.conf"));
    if (!conf.open(QIODevice::Append | QIODevice::Text)) {
        m_error = QStringLiteral("cannot write %1").arg(conf.fileName());
        return false;
    }
    QString settings = QStringLiteral("\nlisten_addresses = '127.0.0.1'\n"
                                      "unix_socket_directories = '%1'\n")
                           .arg(m_root);
    // Commits of a throwaway cluster still reach the operating system, so they
    // survive an immediate stop.
    if (m_keptFolder.isEmpty())
        settings += QStringLiteral("fsync = off\nfull_page_writes = off\n");
    conf.write(settings.toUtf8());
    return true;
}

bool PgTestServer::start()
{
    if (!available()) {
        m_error = m_unavailable;
        return false;
    }
    if (m_root.isEmpty() && !initialize())
        return false;
    // The socket's folder too, so that a kept cluster still starts after its folder moved.
    const QStringList options = QStringList{QStringLiteral("-p"), QString::number(m_port),
                                            QStringLiteral("-k"), u'\'' + m_root + u'\''} +
                                m_settings;
    m_running =
        run(pgCtl({QStringLiteral("-l"), m_root + QStringLiteral("/server.log"),
                   QStringLiteral("-o"), options.join(QLatin1Char(' ')), QStringLiteral("-w"),
                   QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("start")}));
    return m_running;
}

bool PgTestServer::stop()
{
    if (m_root.isEmpty())
        return true;
    // A kept cluster shuts down cleanly, so that its next start needs no recovery.
    const QString mode =
        m_keptFolder.isEmpty() ? QStringLiteral("immediate") : QStringLiteral("fast");
    const bool stopped =
        run(pgCtl({QStringLiteral("-m"), mode, QStringLiteral("-w"), QStringLiteral("stop")}));
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
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return execute(QStringLiteral("postgres"),
                   QStringLiteral("CREATE DATABASE \"%1\"").arg(quoted));
}

bool PgTestServer::execute(const QString &database, const QString &sql)
{
    const QString connection = QStringLiteral("pg-test-server-") + QUuid::createUuid().toString();
    bool done = false;
    {
        QSqlDatabase db = addConnection(connection, database);
        if (!db.open()) {
            m_error = db.lastError().text();
        } else {
            QSqlQuery query(db);
            done = query.exec(sql);
            if (!done)
                m_error = query.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return done;
}
