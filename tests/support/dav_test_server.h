#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <memory>

class QProcess;

// A private CardDAV server (Radicale or Xandikos) a test starts itself.
//
// Its storage lives in a temporary folder; it listens on a free port of 127.0.0.1
// only and holds one empty address book, ready at start. Radicale asks for one user
// (plain htpasswd); Xandikos has no authentication and ignores what a client sends.
// When the process runs as root, the server runs as the user nobody. A watchdog stops
// the server and removes the folder when the process ends without doing so itself.
class DavTestServer final
{
public:
    enum Kind { Radicale, Xandikos };

    explicit DavTestServer(Kind kind);
    // Stops the server; the folder goes with it.
    ~DavTestServer();
    DavTestServer(const DavTestServer &) = delete;
    DavTestServer &operator=(const DavTestServer &) = delete;

    // False when the server's program is missing; unavailableReason() says so, for QSKIP.
    bool available() const { return m_unavailable.isEmpty(); }
    QString unavailableReason() const { return m_unavailable; }

    // Starts the server and returns when its port answers; false with error() on failure.
    bool start();
    void stop();
    bool isRunning() const;
    // The failure of the last call, with the server's output.
    QString error() const { return m_error; }

    Kind kind() const { return m_kind; }
    QString name() const;
    QUrl baseUrl() const; // http://127.0.0.1:PORT/
    quint16 port() const { return m_port; }
    QString user() const { return QStringLiteral("jan"); }
    QString password() const { return QStringLiteral("tajne-haslo-2000"); }
    QUrl principalUrl() const;
    // The address book made at the first start, ending in '/'.
    QUrl addressBookUrl() const;
    // Makes another empty address book beside the first (extended MKCOL); its URL, or an
    // empty one with error().
    QUrl createAddressBook(const QString &name, const QString &displayName = QString());
    // The folder that holds the server's storage, its configuration and its log.
    QString folder() const { return m_root; }

private:
    bool prepare();
    bool startWatchdog(qint64 serverPid);
    QString serverLog() const;
    QUrl homeUrl() const;

    Kind m_kind;
    QString m_program;
    QStringList m_asServerUser; // prefix that drops root to nobody, else empty
    QString m_unavailable;
    QString m_error;
    std::unique_ptr<QTemporaryDir> m_temporary;
    QString m_root;
    quint16 m_port = 0;
    std::unique_ptr<QProcess> m_server;
    int m_lifeline = -1; // write end the watchdog waits on; closes when this process ends
    qint64 m_watchdog = 0;
};

// vdirsyncer run as a second client of a test server, as a phone syncs: it keeps one
// address book of the server in a local folder of .vcf files, one per card.
class VdirsyncerClient final
{
public:
    // The server's address book by default; `book` names another.
    explicit VdirsyncerClient(const DavTestServer &server, const QUrl &book = QUrl());
    ~VdirsyncerClient();
    VdirsyncerClient(const VdirsyncerClient &) = delete;
    VdirsyncerClient &operator=(const VdirsyncerClient &) = delete;

    bool available() const { return m_unavailable.isEmpty(); }
    QString unavailableReason() const { return m_unavailable; }

    // How a card changed on both sides is settled: "a wins" (the phone), "b wins" (the
    // server) or empty (vdirsyncer fails the sync). Before the first sync.
    void setConflictResolution(const QString &resolution) { m_resolution = resolution; }
    // Runs one sync both ways (discovering the pair at the first); false with error().
    bool sync();
    QString error() const { return m_error; }

    QString folder() const;
    // The cards of the local folder by file name without ".vcf", sorted.
    QStringList cards() const;
    QByteArray card(const QString &name) const;
    bool writeCard(const QString &name, const QByteArray &vcard);
    bool removeCard(const QString &name);

private:
    bool run(const QStringList &arguments);
    bool writeConfig();

    QString m_program;
    QString m_unavailable;
    QString m_error;
    QString m_resolution;
    QUrl m_book;
    QString m_user;
    QString m_password;
    QTemporaryDir m_dir;
    bool m_discovered = false;
};
