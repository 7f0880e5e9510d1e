#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>

class QNetworkAccessManager;

// What a WebDAV request ended with, in the terms the user is told of.
struct DavError
{
    enum Kind {
        None,
        NoConnection,       // the host is unknown, refuses or the connection broke
        Timeout,            // the server did not answer in time
        Certificate,        // the server's certificate was refused (never accepted silently)
        Authentication,     // 401: wrong user or password
        Refused,            // 403, 404, 405 and other 4xx but 412
        PreconditionFailed, // 412: the resource changed (If-Match) or exists (If-None-Match)
        Server,             // 5xx
        BadAnswer,          // an answer that is not the WebDAV the request asked for
    };
    Kind kind = None;
    int status = 0;
    // In Polish, with the cause: "Brak połączenia z serwerem example.org: …", "Serwer
    // odmówił: 403 Forbidden", the server's own text appended where it gave one.
    QString message;

    explicit operator bool() const { return kind != None; }
};

// An address book found on a server.
struct DavAddressBook
{
    QUrl url;            // the collection, ending in '/'
    QString displayName; // its name, or the last part of its path when it has none
};

// One card of a collection, as a listing or a report names it.
struct DavCard
{
    QUrl url;         // absolute
    QByteArray etag;  // as the server sent it, quotes and weak prefix kept
    QByteArray vcard; // the card's text, when the request fetched it
};

// What a sync-collection report (RFC 6578) gave.
struct DavChanges
{
    QList<DavCard> changed; // new or changed since the token, without text
    QList<QUrl> removed;
    QByteArray token;       // the token to give next time
    bool truncated = false; // 507 on the collection: ask again with the new token
};

// A synchronous CardDAV client (RFC 6352 over WebDAV, RFC 4918) for one server and
// user: each call sends its requests and waits for the answers in a local event loop,
// so the caller runs it on a thread of its own. HTTPS uses the system's certificates;
// a certificate error fails with its reasons. Requests that the server answers with a
// redirect are followed within the server. Not thread-safe: one client per thread.
class DavClient final
{
public:
    DavClient();
    ~DavClient();
    DavClient(const DavClient &) = delete;
    DavClient &operator=(const DavClient &) = delete;

    void setCredentials(const QString &user, const QString &password);
    // Milliseconds without any byte of an answer after which a request fails (Timeout).
    void setTimeout(int milliseconds);
    // Requests sent at once by putAll() (1 to 6); others wait for one to end.
    void setParallel(int requests);
    // Called while waiting, every few tens of milliseconds; returning false cancels
    // the request, which then fails as NoConnection with the message "Przerwano.".
    void setKeepGoing(std::function<bool()> keepGoing);

    DavError lastError() const { return m_error; }

    // The address books reachable from `url`: the collection itself when it is one, else
    // by the well-known URL (RFC 6764, /.well-known/carddav), the current-user-principal
    // and its addressbook-home-set. Empty with lastError() set when the search failed,
    // empty without an error when the server has none.
    QList<DavAddressBook> discover(const QUrl &url);

    // Whether the collection offers sync-collection (its supported-report-set).
    bool supportsSyncCollection(const QUrl &book);
    // Changes since `token` (empty: every card). A token the server no longer knows
    // fails with PreconditionFailed or Refused (valid-sync-token): the caller lists instead.
    DavChanges syncCollection(const QUrl &book, const QByteArray &token, bool *ok);
    // Every card of the collection with its ETag (PROPFIND Depth 1, getetag), without text.
    QList<DavCard> list(const QUrl &book, bool *ok);
    // The cards at these addresses with ETag and text (addressbook-multiget), asked in
    // groups; a card that is gone is left out.
    QList<DavCard> multiget(const QUrl &book, const QList<QUrl> &cards, bool *ok);

    // One upload: with `ifMatch` the card must still have that ETag; without, it must
    // not exist yet (If-None-Match: *).
    struct Put
    {
        QUrl url;
        QByteArray vcard;
        QByteArray ifMatch;
    };
    struct PutResult
    {
        DavError error;
        QByteArray etag; // empty when the answer carried none (RFC 6352 allows it)
    };
    PutResult put(const Put &request);
    // Several uploads, setParallel() at a time; the results in the order of the requests.
    QList<PutResult> putAll(const QList<Put> &requests);
    // Many new cards into an empty address book in one request: a PUT of the whole
    // collection, which some servers take as an import (Radicale, DAViCal) and others
    // refuse. Sent only while the collection holds no card, and with the collection's
    // ETag in If-Match so that a card another client adds meanwhile makes it fail; the
    // collection's name and description, which such a PUT drops, are set again after.
    // False with lastError() when the book is not empty or the server does not take it.
    bool putWholeBook(const QUrl &book, const QByteArray &cards);
    // Deletes a card that still has this ETag (none: whatever it has). A card already gone
    // (404) counts as deleted.
    DavError remove(const QUrl &card, const QByteArray &ifMatch);

private:
    struct Private;
    std::unique_ptr<Private> d;
    DavError m_error;
};
