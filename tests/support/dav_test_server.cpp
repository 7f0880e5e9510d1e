#include "support/dav_test_server.h"

#include "support/pg_test_server.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kServerUser[] = "nobody";

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

// Waits until the process has closed its end of the lifeline (it ends, however it
// ends), then stops the server and removes its folder. Arguments: the folder, the
// server's process id.
const char kWatchdog[] = R"(dir=$1; pid=$2
read -r _ <"$dir/lifeline"
kill "$pid" 2>/dev/null && sleep 1 && kill -9 "$pid" 2>/dev/null
rm -rf "$dir")";

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

// Gives the folder and everything in it to the user nobody.
bool handToServerUser(const QString &root)
{
    const passwd *account = ::getpwnam(kServerUser);
    if (!account)
        return false;
    auto give = [account](const QString &path) {
        return ::lchown(QFile::encodeName(path).constData(), account->pw_uid, account->pw_gid) == 0;
    };
    bool all = give(root);
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        all = give(it.next()) && all;
    return all;
}

QByteArray tomlString(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return '"' + escaped.toUtf8() + '"';
}

} // namespace

DavTestServer::DavTestServer(Kind kind) : m_kind(kind)
{
    const QString program =
        kind == Radicale ? QStringLiteral("radicale") : QStringLiteral("xandikos");
    m_program = QStandardPaths::findExecutable(program);
    if (m_program.isEmpty()) {
        m_unavailable = QStringLiteral("%1 is not installed (not on the PATH)").arg(program);
        return;
    }
    m_asServerUser = PgTestServer::asServerUser(&m_unavailable);
}

DavTestServer::~DavTestServer()
{
    stop();
    if (m_lifeline >= 0)
        ::close(m_lifeline);
}

QString DavTestServer::name() const
{
    return m_kind == Radicale ? QStringLiteral("Radicale") : QStringLiteral("Xandikos");
}

QUrl DavTestServer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_port));
}

QUrl DavTestServer::principalUrl() const
{
    return baseUrl().resolved(
        QUrl(m_kind == Radicale ? QStringLiteral("/jan/") : QStringLiteral("/user/")));
}

QUrl DavTestServer::homeUrl() const
{
    return m_kind == Radicale ? principalUrl()
                              : baseUrl().resolved(QUrl(QStringLiteral("/user/contacts/")));
}

QUrl DavTestServer::addressBookUrl() const
{
    return homeUrl().resolved(
        QUrl(m_kind == Radicale ? QStringLiteral("book/") : QStringLiteral("addressbook/")));
}

bool DavTestServer::isRunning() const
{
    return m_server && m_server->state() != QProcess::NotRunning;
}

QString DavTestServer::serverLog() const
{
    QFile log(m_root + QStringLiteral("/server.log"));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
}

bool DavTestServer::prepare()
{
    // In memory where there is a tmpfs: the servers sync every write to disk, which
    // makes an upload several times slower there.
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    const QString parent = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
    m_temporary = std::make_unique<QTemporaryDir>(parent + QStringLiteral("/kartax-dav-XXXXXX"));
    if (!m_temporary->isValid()) {
        m_error =
            QStringLiteral("cannot create a temporary folder: %1").arg(m_temporary->errorString());
        return false;
    }
    m_root = m_temporary->path();
    m_port = freePort();
    if (m_port == 0) {
        m_error = QStringLiteral("no free port on 127.0.0.1");
        return false;
    }
    if (m_kind == Radicale) {
        // The address book is a folder of the storage marked as one; the user's own
        // collection above it Radicale makes at the first login.
        const QString book = m_root + QStringLiteral("/storage/collection-root/jan/book");
        const QByteArray config = QStringLiteral("[server]\nhosts = 127.0.0.1:%1\n"
                                                 "[auth]\ntype = htpasswd\n"
                                                 "htpasswd_filename = %2/users\n"
                                                 "htpasswd_encryption = plain\n"
                                                 "[rights]\ntype = owner_only\n"
                                                 "[storage]\nfilesystem_folder = %2/storage\n"
                                                 "[web]\ntype = none\n"
                                                 "[logging]\nlevel = warning\n")
                                      .arg(m_port)
                                      .arg(m_root)
                                      .toUtf8();
        if (!QDir().mkpath(book) ||
            !writeFile(book + QStringLiteral("/.Radicale.props"), R"({"tag": "VADDRESSBOOK"})") ||
            !writeFile(m_root + QStringLiteral("/users"),
                       (user() + u':' + password() + u'\n').toUtf8()) ||
            !writeFile(m_root + QStringLiteral("/config"), config)) {
            m_error = QStringLiteral("cannot write the server's files in %1").arg(m_root);
            return false;
        }
    } else if (!QDir().mkpath(m_root + QStringLiteral("/storage"))) {
        m_error = QStringLiteral("cannot create %1/storage").arg(m_root);
        return false;
    }
    if (!m_asServerUser.isEmpty() && !handToServerUser(m_root)) {
        m_error = QStringLiteral("cannot hand %1 to the user nobody").arg(m_root);
        return false;
    }
    const QByteArray fifo = QFile::encodeName(m_root + QStringLiteral("/lifeline"));
    // Opened for reading and writing, so that the open does not wait for a reader;
    // close-on-exec keeps the server and other children from holding it open.
    if (::mkfifo(fifo.constData(), 0600) != 0 ||
        (m_lifeline = ::open(fifo.constData(), O_RDWR | O_CLOEXEC)) < 0) {
        m_error = QStringLiteral("cannot make the watchdog's pipe %1").arg(QFile::decodeName(fifo));
        return false;
    }
    return true;
}

bool DavTestServer::startWatchdog(qint64 serverPid)
{
    QProcess watchdog;
    watchdog.setProgram(QStringLiteral("/bin/sh"));
    watchdog.setArguments({QStringLiteral("-c"), QLatin1String(kWatchdog),
                           QStringLiteral("dav-test-watchdog"), m_root,
                           QString::number(serverPid)});
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

bool DavTestServer::start()
{
    m_error.clear();
    if (!available()) {
        m_error = m_unavailable;
        return false;
    }
    if (isRunning())
        return true;
    if (m_root.isEmpty() && !prepare())
        return false;
    QStringList arguments;
    if (m_kind == Radicale)
        arguments = {QStringLiteral("-C"), m_root + QStringLiteral("/config")};
    else
        arguments = {QStringLiteral("-d"),         m_root + QStringLiteral("/storage"),
                     QStringLiteral("--defaults"), QStringLiteral("-l"),
                     QStringLiteral("127.0.0.1"),  QStringLiteral("-p"),
                     QString::number(m_port)};
    const QStringList command = m_asServerUser + QStringList{m_program} + arguments;
    m_server = std::make_unique<QProcess>();
    m_server->setProgram(command.first());
    m_server->setArguments(command.mid(1));
    m_server->setWorkingDirectory(m_root);
    // Xandikos's git library reads the configuration of $HOME and the XDG folders: the
    // server's own folder, which the user nobody may read.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_root);
    for (const char *name :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
        environment.remove(QLatin1String(name));
    m_server->setProcessEnvironment(environment);
    m_server->setStandardInputFile(QProcess::nullDevice());
    m_server->setStandardOutputFile(m_root + QStringLiteral("/server.log"), QIODevice::Append);
    m_server->setStandardErrorFile(m_root + QStringLiteral("/server.log"), QIODevice::Append);
    m_server->start();
    if (!m_server->waitForStarted(10000)) {
        m_error = QStringLiteral("cannot start %1: %2")
                      .arg(command.join(QLatin1Char(' ')), m_server->errorString());
        m_server.reset();
        return false;
    }
    if (!startWatchdog(m_server->processId())) {
        stop();
        return false;
    }
    const QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(200))
            return true;
        if (m_server->waitForFinished(50))
            break;
    }
    m_error = QStringLiteral("%1 did not answer on port %2:\n%3")
                  .arg(command.join(QLatin1Char(' ')))
                  .arg(m_port)
                  .arg(serverLog());
    stop();
    return false;
}

void DavTestServer::stop()
{
    if (m_watchdog > 0) {
        ::kill(static_cast<pid_t>(m_watchdog), SIGTERM);
        m_watchdog = 0;
    }
    if (!m_server)
        return;
    if (m_server->state() != QProcess::NotRunning) {
        m_server->terminate();
        if (!m_server->waitForFinished(5000)) {
            m_server->kill();
            m_server->waitForFinished(5000);
        }
    }
    m_server.reset();
}

QUrl DavTestServer::createAddressBook(const QString &name, const QString &displayName)
{
    const QUrl url = homeUrl().resolved(QUrl(name + u'/'));
    QByteArray body = R"(<?xml version="1.0" encoding="utf-8"?>)"
                      R"(<D:mkcol xmlns:D="DAV:" xmlns:C="urn:ietf:params:xml:ns:carddav">)"
                      R"(<D:set><D:prop><D:resourcetype><D:collection/><C:addressbook/>)"
                      R"(</D:resourcetype>)";
    if (!displayName.isEmpty())
        body += "<D:displayname>" + displayName.toHtmlEscaped().toUtf8() + "</D:displayname>";
    body += "</D:prop></D:set></D:mkcol>";
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/xml; charset=utf-8"));
    request.setRawHeader("Authorization",
                         "Basic " + (user() + u':' + password()).toUtf8().toBase64());
    QNetworkReply *reply = network.sendCustomRequest(request, "MKCOL", body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray answer = reply->readAll();
    reply->deleteLater();
    if (status != 201) {
        m_error = QStringLiteral("MKCOL %1 answered %2 %3: %4")
                      .arg(url.toString())
                      .arg(status)
                      .arg(reply->errorString(), QString::fromUtf8(answer));
        return QUrl();
    }
    return url;
}

VdirsyncerClient::VdirsyncerClient(const DavTestServer &server, const QUrl &book)
    : m_book(book.isEmpty() ? server.addressBookUrl() : book), m_user(server.user()),
      m_password(server.password())
{
    m_program = QStandardPaths::findExecutable(QStringLiteral("vdirsyncer"));
    if (m_program.isEmpty())
        m_unavailable = QStringLiteral("vdirsyncer is not installed (not on the PATH)");
    else if (!m_dir.isValid())
        m_unavailable =
            QStringLiteral("cannot create a temporary folder: %1").arg(m_dir.errorString());
    else
        QDir().mkpath(folder());
}

VdirsyncerClient::~VdirsyncerClient() = default;

QString VdirsyncerClient::folder() const
{
    return m_dir.path() + QStringLiteral("/cards");
}

bool VdirsyncerClient::writeConfig()
{
    QByteArray config =
        "[general]\nstatus_path = " + tomlString(m_dir.path() + QStringLiteral("/status/")) +
        "\n\n[pair phone]\na = \"phone_local\"\nb = \"phone_remote\"\n"
        "collections = null\n";
    if (!m_resolution.isEmpty())
        config += "conflict_resolution = " + tomlString(m_resolution) + '\n';
    config +=
        "\n[storage phone_local]\ntype = \"filesystem\"\npath = " + tomlString(folder() + u'/') +
        "\nfileext = \".vcf\"\n";
    config +=
        "\n[storage phone_remote]\ntype = \"carddav\"\nurl = " + tomlString(m_book.toString()) +
        "\nusername = " + tomlString(m_user) + "\npassword = " + tomlString(m_password) + '\n';
    if (!writeFile(m_dir.path() + QStringLiteral("/config"), config)) {
        m_error = QStringLiteral("cannot write %1/config").arg(m_dir.path());
        return false;
    }
    return true;
}

bool VdirsyncerClient::run(const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_dir.path());
    process.setProcessEnvironment(environment);
    process.start(m_program,
                  QStringList{QStringLiteral("-c"), m_dir.path() + QStringLiteral("/config")} +
                      arguments);
    const bool finished = process.waitForFinished(120000);
    if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    m_error = QStringLiteral("vdirsyncer %1 failed (%2):\n%3")
                  .arg(arguments.join(QLatin1Char(' ')),
                       finished ? QString::number(process.exitCode()) : process.errorString(),
                       QString::fromLocal8Bit(process.readAll()));
    return false;
}

bool VdirsyncerClient::sync()
{
    m_error.clear();
    if (!available()) {
        m_error = m_unavailable;
        return false;
    }
    if (!m_discovered) {
        if (!writeConfig() || !run({QStringLiteral("discover")}))
            return false;
        m_discovered = true;
    }
    return run({QStringLiteral("sync")});
}

QStringList VdirsyncerClient::cards() const
{
    QStringList names =
        QDir(folder()).entryList({QStringLiteral("*.vcf")}, QDir::Files, QDir::Name);
    for (QString &name : names)
        name.chop(4);
    return names;
}

QByteArray VdirsyncerClient::card(const QString &name) const
{
    QFile file(folder() + u'/' + name + QStringLiteral(".vcf"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool VdirsyncerClient::writeCard(const QString &name, const QByteArray &vcard)
{
    return writeFile(folder() + u'/' + name + QStringLiteral(".vcf"), vcard);
}

bool VdirsyncerClient::removeCard(const QString &name)
{
    return QFile::remove(folder() + u'/' + name + QStringLiteral(".vcf"));
}
