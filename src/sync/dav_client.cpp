#include "sync/dav_client.h"

#include <QAuthenticator>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslError>
#include <QThread>
#include <QTimer>
#include <QXmlStreamReader>

#include <algorithm>
#include <map>

namespace {

const QString kDav = QStringLiteral("DAV:");
const QString kCardDav = QStringLiteral("urn:ietf:params:xml:ns:carddav");
const int kMultigetGroup = 200;
const int kMaxRedirects = 5;

const QByteArray kXmlHead = R"(<?xml version="1.0" encoding="utf-8"?>)";
const QByteArray kNamespaces = R"( xmlns:D="DAV:" xmlns:C="urn:ietf:params:xml:ns:carddav")";

QByteArray xmlEscaped(const QByteArray &text)
{
    return QString::fromUtf8(text).toHtmlEscaped().toUtf8();
}

QByteArray propfindBody(const QByteArray &props)
{
    return kXmlHead + "<D:propfind" + kNamespaces + "><D:prop>" + props + "</D:prop></D:propfind>";
}

// The path a server's href names, for comparing two addresses of the same collection.
QString pathKey(const QUrl &url)
{
    QString path = url.adjusted(QUrl::NormalizePathSegments).path(QUrl::FullyDecoded);
    while (path.endsWith(u'/'))
        path.chop(1);
    return path;
}

// An href resolved against the request, its path in one spelling: servers quote more
// than they must ("%40" for "@"), and a card must keep the address it was uploaded to.
// An encoded slash stays as it is, since decoding it would change the path.
QUrl resolvedHref(const QUrl &base, const QString &href)
{
    QUrl url = base.resolved(QUrl(href.trimmed(), QUrl::TolerantMode));
    if (!url.path(QUrl::FullyEncoded).contains(QLatin1String("%2F"), Qt::CaseInsensitive))
        url.setPath(url.path(QUrl::FullyDecoded), QUrl::DecodedMode);
    return url;
}

QUrl asCollection(QUrl url)
{
    if (!url.path().endsWith(u'/'))
        url.setPath(url.path() + u'/');
    return url;
}

QString hostOf(const QUrl &url)
{
    return url.port() > 0 ? QStringLiteral("%1:%2").arg(url.host()).arg(url.port()) : url.host();
}

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    return a.scheme() == b.scheme() && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 &&
           a.port(a.scheme() == QLatin1String("https") ? 443 : 80) ==
               b.port(b.scheme() == QLatin1String("https") ? 443 : 80);
}

// One response of a multistatus: what its successful propstats held.
struct DavResponse
{
    QUrl href;
    int status = 0; // the response's own status, 0 when it had propstats instead
    QByteArray etag;
    QByteArray addressData;
    bool hasAddressData = false;
    bool collection = false;
    bool addressbook = false;
    QString displayName;
    QString description;   // addressbook-description
    QList<QUrl> principal; // current-user-principal
    QList<QUrl> homeSet;   // addressbook-home-set
    QStringList reports;   // supported-report-set, as "namespace|name"
};

struct Multistatus
{
    QList<DavResponse> responses;
    QByteArray syncToken;
    QString error; // why the answer was no multistatus, empty when it was one
};

int statusOfLine(const QString &line)
{
    // "HTTP/1.1 404 Not Found"
    const QStringList parts = line.trimmed().split(u' ', Qt::SkipEmptyParts);
    return parts.size() >= 2 ? parts.at(1).toInt() : 0;
}

// Reads the hrefs inside the current element, resolved against `base`.
QList<QUrl> readHrefs(QXmlStreamReader &xml, const QUrl &base)
{
    QList<QUrl> hrefs;
    while (xml.readNextStartElement()) {
        if (xml.namespaceUri() == kDav && xml.name() == QLatin1String("href"))
            hrefs << resolvedHref(base, xml.readElementText());
        else
            xml.skipCurrentElement();
    }
    return hrefs;
}

void readProp(QXmlStreamReader &xml, const QUrl &base, DavResponse &into)
{
    while (xml.readNextStartElement()) {
        const auto ns = xml.namespaceUri();
        const auto name = xml.name();
        if (ns == kDav && name == QLatin1String("getetag")) {
            into.etag = xml.readElementText().trimmed().toUtf8();
        } else if (ns == kCardDav && name == QLatin1String("address-data")) {
            into.addressData = xml.readElementText().toUtf8();
            into.hasAddressData = true;
        } else if (ns == kDav && name == QLatin1String("displayname")) {
            into.displayName = xml.readElementText().trimmed();
        } else if (ns == kCardDav && name == QLatin1String("addressbook-description")) {
            into.description = xml.readElementText().trimmed();
        } else if (ns == kDav && name == QLatin1String("resourcetype")) {
            while (xml.readNextStartElement()) {
                if (xml.namespaceUri() == kDav && xml.name() == QLatin1String("collection"))
                    into.collection = true;
                else if (xml.namespaceUri() == kCardDav &&
                         xml.name() == QLatin1String("addressbook"))
                    into.addressbook = true;
                xml.skipCurrentElement();
            }
        } else if (ns == kDav && name == QLatin1String("current-user-principal")) {
            into.principal = readHrefs(xml, base);
        } else if (ns == kCardDav && name == QLatin1String("addressbook-home-set")) {
            into.homeSet = readHrefs(xml, base);
        } else if (ns == kDav && name == QLatin1String("supported-report-set")) {
            // supported-report-set / supported-report / report / the report's element;
            // Xandikos leaves out the report element.
            while (xml.readNextStartElement()) {
                while (xml.readNextStartElement()) {
                    if (xml.namespaceUri() == kDav && xml.name() == QLatin1String("report")) {
                        while (xml.readNextStartElement()) {
                            into.reports
                                << xml.namespaceUri().toString() + u'|' + xml.name().toString();
                            xml.skipCurrentElement();
                        }
                    } else {
                        into.reports
                            << xml.namespaceUri().toString() + u'|' + xml.name().toString();
                        xml.skipCurrentElement();
                    }
                }
            }
        } else {
            xml.skipCurrentElement();
        }
    }
}

DavResponse readResponse(QXmlStreamReader &xml, const QUrl &base)
{
    DavResponse response;
    while (xml.readNextStartElement()) {
        if (xml.namespaceUri() != kDav) {
            xml.skipCurrentElement();
        } else if (xml.name() == QLatin1String("href")) {
            response.href = resolvedHref(base, xml.readElementText());
        } else if (xml.name() == QLatin1String("status")) {
            response.status = statusOfLine(xml.readElementText());
        } else if (xml.name() == QLatin1String("propstat")) {
            DavResponse found;
            int status = 0;
            while (xml.readNextStartElement()) {
                if (xml.namespaceUri() == kDav && xml.name() == QLatin1String("prop"))
                    readProp(xml, base, found);
                else if (xml.namespaceUri() == kDav && xml.name() == QLatin1String("status"))
                    status = statusOfLine(xml.readElementText());
                else
                    xml.skipCurrentElement();
            }
            // Properties the server lacks come in a propstat of their own (404).
            if (status < 200 || status > 299)
                continue;
            if (!found.etag.isEmpty())
                response.etag = found.etag;
            if (found.hasAddressData) {
                response.addressData = found.addressData;
                response.hasAddressData = true;
            }
            response.collection = response.collection || found.collection;
            response.addressbook = response.addressbook || found.addressbook;
            if (!found.displayName.isEmpty())
                response.displayName = found.displayName;
            response.principal += found.principal;
            response.homeSet += found.homeSet;
            response.reports += found.reports;
        } else {
            xml.skipCurrentElement();
        }
    }
    return response;
}

Multistatus parseMultistatus(const QByteArray &body, const QUrl &base)
{
    Multistatus result;
    QXmlStreamReader xml(body);
    if (!xml.readNextStartElement() || xml.namespaceUri() != kDav ||
        xml.name() != QLatin1String("multistatus")) {
        result.error = xml.hasError() ? xml.errorString()
                                      : QStringLiteral("odpowiedź nie jest listą multistatus");
        return result;
    }
    while (xml.readNextStartElement()) {
        if (xml.namespaceUri() == kDav && xml.name() == QLatin1String("response"))
            result.responses << readResponse(xml, base);
        else if (xml.namespaceUri() == kDav && xml.name() == QLatin1String("sync-token"))
            result.syncToken = xml.readElementText().trimmed().toUtf8();
        else
            xml.skipCurrentElement();
    }
    if (xml.hasError())
        result.error = QStringLiteral("błąd XML w wierszu %1: %2")
                           .arg(xml.lineNumber())
                           .arg(xml.errorString());
    return result;
}

// The server's own words in an error answer: short plain text, or the conditions a
// WebDAV error element names ("valid-sync-token") with any text it holds.
QString serverText(const QByteArray &contentType, const QByteArray &body)
{
    const QByteArray type = contentType.toLower();
    if (type.startsWith("text/plain")) {
        const QString text = QString::fromUtf8(body).simplified();
        return text.size() <= 300 ? text : QString();
    }
    if (!type.contains("xml"))
        return {};
    QXmlStreamReader xml(body);
    if (!xml.readNextStartElement() || xml.namespaceUri() != kDav ||
        xml.name() != QLatin1String("error"))
        return {};
    QStringList parts;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement())
            parts << xml.name().toString();
        else if (xml.isCharacters() && !xml.isWhitespace())
            parts << xml.text().toString().simplified();
    }
    return parts.join(QStringLiteral(", ")).left(300);
}

} // namespace

struct DavClient::Private
{
    // One request, as sent again after a redirect.
    struct Request
    {
        QByteArray method;
        QUrl url;
        QByteArray body;
        QList<std::pair<QByteArray, QByteArray>> headers;
    };
    struct Answer
    {
        DavError error;
        int status = 0;
        QUrl url; // after redirects
        QByteArray body;
        QByteArray contentType;
        QByteArray etag;
    };
    struct Flight
    {
        int index = 0;
        Request request;
        int redirects = 0;
        int authAsked = 0;
        bool timedOut = false;
        QStringList sslErrors;
        QTimer *timer = nullptr;
    };

    QString user;
    QString password;
    int timeout = 30000;
    int parallel = 6;
    std::function<bool()> keepGoing;
    std::unique_ptr<QNetworkAccessManager> manager;
    std::map<QNetworkReply *, Flight> flights;
    bool cancelled = false;

    QNetworkAccessManager &network();
    QNetworkReply *send(Flight flight);
    Answer finish(QNetworkReply *reply, Flight &flight);
    QList<Answer> run(const QList<Request> &requests, int atOnce);
    Answer runOne(const Request &request) { return run({request}, 1).constFirst(); }
    // A PROPFIND or REPORT whose answer must be a multistatus.
    Multistatus ask(const QByteArray &method, const QUrl &url, const QByteArray &depth,
                    const QByteArray &body, DavError *error);
};

QNetworkAccessManager &DavClient::Private::network()
{
    // Made on the thread that sends, which need not be the one that made the client.
    if (!manager || manager->thread() != QThread::currentThread()) {
        manager = std::make_unique<QNetworkAccessManager>();
        manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
        QObject::connect(manager.get(), &QNetworkAccessManager::authenticationRequired,
                         manager.get(), [this](QNetworkReply *reply, QAuthenticator *auth) {
                             const auto it = flights.find(reply);
                             // Asked again for the same request: the server refused them.
                             if (it == flights.end() || it->second.authAsked++ > 0 ||
                                 user.isEmpty())
                                 return;
                             auth->setUser(user);
                             auth->setPassword(password);
                         });
    }
    return *manager;
}

QNetworkReply *DavClient::Private::send(Flight flight)
{
    QNetworkRequest request(flight.request.url);
    request.setRawHeader("User-Agent", "Kartax2000");
    for (const auto &[name, value] : flight.request.headers)
        request.setRawHeader(name, value);
    if (!flight.request.body.isEmpty() && !request.hasRawHeader("Content-Type"))
        request.setRawHeader("Content-Type", "application/xml; charset=utf-8");
    QNetworkReply *reply =
        network().sendCustomRequest(request, flight.request.method, flight.request.body);
    flight.timer = new QTimer(reply);
    flight.timer->setSingleShot(true);
    flight.timer->setInterval(timeout);
    flight.timedOut = false;
    flight.sslErrors.clear();
    flights[reply] = flight;
    QTimer *timer = flight.timer;
    auto alive = [timer] { timer->start(); };
    QObject::connect(reply, &QNetworkReply::downloadProgress, timer, alive);
    QObject::connect(reply, &QNetworkReply::uploadProgress, timer, alive);
    QObject::connect(reply, &QNetworkReply::readyRead, timer, alive);
    QObject::connect(reply, &QNetworkReply::metaDataChanged, timer, alive);
    QObject::connect(timer, &QTimer::timeout, reply, [this, reply] {
        flights[reply].timedOut = true;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::sslErrors, reply,
                     [this, reply](const QList<QSslError> &errors) {
                         for (const QSslError &error : errors)
                             flights[reply].sslErrors << error.errorString();
                     });
    timer->start();
    return reply;
}

DavClient::Private::Answer DavClient::Private::finish(QNetworkReply *reply, Flight &flight)
{
    Answer answer;
    answer.url = flight.request.url;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->isOpen())
        answer.body = reply->readAll();
    answer.contentType = reply->rawHeader("Content-Type");
    answer.etag = reply->rawHeader("ETag");
    const QString host = hostOf(flight.request.url);
    const QString where = QStringLiteral("%1 %2").arg(QString::fromLatin1(flight.request.method),
                                                      flight.request.url.toDisplayString());
    DavError &error = answer.error;
    error.status = answer.status;
    if (answer.status == 0 || reply->error() == QNetworkReply::OperationCanceledError) {
        error.status = 0;
        switch (reply->error()) {
        case QNetworkReply::OperationCanceledError:
        case QNetworkReply::TimeoutError:
            if (cancelled && !flight.timedOut) {
                error.kind = DavError::NoConnection;
                error.message = QStringLiteral("Przerwano.");
            } else {
                error.kind = DavError::Timeout;
                error.message = QStringLiteral("Serwer %1 nie odpowiedział w ciągu %2 s (%3).")
                                    .arg(host)
                                    .arg(QLocale(QLocale::Polish).toString(timeout / 1000.0))
                                    .arg(where);
            }
            break;
        case QNetworkReply::SslHandshakeFailedError:
            error.kind = DavError::Certificate;
            error.message = QStringLiteral("Nie przyjęto certyfikatu serwera %1: %2")
                                .arg(host, flight.sslErrors.isEmpty()
                                               ? reply->errorString()
                                               : flight.sslErrors.join(QStringLiteral("; ")));
            break;
        default: {
            QString cause;
            switch (reply->error()) {
            case QNetworkReply::ConnectionRefusedError:
                cause = QStringLiteral("serwer odrzuca połączenie");
                break;
            case QNetworkReply::HostNotFoundError:
                cause = QStringLiteral("nie znaleziono takiego serwera");
                break;
            case QNetworkReply::RemoteHostClosedError:
                cause = QStringLiteral("serwer zamknął połączenie");
                break;
            default:
                cause = reply->errorString();
            }
            error.kind = DavError::NoConnection;
            error.message = QStringLiteral("Brak połączenia z serwerem %1: %2").arg(host, cause);
        }
        }
        return answer;
    }
    if (answer.status >= 200 && answer.status <= 299)
        return answer;
    const QString reason =
        QStringLiteral("%1 %2")
            .arg(answer.status)
            .arg(QString::fromUtf8(
                reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray()));
    if (answer.status == 401) {
        error.kind = DavError::Authentication;
        error.message = QStringLiteral("Serwer nie przyjął użytkownika lub hasła (401)");
    } else if (answer.status == 412) {
        error.kind = DavError::PreconditionFailed;
        error.message =
            QStringLiteral("Karta na serwerze jest już inna (%1): %2").arg(where, reason);
    } else if (answer.status >= 500) {
        error.kind = DavError::Server;
        error.message = QStringLiteral("Błąd serwera (%1): %2").arg(where, reason);
    } else if (answer.status >= 300 && answer.status <= 399) {
        error.kind = DavError::Refused;
        error.message = QStringLiteral("Serwer przekierował żądanie (%1) pod inny adres: %2 %3")
                            .arg(where, reason, QString::fromUtf8(reply->rawHeader("Location")));
    } else {
        error.kind = DavError::Refused;
        error.message = QStringLiteral("Serwer odmówił (%1): %2").arg(where, reason);
    }
    const QString text = serverText(answer.contentType, answer.body);
    if (!text.isEmpty())
        error.message += QStringLiteral(": ") + text;
    return answer;
}

QList<DavClient::Private::Answer> DavClient::Private::run(const QList<Request> &requests,
                                                          int atOnce)
{
    QList<Answer> answers(requests.size());
    QEventLoop loop;
    int next = 0;
    int running = 0;
    cancelled = false;
    QObject receiver; // ends the handlers' connections with the loop
    std::function<void(Flight)> start;
    auto startNext = [&] {
        while (running < atOnce && next < requests.size() && !cancelled) {
            ++running;
            Flight flight;
            flight.index = next;
            flight.request = requests.at(next++);
            start(flight);
        }
    };
    start = [&](Flight flight) {
        QNetworkReply *reply = send(std::move(flight));
        QObject::connect(reply, &QNetworkReply::finished, &receiver, [&, reply] {
            auto it = flights.find(reply);
            Flight done = it->second;
            flights.erase(it);
            done.timer->stop();
            reply->deleteLater();
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            const QUrl location =
                reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
            // Followed here rather than by Qt, so that the method and its body go along.
            if (status >= 300 && status <= 399 && status != 304 && location.isValid() &&
                done.redirects < kMaxRedirects && !cancelled) {
                const QUrl target = done.request.url.resolved(location);
                if (sameOrigin(target, done.request.url)) {
                    done.request.url = target;
                    ++done.redirects;
                    done.authAsked = 0;
                    start(done);
                    return;
                }
            }
            answers[done.index] = finish(reply, done);
            --running;
            startNext();
            if (running == 0)
                loop.quit();
        });
    };
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!keepGoing || keepGoing() || cancelled)
            return;
        cancelled = true;
        const auto inFlight = flights;
        for (const auto &[reply, flight] : inFlight)
            reply->abort();
    });
    poll.start();
    startNext();
    if (running > 0)
        loop.exec();
    // Requests never sent because the caller cancelled.
    for (int i = next; i < requests.size(); ++i) {
        answers[i].error.kind = DavError::NoConnection;
        answers[i].error.message = QStringLiteral("Przerwano.");
    }
    return answers;
}

DavClient::DavClient() : d(std::make_unique<Private>()) {}

DavClient::~DavClient() = default;

void DavClient::setCredentials(const QString &user, const QString &password)
{
    d->user = user;
    d->password = password;
    // Credentials Qt keeps from earlier requests would go on being sent.
    if (d->manager)
        d->manager->clearAccessCache();
}

void DavClient::setTimeout(int milliseconds)
{
    d->timeout = std::max(1, milliseconds);
}

void DavClient::setParallel(int requests)
{
    // Qt opens at most six connections to a host; a request beyond them would wait in its
    // queue with its timeout already running.
    d->parallel = std::clamp(requests, 1, 6);
}

void DavClient::setKeepGoing(std::function<bool()> keepGoing)
{
    d->keepGoing = std::move(keepGoing);
}

Multistatus DavClient::Private::ask(const QByteArray &method, const QUrl &url,
                                    const QByteArray &depth, const QByteArray &body,
                                    DavError *error)
{
    Request request{method, url, body, {}};
    if (!depth.isEmpty())
        request.headers.emplaceBack("Depth", depth);
    const Answer answer = runOne(request);
    *error = answer.error;
    if (answer.error)
        return {};
    Multistatus result = parseMultistatus(answer.body, answer.url);
    if (!result.error.isEmpty()) {
        error->kind = DavError::BadAnswer;
        error->status = answer.status;
        error->message =
            QStringLiteral("Serwer %1 odpowiedział niezrozumiale na %2 %3: %4")
                .arg(hostOf(url), QString::fromLatin1(method), url.toDisplayString(), result.error);
    }
    return result;
}

QList<DavAddressBook> DavClient::discover(const QUrl &url)
{
    m_error = {};
    const QByteArray props = "<D:resourcetype/><D:displayname/><D:current-user-principal/>"
                             "<C:addressbook-home-set/>";
    auto fatal = [](const DavError &error) {
        return error.kind == DavError::NoConnection || error.kind == DavError::Timeout ||
               error.kind == DavError::Certificate || error.kind == DavError::Authentication;
    };
    auto book = [](const DavResponse &response) {
        const QStringList parts = pathKey(response.href).split(u'/', Qt::SkipEmptyParts);
        return DavAddressBook{asCollection(response.href),
                              response.displayName.isEmpty()
                                  ? (parts.isEmpty() ? QString() : parts.constLast())
                                  : response.displayName};
    };
    // The address itself: a book, a principal or a page that names the user's principal.
    DavError error;
    Multistatus here = d->ask("PROPFIND", url, "0", propfindBody(props), &error);
    if (fatal(error)) {
        m_error = error;
        return {};
    }
    QList<QUrl> principals;
    QList<QUrl> homes;
    for (const DavResponse &response : std::as_const(here.responses)) {
        if (response.addressbook)
            return {book(response)};
        principals += response.principal;
        homes += response.homeSet;
    }
    if (homes.isEmpty() && principals.isEmpty()) {
        const QUrl wellKnown = url.resolved(QUrl(QStringLiteral("/.well-known/carddav")));
        DavError knownError;
        const Multistatus known =
            d->ask("PROPFIND", wellKnown, "0", propfindBody(props), &knownError);
        if (fatal(knownError)) {
            m_error = knownError;
            return {};
        }
        for (const DavResponse &response : known.responses) {
            principals += response.principal;
            homes += response.homeSet;
        }
        if (!error)
            error = knownError;
    }
    if (homes.isEmpty()) {
        for (const QUrl &principal : std::as_const(principals)) {
            const Multistatus found = d->ask("PROPFIND", principal, "0",
                                             propfindBody("<C:addressbook-home-set/>"), &error);
            if (error) {
                m_error = error;
                return {};
            }
            for (const DavResponse &response : found.responses)
                homes += response.homeSet;
        }
    }
    if (homes.isEmpty()) {
        m_error = error;
        if (!m_error) {
            m_error.kind = DavError::BadAnswer;
            m_error.message =
                QStringLiteral("Serwer %1 nie wskazał książek adresowych pod adresem %2: to nie "
                               "jest serwer CardDAV albo adres jest zły.")
                    .arg(hostOf(url), url.toDisplayString());
        }
        return {};
    }
    QList<DavAddressBook> books;
    QStringList seen;
    for (const QUrl &home : std::as_const(homes)) {
        const Multistatus found = d->ask("PROPFIND", asCollection(home), "1",
                                         propfindBody("<D:resourcetype/><D:displayname/>"), &error);
        if (error) {
            m_error = error;
            return {};
        }
        for (const DavResponse &response : found.responses) {
            if (!response.addressbook || seen.contains(pathKey(response.href)))
                continue;
            seen << pathKey(response.href);
            books << book(response);
        }
    }
    return books;
}

bool DavClient::supportsSyncCollection(const QUrl &book)
{
    const Multistatus found =
        d->ask("PROPFIND", book, "0", propfindBody("<D:supported-report-set/>"), &m_error);
    for (const DavResponse &response : found.responses)
        if (response.reports.contains(kDav + QStringLiteral("|sync-collection")))
            return true;
    return false;
}

DavChanges DavClient::syncCollection(const QUrl &book, const QByteArray &token, bool *ok)
{
    const QByteArray body = kXmlHead + "<D:sync-collection" + kNamespaces + "><D:sync-token>" +
                            xmlEscaped(token) +
                            "</D:sync-token><D:sync-level>1</D:sync-level>"
                            "<D:prop><D:getetag/></D:prop></D:sync-collection>";
    const Multistatus found = d->ask("REPORT", book, "0", body, &m_error);
    DavChanges changes;
    if (!m_error && found.syncToken.isEmpty()) {
        m_error.kind = DavError::BadAnswer;
        m_error.message = QStringLiteral("Serwer %1 nie podał znacznika zmian (sync-token) "
                                         "w odpowiedzi na %2.")
                              .arg(hostOf(book), book.toDisplayString());
    }
    if (m_error) {
        *ok = false;
        return changes;
    }
    const QString collection = pathKey(book);
    for (const DavResponse &response : found.responses) {
        if (pathKey(response.href) == collection) {
            // The collection itself: 507 says more changes wait for the next request.
            changes.truncated = changes.truncated || response.status == 507;
            continue;
        }
        if (response.status == 404)
            changes.removed << response.href;
        else if (!response.collection && !response.href.path().endsWith(u'/'))
            changes.changed << DavCard{response.href, response.etag, {}};
    }
    changes.token = found.syncToken;
    *ok = true;
    return changes;
}

QList<DavCard> DavClient::list(const QUrl &book, bool *ok)
{
    const Multistatus found =
        d->ask("PROPFIND", book, "1", propfindBody("<D:resourcetype/><D:getetag/>"), &m_error);
    QList<DavCard> cards;
    *ok = !m_error;
    const QString collection = pathKey(book);
    for (const DavResponse &response : found.responses) {
        // A card listed without an ETag is still there: multiget gives it one.
        if (response.collection || response.href.path().endsWith(u'/') ||
            pathKey(response.href) == collection)
            continue;
        cards << DavCard{response.href, response.etag, {}};
    }
    return cards;
}

QList<DavCard> DavClient::multiget(const QUrl &book, const QList<QUrl> &cards, bool *ok)
{
    m_error = {};
    QList<DavCard> result;
    for (qsizetype first = 0; first < cards.size(); first += kMultigetGroup) {
        QByteArray body = kXmlHead + "<C:addressbook-multiget" + kNamespaces +
                          "><D:prop><D:getetag/><C:address-data/></D:prop>";
        for (const QUrl &card : cards.mid(first, kMultigetGroup))
            body += "<D:href>" + xmlEscaped(book.resolved(card).path(QUrl::FullyEncoded).toUtf8()) +
                    "</D:href>";
        body += "</C:addressbook-multiget>";
        const Multistatus found = d->ask("REPORT", book, QByteArray(), body, &m_error);
        if (m_error) {
            *ok = false;
            return result;
        }
        for (const DavResponse &response : found.responses)
            if (response.hasAddressData && response.status == 0)
                result << DavCard{response.href, response.etag, response.addressData};
    }
    *ok = true;
    return result;
}

DavClient::PutResult DavClient::put(const Put &request)
{
    return putAll({request}).constFirst();
}

QList<DavClient::PutResult> DavClient::putAll(const QList<Put> &requests)
{
    QList<Private::Request> sent;
    sent.reserve(requests.size());
    for (const Put &put : requests) {
        Private::Request request{
            "PUT", put.url, put.vcard, {{"Content-Type", "text/vcard; charset=utf-8"}}};
        if (put.ifMatch.isEmpty())
            request.headers.emplaceBack("If-None-Match", "*");
        else
            request.headers.emplaceBack("If-Match", put.ifMatch);
        sent << request;
    }
    const QList<Private::Answer> answers = d->run(sent, d->parallel);
    QList<PutResult> results;
    results.reserve(answers.size());
    m_error = {};
    for (const Private::Answer &answer : answers) {
        results << PutResult{answer.error, answer.error ? QByteArray() : answer.etag};
        if (answer.error && !m_error)
            m_error = answer.error;
    }
    return results;
}

bool DavClient::putWholeBook(const QUrl &book, const QByteArray &cards)
{
    const Multistatus found = d->ask(
        "PROPFIND", book, "1",
        propfindBody("<D:resourcetype/><D:getetag/><D:displayname/><C:addressbook-description/>"),
        &m_error);
    if (m_error)
        return false;
    const QString collection = pathKey(book);
    const DavResponse *self = nullptr;
    for (const DavResponse &response : found.responses) {
        if (pathKey(response.href) == collection) {
            self = &response;
        } else {
            m_error = {
                DavError::Refused, 0,
                QStringLiteral("Książka adresowa %1 nie jest pusta.").arg(book.toDisplayString())};
            return false;
        }
    }
    if (!self || self->etag.isEmpty()) {
        m_error = {DavError::Refused, 0,
                   QStringLiteral("Serwer %1 nie podaje znacznika (ETag) książki adresowej.")
                       .arg(hostOf(book))};
        return false;
    }
    const DavResponse before = *self;
    const Private::Answer answer =
        d->runOne({"PUT",
                   asCollection(book),
                   cards,
                   {{"Content-Type", "text/vcard; charset=utf-8"}, {"If-Match", before.etag}}});
    m_error = answer.error;
    if (m_error)
        return false;
    QByteArray props;
    if (!before.displayName.isEmpty())
        props += "<D:displayname>" + xmlEscaped(before.displayName.toUtf8()) + "</D:displayname>";
    if (!before.description.isEmpty())
        props += "<C:addressbook-description>" + xmlEscaped(before.description.toUtf8()) +
                 "</C:addressbook-description>";
    if (!props.isEmpty()) {
        const QByteArray body = kXmlHead + "<D:propertyupdate" + kNamespaces + "><D:set><D:prop>" +
                                props + "</D:prop></D:set></D:propertyupdate>";
        const Private::Answer named = d->runOne(
            {"PROPPATCH", asCollection(book), body, {{"Content-Type", "application/xml"}}});
        // The cards are there; a name that could not be set again is only told.
        if (named.error)
            qWarning("%s", qUtf8Printable(named.error.message));
    }
    return true;
}

DavError DavClient::remove(const QUrl &card, const QByteArray &ifMatch)
{
    Private::Request request{"DELETE", card, {}, {}};
    if (!ifMatch.isEmpty())
        request.headers.emplaceBack("If-Match", ifMatch);
    m_error = d->runOne(request).error;
    if (m_error.status == 404)
        m_error = {};
    return m_error;
}
