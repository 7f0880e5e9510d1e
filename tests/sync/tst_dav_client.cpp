#include "support/dav_test_server.h"
#include "sync/dav_client.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray vcard(const QByteArray &uid, const QByteArray &name)
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid + "\r\nFN:" + name + "\r\nN:" + name +
           ";;;;\r\nEND:VCARD\r\n";
}

QByteArray lf(QByteArray text)
{
    return text.replace("\r\n", "\n");
}

} // namespace

// Each test runs against a fresh server of the row's kind, skipped when it is missing.
#define START_SERVER(server)                                                                       \
    QFETCH(int, kind);                                                                             \
    DavTestServer server{static_cast<DavTestServer::Kind>(kind)};                                  \
    if (!server.available())                                                                       \
        QSKIP(qPrintable(server.unavailableReason()));                                             \
    QVERIFY2(server.start(), qPrintable(server.error()));                                          \
    DavClient client;                                                                              \
    client.setCredentials(server.user(), server.password());                                       \
    client.setTimeout(20000)

// The WebDAV/CardDAV client against Radicale and Xandikos.
class TestDavClient final : public QObject
{
    Q_OBJECT

private:
    static void servers()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("Radicale") << int(DavTestServer::Radicale);
        QTest::newRow("Xandikos") << int(DavTestServer::Xandikos);
    }

private slots:
    void discover_data() { servers(); }
    void discover()
    {
        START_SERVER(server);
        const QUrl second =
            server.createAddressBook(QStringLiteral("druga"), QStringLiteral("Druga książka"));
        QVERIFY2(second.isValid() && !second.isEmpty(), qPrintable(server.error()));

        QList<DavAddressBook> books = client.discover(server.baseUrl());
        QVERIFY2(!client.lastError(), qPrintable(client.lastError().message));
        QCOMPARE(books.size(), 2);
        std::sort(books.begin(), books.end(),
                  [](const auto &a, const auto &b) { return a.url.path() < b.url.path(); });
        const int book = 0; // "addressbook", "book" before "druga"
        QCOMPARE(books.at(book).url, server.addressBookUrl());
        QCOMPARE(books.at(1 - book).url, second);
        QCOMPARE(books.at(1 - book).displayName, QStringLiteral("Druga książka"));

        // An address the server has nothing at: by the well-known address and its redirect.
        QCOMPARE(client.discover(server.baseUrl().resolved(QUrl(QStringLiteral("/nic/")))).size(),
                 2);
        books = client.discover(server.addressBookUrl());
        QCOMPARE(books.size(), 1);
        QCOMPARE(books.first().url, server.addressBookUrl());
        QVERIFY(client.supportsSyncCollection(server.addressBookUrl()));
    }

    void cards_data() { servers(); }
    void cards()
    {
        START_SERVER(server);
        const QUrl book = server.addressBookUrl();
        const QUrl url = book.resolved(QUrl(QStringLiteral("jan%20kowalski@poczta.vcf")));
        const QByteArray text = vcard("uid-1", "Kowalski Żaneta");
        const DavClient::PutResult created = client.put({url, text, {}});
        QVERIFY2(!created.error, qPrintable(created.error.message));
        QCOMPARE(client.put({url, text, {}}).error.kind, DavError::PreconditionFailed);

        bool ok = false;
        const QList<DavCard> listed = client.list(book, &ok);
        QVERIFY2(ok, qPrintable(client.lastError().message));
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed.first().url, url);
        QVERIFY(!listed.first().etag.isEmpty());
        if (!created.etag.isEmpty())
            QCOMPARE(listed.first().etag, created.etag);

        const QUrl gone = book.resolved(QUrl(QStringLiteral("gone.vcf")));
        const QList<DavCard> fetched = client.multiget(book, {url, gone}, &ok);
        QVERIFY2(ok, qPrintable(client.lastError().message));
        QCOMPARE(fetched.size(), 1);
        QCOMPARE(fetched.first().etag, listed.first().etag);
        QVERIFY2(lf(fetched.first().vcard).contains("FN:Kowalski Żaneta\n"),
                 fetched.first().vcard.constData());

        const DavClient::PutResult changed =
            client.put({url, vcard("uid-1", "Nowak"), listed.first().etag});
        QVERIFY2(!changed.error, qPrintable(changed.error.message));
        const DavClient::PutResult stale =
            client.put({url, vcard("uid-1", "Stara"), listed.first().etag});
        QCOMPARE(stale.error.kind, DavError::PreconditionFailed);
        QCOMPARE(client.remove(url, listed.first().etag).kind, DavError::PreconditionFailed);
        QCOMPARE(client.remove(url, {}).kind, DavError::None);
        QCOMPARE(client.remove(url, {}).kind, DavError::None); // already gone
        QVERIFY(client.list(book, &ok).isEmpty());
    }

    void syncCollection_data() { servers(); }
    void syncCollection()
    {
        START_SERVER(server);
        const QUrl book = server.addressBookUrl();
        QList<DavClient::Put> puts;
        for (const QByteArray uid : {"a", "b", "c"})
            puts.append(
                {book.resolved(QUrl(QString::fromLatin1(uid + ".vcf"))), vcard(uid, uid), {}});
        for (const DavClient::PutResult &result : client.putAll(puts))
            QVERIFY2(!result.error, qPrintable(result.error.message));

        bool ok = false;
        const DavChanges all = client.syncCollection(book, {}, &ok);
        QVERIFY2(ok, qPrintable(client.lastError().message));
        QCOMPARE(all.changed.size(), 3);
        QVERIFY(all.removed.isEmpty());
        QVERIFY(!all.token.isEmpty());

        QVERIFY(
            !client.put({book.resolved(QUrl(QStringLiteral("d.vcf"))), vcard("d", "d"), {}}).error);
        QVERIFY(!client.remove(puts.at(1).url, {}));
        const DavChanges since = client.syncCollection(book, all.token, &ok);
        QVERIFY2(ok, qPrintable(client.lastError().message));
        QCOMPARE(since.changed.size(), 1);
        QCOMPARE(since.changed.first().url, book.resolved(QUrl(QStringLiteral("d.vcf"))));
        QCOMPARE(since.removed, QList<QUrl>{puts.at(1).url});
        QVERIFY(since.token != all.token);

        client.syncCollection(book, "http://example.org/unknown-token", &ok);
        QVERIFY(!ok);
        // Radicale refuses with valid-sync-token; Xandikos fails inside (500).
        const DavError::Kind refusal =
            server.kind() == DavTestServer::Radicale ? DavError::Refused : DavError::Server;
        QCOMPARE(client.lastError().kind, refusal);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("error");
        QTest::newRow("wrong password") << "password" << int(DavError::Authentication);
        QTest::newRow("closed port") << "closed" << int(DavError::NoConnection);
        QTest::newRow("silent server") << "silent" << int(DavError::Timeout);
        QTest::newRow("server error") << "503" << int(DavError::Server);
        QTest::newRow("cancelled") << "cancel" << int(DavError::NoConnection);
        QTest::newRow("untrusted certificate") << "certificate" << int(DavError::Certificate);
    }
    void failures()
    {
        QFETCH(QString, kind);
        QFETCH(int, error);
        DavClient client;
        client.setTimeout(kind == QLatin1String("silent") ? 500 : 20000);
        QUrl url;
        DavTestServer radicale(DavTestServer::Radicale);
        QTcpServer silent;
        QSslServer tls;
        if (kind == QLatin1String("password")) {
            if (!radicale.available())
                QSKIP(qPrintable(radicale.unavailableReason()));
            QVERIFY2(radicale.start(), qPrintable(radicale.error()));
            client.setCredentials(radicale.user(), radicale.password() + u'x');
            url = radicale.addressBookUrl();
        } else if (kind == QLatin1String("certificate")) {
            // A self-signed certificate, made by openssl for this run.
            QTemporaryDir dir;
            const QString key = dir.filePath(QStringLiteral("key.pem"));
            const QString cert = dir.filePath(QStringLiteral("cert.pem"));
            if (QProcess::execute(QStringLiteral("openssl"),
                                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                                   "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert}) != 0)
                QSKIP("openssl cannot make a certificate");
            QFile keyFile(key);
            QFile certFile(cert);
            QVERIFY(keyFile.open(QIODevice::ReadOnly) && certFile.open(QIODevice::ReadOnly));
            QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
            configuration.setPrivateKey(QSslKey(&keyFile, QSsl::Rsa));
            configuration.setLocalCertificate(QSslCertificate(&certFile));
            tls.setSslConfiguration(configuration);
            QVERIFY(tls.listen(QHostAddress::LocalHost));
            url = QUrl(QStringLiteral("https://127.0.0.1:%1/book/").arg(tls.serverPort()));
        } else if (kind == QLatin1String("503")) {
            // Answers every request with 503 and its own words.
            QVERIFY(silent.listen(QHostAddress::LocalHost));
            url = QUrl(QStringLiteral("http://127.0.0.1:%1/book/").arg(silent.serverPort()));
            connect(&silent, &QTcpServer::newConnection, &silent, [&silent] {
                QTcpSocket *socket = silent.nextPendingConnection();
                connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    socket->readAll();
                    if (!socket->property("answered").toBool())
                        socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Type: "
                                      "text/plain\r\nContent-Length: 19\r\nConnection: "
                                      "close\r\n\r\nPrzerwa techniczna.");
                    socket->setProperty("answered", true);
                });
            });
        } else if (kind == QLatin1String("closed")) {
            QVERIFY(silent.listen(QHostAddress::LocalHost));
            url = QUrl(QStringLiteral("http://127.0.0.1:%1/book/").arg(silent.serverPort()));
            silent.close();
        } else {
            // Accepts and reads, never answers.
            QVERIFY(silent.listen(QHostAddress::LocalHost));
            url = QUrl(QStringLiteral("http://127.0.0.1:%1/book/").arg(silent.serverPort()));
            if (kind == QLatin1String("cancel")) {
                QElapsedTimer started;
                started.start();
                client.setKeepGoing([started] { return started.elapsed() < 300; });
            }
        }
        bool ok = true;
        client.list(url, &ok);
        QVERIFY(!ok);
        QCOMPARE(int(client.lastError().kind), error);
        QVERIFY(!client.lastError().message.isEmpty());
        if (kind == QLatin1String("cancel"))
            QCOMPARE(client.lastError().message, QStringLiteral("Przerwano."));
        if (kind == QLatin1String("certificate"))
            QVERIFY2(client.lastError().message.contains(QStringLiteral("self-signed")),
                     qPrintable(client.lastError().message));
        if (kind == QLatin1String("503"))
            QVERIFY2(client.lastError().message.contains(QStringLiteral("Przerwa techniczna.")),
                     qPrintable(client.lastError().message));
        if (kind == QLatin1String("503"))
            QVERIFY2(client.lastError().message.contains(QStringLiteral("Przerwa techniczna.")),
                     qPrintable(client.lastError().message));
        if (kind == QLatin1String("password"))
            QVERIFY(client.lastError().message.startsWith(
                QStringLiteral("Serwer nie przyjął użytkownika lub hasła (401)")));
    }
};

QTEST_GUILESS_MAIN(TestDavClient)
#include "tst_dav_client.moc"
