#include "exchange/duplicate_finder.h"

#include "exchange/contact_import.h"
#include "store/search_words.h"
#include "store/table_batch.h"

namespace ContactImport {

namespace {

// The non-empty parts of value between the characters for which `separator` holds.
template<typename Separator> QList<QStringView> partsOf(const QString &value, Separator separator)
{
    QList<QStringView> parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= value.size(); ++i) {
        if (i < value.size() && !separator(value[i]))
            continue;
        if (i > start)
            parts << QStringView(value).sliced(start, i - start);
        start = i + 1;
    }
    return parts;
}

quint32 streetHash(const QString &street)
{
    if (street.isEmpty())
        return 0;
    const quint32 hash = quint32(qHash(street));
    return hash != 0 ? hash : 1;
}

// Two bits for each telephone key: contacts whose bits do not meet share no number, and
// need not be read to tell.
quint64 phoneBits(const QStringList &phones)
{
    quint64 bits = 0;
    for (const QString &key : phones) {
        const size_t hash = qHash(key);
        bits |= quint64(1) << (hash % 64) | quint64(1) << ((hash >> 6) % 64);
    }
    return bits;
}

QString nameTownOf(const QString &name, const QString &town)
{
    const QString folded = foldedName(name);
    return folded.isEmpty() ? QString() : folded + QLatin1Char('\n') + foldedName(town);
}

} // namespace

QString reasonOf(Match match)
{
    switch (match) {
    case Match::Uid:
        return QStringLiteral("ten sam identyfikator UID");
    case Match::Street:
        return QStringLiteral("ta sama nazwa, miejscowość i ulica");
    case Match::Phone:
        return QStringLiteral("ta sama nazwa i miejscowość, ten sam numer telefonu");
    case Match::NameTown:
        return QStringLiteral("ta sama nazwa i miejscowość");
    case Match::None:
        break;
    }
    return {};
}

QStringList phoneKeys(const QString &value)
{
    QStringList keys;
    for (const QStringView number :
         partsOf(value, [](QChar c) { return c == u',' || c == u';' || c == u'/'; })) {
        QString digits;
        for (const QChar c : number) {
            if (c.isDigit())
                digits += c;
        }
        if (digits.size() >= 5)
            keys << digits.right(9);
    }
    return keys;
}

QString streetKey(const QString &street)
{
    const QString folded = SearchIndex::fold(street);
    QStringList words;
    for (const QStringView word : partsOf(folded, [](QChar c) { return !c.isLetterOrNumber(); }))
        words << word.toString();
    if (words.size() > 1 && words.first() == u"ul")
        words.removeFirst();
    return words.join(u' ');
}

Keys Keys::from(const ContactRecord &record)
{
    Keys keys;
    keys.uid = record.extras.uid;
    keys.nameTown = nameTownOf(record[ContactRecord::Nazwa], record[ContactRecord::Miasto]);
    keys.street = streetKey(record[ContactRecord::Ulica]);
    keys.phones = phoneKeys(record[ContactRecord::Tel]);
    for (const ContactDetail &detail : record.extras.details)
        if (detail.kind == ContactDetail::Phone)
            keys.phones << phoneKeys(detail.value);
    return keys;
}

Match compare(const Keys &incoming, const Keys &stored)
{
    if (!incoming.uid.isEmpty() && incoming.uid == stored.uid)
        return Match::Uid;
    if (incoming.nameTown.isEmpty() || incoming.nameTown != stored.nameTown)
        return Match::None;
    const bool streets = !incoming.street.isEmpty() && !stored.street.isEmpty();
    if (streets && incoming.street == stored.street)
        return Match::Street;
    const bool phones = !incoming.phones.isEmpty() && !stored.phones.isEmpty();
    if (phones &&
        std::any_of(incoming.phones.begin(), incoming.phones.end(),
                    [&stored](const QString &key) { return stored.phones.contains(key); }))
        return Match::Phone;
    return !streets && !phones ? Match::NameTown : Match::None;
}

void DuplicateFinder::addStored(TableBatch &batch)
{
    const QStringList fields{ContactRecord::fieldName(ContactRecord::Nazwa),
                             ContactRecord::fieldName(ContactRecord::Miasto),
                             ContactRecord::fieldName(ContactRecord::Ulica),
                             ContactRecord::fieldName(ContactRecord::Tel)};
    // Further telephones go with a first one, so a contact without a Tel has none; those
    // of one with a Tel are not read here, so any number may be among them.
    batch.forEachRow(fields, [this](qint64 id, const QStringList &values) {
        addNamed(id, nameTownOf(values[0], values[1]), streetKey(values[2]),
                 phoneKeys(values[3]).isEmpty() ? 0 : ~quint64(0));
    });
    batch.detailStore().forEachUid(
        [this](qint64 id, const QString &uid) { m_uids.insert(qHash(uid), id); });
}

void DuplicateFinder::add(qint64 id, const Keys &keys)
{
    addNamed(id, keys.nameTown, keys.street, phoneBits(keys.phones));
    addUid(id, keys.uid);
}

void DuplicateFinder::addUid(qint64 id, const QString &uid)
{
    if (!uid.isEmpty())
        m_uids.insert(qHash(uid), id);
}

void DuplicateFinder::addNamed(qint64 id, const QString &nameTown, const QString &street,
                               quint64 phones)
{
    if (!nameTown.isEmpty())
        m_names.insert(qHash(nameTown), {id, streetHash(street), phones});
}

qint64 DuplicateFinder::find(const Keys &keys, TableBatch &batch, const RecordPlaces &places,
                             ContactRecord *stored, Match *matched) const
{
    // Reads a candidate and compares it in full.
    const auto confirm = [&](qint64 id) {
        const QStringList values = batch.values(id);
        if (values.isEmpty())
            return false;
        ContactRecord record = places.record(values);
        record.extras = batch.extras(id);
        const Match match = compare(keys, Keys::from(record));
        if (match == Match::None)
            return false;
        *stored = std::move(record);
        *matched = match;
        return true;
    };
    if (!keys.uid.isEmpty()) {
        const auto hit = m_uids.constFind(qHash(keys.uid));
        if (hit != m_uids.cend() && confirm(*hit))
            return *hit;
    }
    if (keys.nameTown.isEmpty())
        return -1;
    const quint32 street = streetHash(keys.street);
    const quint64 phoneKeyBits = phoneBits(keys.phones);
    const auto [begin, end] = m_names.equal_range(qHash(keys.nameTown));
    for (auto candidate = begin; candidate != end; ++candidate) {
        // Only a candidate that may match is read: on the same street, with a number
        // that may be shared, or with neither streets nor numbers on both sides.
        const bool streets = street != 0 && candidate->street != 0;
        const bool phones = phoneKeyBits != 0 && candidate->phones != 0;
        const bool sameStreet = streets && candidate->street == street;
        const bool mayShare = (phoneKeyBits & candidate->phones) != 0;
        if (!sameStreet && !mayShare && (streets || phones))
            continue;
        if (confirm(candidate->id))
            return candidate->id;
    }
    return -1;
}

bool DuplicateFinder::uidTaken(const QString &uid, TableBatch &batch) const
{
    return !uid.isEmpty() && m_uids.contains(qHash(uid)) && batch.detailStore().idOfUid(uid) >= 0;
}

void nameIfNameless(ContactRecord *record)
{
    if (!(*record)[ContactRecord::Nazwa].trimmed().isEmpty())
        return;
    const bool email = (*record)[ContactRecord::Email].contains(u'@');
    (*record)[ContactRecord::Nazwa] =
        email ? (*record)[ContactRecord::Email].trimmed() : (*record)[ContactRecord::Tel].trimmed();
}

} // namespace ContactImport
