#include "sync/sync_text.h"

#include "exchange/vcard.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QStringList>
#include <algorithm>

namespace SyncText {

ContactRecord asServerGives(const ContactRecord &record)
{
    bool read = false;
    const ContactRecord card = parse(VCardWriter::card(record, VCardWriter::Version::V3), &read);
    return read ? card : record;
}

QByteArray plainKey(ContactRecord record)
{
    record.extras.revision.clear();
    // Further values keep their order within a kind; a server may group them otherwise.
    std::stable_sort(
        record.extras.details.begin(), record.extras.details.end(),
        [](const ContactDetail &a, const ContactDetail &b) { return a.kind < b.kind; });
    QStringList kept = record.extras.kept.split(u'\n', Qt::SkipEmptyParts);
    kept.sort();
    record.extras.kept = kept.join(u'\n');
    return VCardWriter::card(record);
}

QByteArray key(const ContactRecord &record)
{
    return plainKey(asServerGives(record));
}

ContactRecord parse(const QByteArray &card, bool *ok)
{
    QByteArray text = card;
    QBuffer buffer(&text);
    buffer.open(QIODevice::ReadOnly);
    VCardReader reader(&buffer);
    ContactRecord record;
    const bool read = reader.readNext(&record);
    if (ok)
        *ok = read && !reader.hasError();
    return record;
}

bool sameEtag(const QByteArray &a, const QByteArray &b)
{
    const auto bare = [](QByteArray tag) {
        tag = tag.trimmed();
        if (tag.startsWith("W/"))
            tag = tag.mid(2);
        if (tag.size() >= 2 && tag.startsWith('"') && tag.endsWith('"'))
            tag = tag.mid(1, tag.size() - 2);
        return tag;
    };
    return !a.isEmpty() && bare(a) == bare(b);
}

QString fileName(const QString &uid)
{
    QString name;
    bool replaced = false;
    for (const QChar c : uid) {
        const bool safe = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                          (c >= u'0' && c <= u'9') || c == u'-' || c == u'_' || c == u'.';
        name += safe ? c : u'_';
        replaced = replaced || !safe;
    }
    if (name.isEmpty() || name.size() > 100 || replaced)
        name =
            name.left(60) + u'-' +
            QString::fromLatin1(
                QCryptographicHash::hash(uid.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
    return name + QStringLiteral(".vcf");
}

} // namespace SyncText

namespace {

// The value of one side where only that side changed it since `base`; the server's where
// both changed it differently, which is then a conflict.
template<typename T> T pick3(const T &base, const T &local, const T &server, bool *conflict)
{
    if (local == server || local == base)
        return server;
    if (server == base)
        return local;
    *conflict = true;
    return server;
}

// The same without a base: a value only one side has fills the other.
template<typename T> T pick2(const T &local, const T &server, bool *conflict)
{
    if (local == server || local.isEmpty())
        return server;
    if (server.isEmpty())
        return local;
    *conflict = true;
    return server;
}

QStringList keptLines(const ContactRecord &record)
{
    return record.extras.kept.split(u'\n', Qt::SkipEmptyParts);
}

// Further values merged kind by kind; the order of one side is kept where it gave them all.
QList<ContactDetail> mergeDetails(const ContactRecord *base, const ContactRecord &local,
                                  const ContactRecord &server, bool *conflict)
{
    QList<QList<ContactDetail>> chosen;
    bool allServer = true, allLocal = true;
    for (int kind = 0; kind < ContactDetail::kKindCount; ++kind) {
        const auto k = ContactDetail::Kind(kind);
        const QList<ContactDetail> l = local.extras.ofKind(k), s = server.extras.ofKind(k);
        const QList<ContactDetail> taken =
            base ? pick3(base->extras.ofKind(k), l, s, conflict) : pick2(l, s, conflict);
        allServer = allServer && taken == s;
        allLocal = allLocal && taken == l;
        chosen << taken;
    }
    if (allServer)
        return server.extras.details;
    if (allLocal)
        return local.extras.details;
    QList<ContactDetail> details;
    for (const QList<ContactDetail> &ofKind : std::as_const(chosen))
        details << ofKind;
    return details;
}

// Kept lines as a set: a line either side added stays, one either side dropped goes.
QString mergeKept(const ContactRecord *base, const ContactRecord &local,
                  const ContactRecord &server)
{
    const QStringList l = keptLines(local), s = keptLines(server);
    const QStringList b = base ? keptLines(*base) : QStringList();
    QStringList merged;
    for (const QString &line : s)
        if (l.contains(line) || !b.contains(line))
            merged << line;
    for (const QString &line : l)
        if (!s.contains(line) && !b.contains(line))
            merged << line;
    return merged.join(u'\n');
}

} // namespace

ContactRecord SyncText::merge(const ContactRecord *base, const ContactRecord &local,
                              const ContactRecord &server, bool *conflict)
{
    ContactRecord merged = server;
    for (int field = 0; field < ContactRecord::kFieldCount; ++field) {
        const auto f = std::size_t(field);
        merged.values[f] = base
                               ? pick3(base->values[f], local.values[f], server.values[f], conflict)
                               : pick2(local.values[f], server.values[f], conflict);
    }
    merged.extras.details = mergeDetails(base, local, server, conflict);
    merged.extras.kept = mergeKept(base, local, server);
    if (merged.extras.uid.isEmpty())
        merged.extras.uid = local.extras.uid;
    merged.extras.revision.clear();
    return merged;
}
