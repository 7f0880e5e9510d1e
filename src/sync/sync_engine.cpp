#include "sync/sync_engine.h"

#include "exchange/duplicate_finder.h"
#include "exchange/vcard.h"
#include "platform/errors.h"
#include "store/book_backup.h"
#include "store/deleted_contacts.h"
#include "store/sql_text.h"
#include "store/table.h"
#include "store/table_batch.h"
#include "sync/sync_conflicts.h"
#include "sync/sync_state.h"
#include "sync/sync_text.h"

#include <QElapsedTimer>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>
#include <algorithm>
#include <optional>

QString SyncReport::summary() const
{
    return QStringLiteral("wysłano %1, pobrano %2, usunięto %3, konflikty %4")
        .arg(sent)
        .arg(received)
        .arg(deleted)
        .arg(conflicts);
}

QString SyncPlan::describe() const
{
    QStringList lines;
    if (firstSync)
        lines << QStringLiteral("Pierwsza synchronizacja z tą książką adresową.")
              << QStringLiteral("Wizytówki na serwerze: %1, kontakty w programie: %2, "
                                "te same po obu stronach: %3.")
                     .arg(serverCards)
                     .arg(localContacts)
                     .arg(paired);
    lines << QStringLiteral("Do wysłania na serwer: %1, do pobrania z serwera: %2.")
                 .arg(toSend)
                 .arg(toReceive);
    lines << QStringLiteral("Do usunięcia w programie: %1, na serwerze: %2.")
                 .arg(toDeleteLocal)
                 .arg(toDeleteRemote);
    if (!backupProblem.isEmpty())
        lines << QStringLiteral("Uwaga: nie udało się zrobić kopii zapasowej książki przed "
                                "zmianami: %1")
                     .arg(backupProblem);
    return lines.join(u'\n');
}

namespace {

using SyncText::key;
using SyncText::merge;
using SyncText::plainKey;

// Stops the sync: what the report's error tells.
struct Stop
{
    DavError error;
};

DavError failure(DavError::Kind kind, const QString &message)
{
    DavError error;
    error.kind = kind;
    error.message = message;
    return error;
}

struct Local
{
    qint64 id = -1;
    ContactRecord record;
    QByteArray key;
};

struct Remote
{
    QString href;
    QByteArray etag;
    ContactRecord record;
    QByteArray key; // of the card as the server holds it
};

// What the sync does with one UID.
struct Item
{
    QString uid;
    qint64 id = -1;                     // the contact, -1 for one still to insert
    std::optional<ContactRecord> write; // to write into the contact
    std::optional<Remote> remote;       // the server's card, when it is to be recorded
    bool received = false;              // the write brings the server's values
    bool conflict = false;
    ContactRecord conflictLocal;
    bool upload = false;    // the agreed version goes to the server
    bool uploadNew = false; // as a new card (If-None-Match)
    QByteArray ifMatch;     // else with this ETag
    QString href;           // where the card lies or goes
    ContactRecord agreed;   // what the server is to hold
    bool deleteLocal = false;
    bool deleteRemote = false;
    bool forget = false; // the state row goes
    bool etagOnly = false;
};

// A contact on both sides without a common past: merged, the server's values first; what
// differs from either side is written into the contact or uploaded.
void pairItem(Item &item, const Local &local, const Remote &remote)
{
    bool conflict = false;
    ContactRecord merged =
        merge(nullptr, SyncText::asServerGives(local.record), remote.record, &conflict);
    merged.extras.uid = item.uid;
    item.id = local.id;
    item.remote = remote;
    item.href = remote.href;
    if (key(merged) != local.key) {
        item.write = merged;
        item.received = true;
    }
    item.agreed = merged;
    item.conflict = conflict;
    item.conflictLocal = local.record;
    item.upload = key(merged) != remote.key;
    item.ifMatch = remote.etag;
}

} // namespace

// One run of the sync.
class SyncSession final
{
public:
    SyncSession(TTable &table, const SyncTarget &target, const std::function<bool(qint64)> &busy,
                const std::function<bool(int, const QString &)> &progress,
                const std::function<bool(const SyncPlan &)> &confirm, bool waitForLock)
        : m_table(table), m_target(target), m_busy(busy), m_progress(progress), m_confirm(confirm),
          m_waitForLock(waitForLock), m_state(table.database(), table.tableName()),
          m_conflicts(table.database(), table.tableName()), m_places(table.fieldNames()),
          m_holder(QUuid::createUuid().toString(QUuid::WithoutBraces))
    {
        m_dav.setCredentials(target.user, target.password);
        m_dav.setTimeout(target.timeout);
        m_dav.setParallel(target.parallel);
        m_dav.setKeepGoing([this] { return keepGoing(); });
        m_sinceHeartbeat.start();
        m_sinceProgress.start();
    }

    SyncReport run();

private:
    void step(int percent, const QString &text);
    bool keepGoing();
    void heartbeat();
    void lock();
    void readLocal();
    void readRemote();
    void plan();
    void apply(QList<Item> &items);
    void writeLocal(QList<Item> &items);
    void deleteLocal(QList<Item> &items);
    void upload(QList<Item> &items);
    bool uploadWholeBook(const QList<Item *> &uploads);
    void deleteRemote(QList<Item> &items);
    void pairAfterRefusal(const QList<Item> &refused);
    void aboutToWrite();
    void saveToken();
    ContactRecord readBack(TableBatch &batch, qint64 id);
    QUrl urlOf(const QString &href) const;
    static QString hrefOf(const QUrl &url) { return url.path(QUrl::FullyDecoded); }
    void davFailed(const DavError &error) const
    {
        if (error)
            throw Stop{error};
    }
    bool isBusy(qint64 id) const { return id >= 0 && m_busy && m_busy(id); }

    TTable &m_table;
    SyncTarget m_target;
    const std::function<bool(qint64)> &m_busy;
    const std::function<bool(int, const QString &)> &m_progress;
    const std::function<bool(const SyncPlan &)> &m_confirm;
    bool m_waitForLock;
    DavClient m_dav;
    SyncState m_state;
    SyncConflicts m_conflicts;
    RecordPlaces m_places;
    QString m_holder;
    SyncReport m_report;
    bool m_cancelled = false;
    bool m_clean = true;           // nothing left for the next sync: the token may advance
    bool m_wrote = false;          // cards were written or deleted on the server
    bool m_serverEmpty = false;    // the book held no card when the sync listed it
    bool m_syncCollection = false; // the server reports changes (sync-collection)
    int m_percent = 0;
    QString m_step;
    QElapsedTimer m_sinceHeartbeat, m_sinceProgress;

    QHash<QString, SyncRow> m_rows; // by UID
    QHash<QString, QString> m_uidOfHref;
    QHash<QString, Local> m_locals;        // by UID
    QHash<QString, Remote> m_remotes;      // changed cards, by UID
    QSet<QString> m_remoteGone;            // UIDs whose card the server no longer has
    QHash<QString, QByteArray> m_newEtags; // by UID: cards whose only change is their ETag
    QByteArray m_token;                    // the server's changes up to the start of this sync
    QByteArray m_startToken;               // the token this sync started from
    QStringList m_writtenBefore;           // cards written since m_startToken by earlier syncs
    QStringList m_written;                 // cards this sync wrote
    QList<Item> m_items;
};

SyncReport SyncSession::run()
{
    bool locked = false;
    try {
        if (!m_table.hasDetails())
            throw Stop{failure(DavError::Refused,
                               QStringLiteral("Baza danych %1 nie ma tabeli identyfikatorów "
                                              "kontaktów (UID); otwórz ją w programie, który "
                                              "może w niej pisać.")
                                   .arg(m_table.path()))};
        m_state.ensure();
        m_conflicts.ensure();
        lock();
        locked = true;
        if (m_state.meta(QStringLiteral("book")) != m_target.book.toString()) {
            // Another book, or none before: its cards are not this one's to delete.
            m_state.begin();
            m_state.clear();
            m_state.commit();
            m_report.firstSync = true;
        }
        m_rows = m_state.rows();
        for (auto row = m_rows.cbegin(); row != m_rows.cend(); ++row)
            m_uidOfHref.insert(row->href, row.key());
        readRemote();
        readLocal();
        plan();
        apply(m_items);
        m_state.setMeta(QStringLiteral("book"), m_target.book.toString());
        saveToken();
        step(100, QStringLiteral("Synchronizacja zakończona."));
    } catch (const Stop &stop) {
        m_report.error = stop.error;
    } catch (const KaxError &error) {
        m_report.error = failure(DavError::Refused, error.message());
    }
    if (locked) {
        try {
            m_state.unlock(m_holder);
        } catch (const KaxError &) {
            // Left to expire: the lock's age frees it.
        }
    }
    return m_report;
}

void SyncSession::step(int percent, const QString &text)
{
    m_percent = percent;
    m_step = text;
    m_sinceProgress.restart();
    if (m_progress && !m_progress(percent, text))
        m_cancelled = true;
    if (m_cancelled)
        throw Stop{failure(DavError::NoConnection, QStringLiteral("Przerwano."))};
}

bool SyncSession::keepGoing()
{
    if (!m_cancelled && m_progress && m_sinceProgress.elapsed() >= 200) {
        m_sinceProgress.restart();
        m_cancelled = !m_progress(m_percent, m_step);
    }
    return !m_cancelled;
}

void SyncSession::heartbeat()
{
    if (m_sinceHeartbeat.elapsed() < SyncState::kLockAge / 4)
        return;
    m_sinceHeartbeat.restart();
    if (!m_state.heartbeat(m_holder))
        throw Stop{failure(DavError::Refused,
                           QStringLiteral("Inna kopia programu przejęła synchronizację tej "
                                          "książki."))};
}

void SyncSession::lock()
{
    QElapsedTimer waited;
    waited.start();
    while (!m_state.tryLock(m_holder)) {
        if (!m_waitForLock || waited.elapsed() > SyncState::kLockAge)
            throw Stop{failure(DavError::Refused,
                               QStringLiteral("Inna kopia programu synchronizuje tę książkę."))};
        step(0, QStringLiteral("Czekam, aż inna kopia programu skończy synchronizację…"));
        QThread::msleep(500);
    }
    m_sinceHeartbeat.restart();
}

void SyncSession::readRemote()
{
    step(2, QStringLiteral("Pobieram zmiany z serwera…"));
    const QUrl &book = m_target.book;
    QList<DavCard> listed;
    bool full = true;
    QList<QUrl> removed;
    bool ok = false;
    // Whether the server reports changes is asked once per book: one request less for
    // every later sync. A server that no longer does is asked again at the next sync.
    const QString reportsKey = QStringLiteral("reports");
    const bool known = m_state.meta(reportsKey) == QLatin1String("sync-collection");
    m_syncCollection = known || m_dav.supportsSyncCollection(book);
    if (m_syncCollection) {
        QByteArray token =
            m_report.firstSync ? QByteArray() : m_state.meta(QStringLiteral("token")).toUtf8();
        full = token.isEmpty();
        m_startToken = token;
        if (!full)
            m_writtenBefore =
                m_state.meta(QStringLiteral("written")).split(u'\n', Qt::SkipEmptyParts);
        for (;;) {
            DavChanges changes = m_dav.syncCollection(book, token, &ok);
            const DavError::Kind failed = ok ? DavError::None : m_dav.lastError().kind;
            if (!token.isEmpty() &&
                (failed == DavError::PreconditionFailed || failed == DavError::Refused ||
                 failed == DavError::Server || failed == DavError::BadAnswer)) {
                // The server forgot the token (Radicale refuses it, Xandikos fails with
                // 500): everything again, from an empty one.
                token.clear();
                m_startToken.clear();
                m_writtenBefore.clear();
                full = true;
                listed.clear();
                removed.clear();
                continue;
            }
            if (!ok) {
                if (known && failed != DavError::NoConnection && failed != DavError::Timeout)
                    m_state.setMeta(reportsKey, QString());
                davFailed(m_dav.lastError());
            }
            if (!known)
                m_state.setMeta(reportsKey, QStringLiteral("sync-collection"));
            listed << changes.changed;
            removed << changes.removed;
            token = changes.token;
            if (!changes.truncated || token.isEmpty())
                break;
        }
        m_token = token;
    } else {
        listed = m_dav.list(book, &ok);
        if (!ok)
            davFailed(m_dav.lastError());
    }

    QSet<QString> present;
    QList<QUrl> toFetch;
    m_serverEmpty = full;
    for (const DavCard &card : std::as_const(listed)) {
        const QString href = hrefOf(card.url);
        if (href == hrefOf(book))
            continue; // the collection itself
        m_serverEmpty = false;
        present.insert(href);
        const QString uid = m_uidOfHref.value(href);
        if (!uid.isEmpty() && SyncText::sameEtag(card.etag, m_rows.value(uid).etag))
            continue;
        toFetch << card.url;
    }
    for (const QUrl &url : std::as_const(removed)) {
        const QString uid = m_uidOfHref.value(hrefOf(url));
        if (!uid.isEmpty() && !present.contains(hrefOf(url)))
            m_remoteGone.insert(uid);
    }
    if (full)
        for (auto row = m_rows.cbegin(); row != m_rows.cend(); ++row)
            if (!present.contains(row->href))
                m_remoteGone.insert(row.key());
    // A card written since the token is among the changes unless it went again.
    for (const QString &href : std::as_const(m_writtenBefore)) {
        const QString uid = m_uidOfHref.value(href);
        if (!uid.isEmpty() && !present.contains(href))
            m_remoteGone.insert(uid);
    }

    step(10, QStringLiteral("Pobieram wizytówki z serwera: %1…").arg(toFetch.size()));
    const QList<DavCard> fetched =
        toFetch.isEmpty() ? QList<DavCard>() : m_dav.multiget(book, toFetch, &ok);
    if (!toFetch.isEmpty() && !ok)
        davFailed(m_dav.lastError());
    QSet<QString> got;
    for (const DavCard &card : fetched) {
        Remote remote;
        remote.href = hrefOf(card.url);
        remote.etag = card.etag;
        got.insert(remote.href);
        bool parsed = false;
        remote.record = SyncText::parse(card.vcard, &parsed);
        if (!parsed)
            continue; // not a card this program reads: left alone on the server
        remote.key = key(remote.record);
        const QString known = m_uidOfHref.value(remote.href);
        QString uid = remote.record.extras.uid;
        if (uid.isEmpty())
            uid = known.isEmpty() ? ContactDetails::newUid() : known;
        if (!known.isEmpty() && known != uid)
            m_remoteGone.insert(known); // another card took the address
        remote.record.extras.uid = uid;
        if (m_remotes.contains(uid))
            continue; // two cards with one UID: the first is taken
        if (m_rows.contains(uid) && m_rows.value(uid).base == remote.key) {
            // The server wrote the agreed version again (or its ETag was not known).
            m_newEtags.insert(uid, remote.etag);
            continue;
        }
        m_remotes.insert(uid, remote);
    }
    // A card that went between the listing and the fetch is gone.
    for (const QUrl &url : std::as_const(toFetch)) {
        const QString uid = m_uidOfHref.value(hrefOf(url));
        if (!uid.isEmpty() && !got.contains(hrefOf(url)))
            m_remoteGone.insert(uid);
    }
}

void SyncSession::readLocal()
{
    step(30, QStringLiteral("Porównuję kontakty z ostatnią synchronizacją…"));
    QHash<QString, qint64> ids;
    m_table.detailStore().forEachUid([&](qint64 id, const QString &uid) { ids.insert(uid, id); });
    m_table.forEachRecordWithExtras([&](const QStringList &values, const ContactExtras &extras) {
        if (extras.uid.isEmpty())
            return true;
        Local local;
        local.id = ids.value(extras.uid, -1);
        local.record = m_places.record(values);
        local.record.extras = extras;
        // A contact whose card as it is equals the agreed version is unchanged: it need not
        // be read back from its card, which costs most of the pass.
        local.key = plainKey(local.record);
        const auto row = m_rows.constFind(extras.uid);
        if (row == m_rows.cend() || row->base != local.key)
            local.key = key(local.record);
        m_locals.insert(extras.uid, local);
        return true;
    });
}

void SyncSession::plan()
{
    const QString bookPath = hrefOf(m_target.book);
    const auto newHref = [&](const QString &uid) { return bookPath + SyncText::fileName(uid); };
    const auto uploadNew = [&](Item &item, const ContactRecord &record) {
        item.upload = item.uploadNew = true;
        item.href = newHref(item.uid);
        item.agreed = record;
    };

    QSet<QString> uids;
    for (auto it = m_locals.cbegin(); it != m_locals.cend(); ++it)
        uids.insert(it.key());
    for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it)
        uids.insert(it.key());
    for (auto it = m_remotes.cbegin(); it != m_remotes.cend(); ++it)
        uids.insert(it.key());

    // First sync: a server card with another UID may still be a local contact.
    QHash<QString, QString> pairedByRule; // server UID -> local UID
    if (m_report.firstSync) {
        QMultiHash<QString, QString> byNameTown;
        QHash<QString, ContactImport::Keys> localKeys;
        for (auto it = m_locals.cbegin(); it != m_locals.cend(); ++it) {
            if (m_remotes.contains(it.key()))
                continue;
            ContactRecord named = it->record;
            ContactImport::nameIfNameless(&named);
            const ContactImport::Keys keys = ContactImport::Keys::from(named);
            if (keys.nameTown.isEmpty())
                continue;
            localKeys.insert(it.key(), keys);
            byNameTown.insert(keys.nameTown, it.key());
        }
        for (auto it = m_remotes.cbegin(); it != m_remotes.cend(); ++it) {
            if (m_locals.contains(it.key()))
                continue;
            ContactRecord named = it->record;
            ContactImport::nameIfNameless(&named);
            ContactImport::Keys keys = ContactImport::Keys::from(named);
            keys.uid.clear();
            const QList<QString> candidates = byNameTown.values(keys.nameTown);
            for (const QString &candidate : candidates) {
                ContactImport::Keys stored = localKeys.value(candidate);
                stored.uid.clear();
                if (ContactImport::compare(keys, stored) == ContactImport::Match::None)
                    continue;
                pairedByRule.insert(it.key(), candidate);
                byNameTown.remove(keys.nameTown, candidate);
                uids.remove(candidate);
                break;
            }
        }
    }

    SyncPlan plan;
    plan.firstSync = m_report.firstSync;
    plan.localContacts = int(m_locals.size());
    for (const QString &uid : std::as_const(uids)) {
        Item item;
        item.uid = uid;
        const SyncRow *row = m_rows.contains(uid) ? &m_rows[uid] : nullptr;
        const Local *local = m_locals.contains(uid) ? &m_locals[uid] : nullptr;
        if (!local && pairedByRule.contains(uid))
            local = &m_locals[pairedByRule.value(uid)];
        const Remote *remote = m_remotes.contains(uid) ? &m_remotes[uid] : nullptr;
        const bool gone = m_remoteGone.contains(uid);
        const QByteArray etag = m_newEtags.value(uid, row ? row->etag : QByteArray());
        if (!row) {
            if (local && remote) {
                pairItem(item, *local, *remote);
                ++plan.paired;
            } else if (local) {
                uploadNew(item, local->record);
            } else if (remote) {
                item.write = remote->record;
                item.received = true;
                item.remote = *remote;
                item.agreed = remote->record;
            }
        } else if (!local) {
            if (gone) {
                item.forget = true;
            } else if (remote) {
                item.write = remote->record; // changed there: it comes back
                item.received = true;
                item.remote = *remote;
                item.agreed = remote->record;
            } else {
                item.deleteRemote = true;
                item.href = row->href;
                item.ifMatch = etag;
            }
        } else {
            const bool localChanged = local->key != row->base;
            item.id = local->id;
            if (gone) {
                item.forget = true;
                if (localChanged)
                    uploadNew(item, local->record);
                else
                    item.deleteLocal = true;
            } else if (remote && localChanged) {
                bool ok = false;
                const ContactRecord base = SyncText::parse(row->base, &ok);
                bool conflict = false;
                ContactRecord merged =
                    merge(ok ? &base : nullptr, SyncText::asServerGives(local->record),
                          remote->record, &conflict);
                merged.extras.uid = uid;
                item.remote = *remote;
                item.href = remote->href;
                item.agreed = merged;
                if (key(merged) != local->key) {
                    item.write = merged;
                    item.received = true;
                }
                item.conflict = conflict;
                item.conflictLocal = local->record;
                item.upload = key(merged) != remote->key;
                item.ifMatch = remote->etag;
            } else if (remote) {
                ContactRecord taken = remote->record;
                item.write = taken;
                item.received = true;
                item.remote = *remote;
                item.agreed = taken;
            } else if (localChanged) {
                item.upload = true;
                item.href = row->href;
                item.ifMatch = etag;
                item.agreed = local->record;
                item.etagOnly = m_newEtags.contains(uid);
            } else if (m_newEtags.contains(uid)) {
                item.etagOnly = true;
                item.href = row->href;
            }
        }
        if (item.etagOnly && !item.upload) {
            Remote same;
            same.href = item.href;
            same.etag = etag;
            same.key = row->base;
            item.remote = same;
        }
        if (!item.write && !item.remote && !item.upload && !item.deleteLocal &&
            !item.deleteRemote && !item.forget && !item.etagOnly)
            continue;
        plan.toReceive += item.received ? 1 : 0;
        plan.toSend += item.upload ? 1 : 0;
        plan.toDeleteLocal += item.deleteLocal ? 1 : 0;
        plan.toDeleteRemote += item.deleteRemote ? 1 : 0;
        m_items << item;
    }
    plan.serverCards = m_report.firstSync ? int(m_remotes.size()) : 0;
    m_report.paired = plan.paired;
    const bool massDelete =
        plan.toDeleteLocal > 10 && plan.toDeleteLocal * 10 > qMax<qsizetype>(1, m_locals.size());
    if (plan.firstSync) {
        // A copy of the book before a first sync changes it; when none can be made the
        // question says so, and the user chooses whether to go on.
        try {
            BookBackup::makeBeforeChange(m_table);
        } catch (const KaxError &error) {
            plan.backupProblem = error.message();
        }
    }
    if ((plan.firstSync || massDelete) && m_confirm && !m_confirm(plan))
        throw Stop{
            failure(DavError::Refused, QStringLiteral("Synchronizację przerwano przed zmianami."))};
}

QUrl SyncSession::urlOf(const QString &href) const
{
    QUrl url = m_target.book;
    url.setPath(href, QUrl::DecodedMode);
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

void SyncSession::apply(QList<Item> &items)
{
    writeLocal(items);
    // From here on the state is this book's: a sync cut short goes on from it.
    m_state.setMeta(QStringLiteral("book"), m_target.book.toString());
    deleteLocal(items);
    upload(items);
    deleteRemote(items);
}

ContactRecord SyncSession::readBack(TableBatch &batch, qint64 id)
{
    ContactRecord record = m_places.record(batch.values(id));
    record.extras = batch.extras(id);
    return record;
}

void SyncSession::writeLocal(QList<Item> &items)
{
    QList<Item *> writes;
    for (Item &item : items) {
        if ((item.write || item.deleteLocal) && isBusy(item.id)) {
            // Open for editing: the server's change waits for the next sync.
            item = Item();
            ++m_report.deferred;
            m_clean = false;
            continue;
        }
        if (item.write || item.remote || (item.forget && !item.deleteLocal))
            writes << &item;
    }
    if (writes.isEmpty())
        return;
    step(40, QStringLiteral("Zapisuję zmiany z serwera: %1…").arg(writes.size()));
    heartbeat();
    TableBatch batch(m_table);
    // The pairs of a first sync are this book's with the rows that record them.
    m_state.setMeta(QStringLiteral("book"), m_target.book.toString());
    for (Item *item : std::as_const(writes)) {
        if (item->write) {
            const ContactRecord &record = *item->write;
            const QStringList values = m_places.values(record);
            if (item->id < 0) {
                item->id = batch.insert(batch.prepare(values, record.extras));
            } else {
                batch.writeExtras(item->id, record.extras);
                batch.update(item->id, values);
            }
            // What the table holds of it is what both sides are to agree on.
            item->agreed = readBack(batch, item->id);
            if (item->conflict)
                m_conflicts.add(item->id, item->uid, item->conflictLocal, item->remote->record);
            m_report.received += item->received ? 1 : 0;
            m_report.conflicts += item->conflict ? 1 : 0;
            if (item->remote) {
                item->upload = key(item->agreed) != item->remote->key;
                item->href = item->remote->href;
            }
        }
        if (item->remote) {
            // The server's version is recorded now; an upload that follows replaces it.
            // Without an upload to follow, the contact now agrees with the server's card.
            m_state.write(item->uid,
                          SyncRow{item->remote->href, item->remote->etag, item->remote->key});
            item->ifMatch = item->remote->etag;
        } else if (item->forget) {
            m_state.remove(item->uid);
        }
    }
    if (!batch.commit())
        throw Stop{failure(DavError::NoConnection, QStringLiteral("Przerwano."))};
}

void SyncSession::deleteLocal(QList<Item> &items)
{
    QList<Item *> deletes;
    for (Item &item : items)
        if (item.deleteLocal)
            deletes << &item;
    if (deletes.isEmpty())
        return;
    step(55, QStringLiteral("Usuwam kontakty usunięte na serwerze: %1…").arg(deletes.size()));
    heartbeat();
    QSqlQuery remove(m_table.database());
    remove.prepare(
        QStringLiteral("DELETE FROM %1 WHERE id = ?").arg(SqlText::quoted(m_table.tableName())));
    // Each is kept among the deleted contacts, in the deleting transaction.
    DeletedContacts deleted(m_table.database(), m_table.tableName(), m_table.fieldNames());
    m_state.begin();
    try {
        for (Item *item : std::as_const(deletes)) {
            if (item->deleteLocal) {
                deleted.keep(item->id);
                remove.bindValue(0, item->id);
                if (!remove.exec())
                    throw DatabaseError(remove.lastError().text());
                ++m_report.deleted;
            }
            m_state.remove(item->uid);
        }
        m_state.commit();
    } catch (...) {
        m_state.rollback();
        throw;
    }
}

void SyncSession::upload(QList<Item> &items)
{
    QList<Item *> uploads;
    for (Item &item : items)
        if (item.upload)
            uploads << &item;
    // An empty book takes many new cards in one request where the server allows it: one
    // by one, each upload costs a server time that grows with the book.
    constexpr qsizetype kWholeBook = 100;
    if (m_serverEmpty && uploads.size() >= kWholeBook &&
        std::all_of(uploads.cbegin(), uploads.cend(),
                    [](const Item *item) { return item->uploadNew; }) &&
        uploadWholeBook(uploads))
        return;
    QList<Item> refused; // new cards whose address is taken: paired with what is there
    constexpr qsizetype kGroup = 50;
    DavError stopped;
    for (qsizetype from = 0; from < uploads.size() && !stopped; from += kGroup) {
        step(60 + int(35 * from / uploads.size()),
             QStringLiteral("Wysyłam %1 z %2…").arg(from + 1).arg(uploads.size()));
        heartbeat();
        QList<DavClient::Put> puts;
        const QList<Item *> group = uploads.mid(from, kGroup);
        for (const Item *item : group) {
            ContactRecord card = item->agreed;
            card.extras.uid = item->uid;
            // vCard 3.0, which every CardDAV server must take and every phone reads.
            puts << DavClient::Put{urlOf(item->href),
                                   VCardWriter::card(card, VCardWriter::Version::V3),
                                   item->uploadNew ? QByteArray() : item->ifMatch};
        }
        aboutToWrite();
        const QList<DavClient::PutResult> results = m_dav.putAll(puts);
        m_state.begin();
        try {
            for (qsizetype i = 0; i < group.size() && i < results.size(); ++i) {
                Item *item = group[i];
                const DavClient::PutResult &result = results[i];
                if (!result.error) {
                    m_state.write(item->uid, SyncRow{item->href, result.etag, key(item->agreed)});
                    ++m_report.sent;
                    m_written << item->href;
                } else if (result.error.kind == DavError::PreconditionFailed) {
                    m_clean = false;
                    if (item->uploadNew)
                        refused << *item;
                    // A changed card: the next sync sees the server's change and merges.
                } else if (!stopped) {
                    stopped = result.error;
                }
            }
            m_state.commit();
        } catch (...) {
            m_state.rollback();
            throw;
        }
    }
    if (stopped)
        throw Stop{stopped};
    if (!refused.isEmpty())
        pairAfterRefusal(refused);
}

// Sends every new card in one request; false, with nothing recorded, when the server
// does not take it, and the cards then go one by one. The server names the cards itself:
// each is found at the address it was meant for, or by its UID.
bool SyncSession::uploadWholeBook(const QList<Item *> &uploads)
{
    step(60, QStringLiteral("Wysyłam %1 wizytówek naraz…").arg(uploads.size()));
    heartbeat();
    QByteArray cards;
    QHash<QString, Item *> byHref, byUid;
    for (Item *item : uploads) {
        ContactRecord card = item->agreed;
        card.extras.uid = item->uid;
        cards += VCardWriter::card(card, VCardWriter::Version::V3);
        byHref.insert(item->href, item);
        byUid.insert(item->uid, item);
    }
    aboutToWrite();
    if (!m_dav.putWholeBook(m_target.book, cards))
        return false;
    m_serverEmpty = false;
    step(90, QStringLiteral("Zapisuję stan synchronizacji…"));
    // The cards' addresses and ETags: a report of every change lists them far faster than a
    // listing of the collection where the server offers one.
    bool ok = false;
    const QList<DavCard> listed = m_syncCollection
                                      ? m_dav.syncCollection(m_target.book, {}, &ok).changed
                                      : m_dav.list(m_target.book, &ok);
    if (!ok)
        davFailed(m_dav.lastError());
    QList<DavCard> found, elsewhere;
    for (const DavCard &card : listed)
        (byHref.contains(hrefOf(card.url)) && !card.etag.isEmpty() ? found : elsewhere) << card;
    if (!elsewhere.isEmpty()) {
        QList<QUrl> urls;
        for (const DavCard &card : std::as_const(elsewhere))
            urls << card.url;
        elsewhere = m_dav.multiget(m_target.book, urls, &ok);
        if (!ok)
            davFailed(m_dav.lastError());
    }
    m_state.begin();
    try {
        const auto record = [&](Item *item, const QString &href, const QByteArray &etag) {
            item->href = href;
            m_state.write(item->uid, SyncRow{href, etag, key(item->agreed)});
            ++m_report.sent;
            m_written << href;
        };
        for (const DavCard &card : std::as_const(found))
            record(byHref.value(hrefOf(card.url)), hrefOf(card.url), card.etag);
        for (const DavCard &card : std::as_const(elsewhere)) {
            bool parsed = false;
            const ContactRecord read = SyncText::parse(card.vcard, &parsed);
            if (Item *item = parsed ? byUid.value(read.extras.uid) : nullptr)
                record(item, hrefOf(card.url), card.etag);
        }
        m_state.commit();
    } catch (...) {
        m_state.rollback();
        throw;
    }
    return true;
}

// New cards the server already had at their address (an answer lost on the way, or another
// client that chose the same name): what is there is fetched and taken as the same contact.
void SyncSession::pairAfterRefusal(const QList<Item> &refused)
{
    QList<QUrl> urls;
    for (const Item &item : refused)
        urls << urlOf(item.href);
    bool ok = false;
    const QList<DavCard> cards = m_dav.multiget(m_target.book, urls, &ok);
    if (!ok)
        davFailed(m_dav.lastError());
    QList<Item> items;
    for (const DavCard &card : cards) {
        const QString href = hrefOf(card.url);
        const auto it = std::find_if(refused.cbegin(), refused.cend(),
                                     [&](const Item &item) { return item.href == href; });
        bool parsed = false;
        Remote remote{href, card.etag, SyncText::parse(card.vcard, &parsed), {}};
        if (it == refused.cend() || !parsed)
            continue;
        remote.key = key(remote.record);
        const Local local{it->id, it->agreed, key(it->agreed)};
        Item item;
        item.uid = it->uid;
        pairItem(item, local, remote);
        items << item;
    }
    writeLocal(items);
    for (Item &item : items)
        item.uploadNew = false;
    QList<Item> again;
    for (const Item &item : std::as_const(items))
        if (item.upload)
            again << item;
    upload(again);
}

void SyncSession::deleteRemote(QList<Item> &items)
{
    QList<Item *> deletes;
    for (Item &item : items)
        if (item.deleteRemote)
            deletes << &item;
    int done = 0;
    for (Item *item : std::as_const(deletes)) {
        step(95, QStringLiteral("Usuwam na serwerze %1 z %2…").arg(++done).arg(deletes.size()));
        heartbeat();
        aboutToWrite();
        const DavError error = m_dav.remove(urlOf(item->href), item->ifMatch);
        if (error.kind == DavError::PreconditionFailed) {
            m_clean = false; // changed there: it comes back next time
            continue;
        }
        davFailed(error);
        m_state.remove(item->uid);
        ++m_report.deleted;
    }
}

// The server's changes since a token leave out a card that came and went after it: one a
// sync uploads and a phone deletes before the next is never reported gone. So the cards
// written since the stored token are stored with it, and one of them the changes do not
// name is gone. The token is dropped before the first write, so that a sync cut short
// lists everything next time.
void SyncSession::aboutToWrite()
{
    if (std::exchange(m_wrote, true))
        return;
    m_state.setMeta(QStringLiteral("token"), QString());
}

// The token to go on from: this sync's when it left nothing for the next, else the one it
// started from (a change it deferred lies between the two), with the cards written since.
void SyncSession::saveToken()
{
    if (m_token.isEmpty() || (!m_wrote && !m_clean))
        return;
    const QByteArray token = m_clean ? m_token : m_startToken;
    const QStringList written = (m_clean ? QStringList() : m_writtenBefore) + m_written;
    m_state.begin();
    try {
        m_state.setMeta(QStringLiteral("token"), QString::fromUtf8(token));
        m_state.setMeta(QStringLiteral("written"),
                        token.isEmpty() ? QString() : written.join(u'\n'));
        m_state.commit();
    } catch (...) {
        m_state.rollback();
        throw;
    }
}

CardDavSync::CardDavSync(TTable &table) : m_table(table) {}

CardDavSync::~CardDavSync() = default;

SyncReport CardDavSync::run(const SyncTarget &target)
{
    SyncSession session(m_table, target, m_busy, m_progress, m_confirm, m_waitForLock);
    return session.run();
}
