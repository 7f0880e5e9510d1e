#include "exchange/duplicate_finder.h"

#include "exchange/contact_import.h"
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

} // namespace

QStringList keysOf(Kind kind, const QString &value)
{
    QStringList keys;
    switch (kind) {
    case EmailKey:
        if (!value.contains(u'@'))
            break;
        for (const QStringView address :
             partsOf(value, [](QChar c) { return c == u',' || c == u';' || c.isSpace(); })) {
            if (address.contains(u'@'))
                keys << address.toString().toCaseFolded();
        }
        break;
    case PhoneKey:
        // The last nine digits: a number with and without +48 is the same number.
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
        break;
    case NameKey:
        if (const QString name = foldedName(value); !name.isEmpty())
            keys << name;
        break;
    case kKinds:
        break;
    }
    return keys;
}

Keys Keys::from(const ContactRecord &record)
{
    Keys keys;
    for (int kind = 0; kind < kKinds; ++kind)
        keys.of[kind] = keysOf(Kind(kind), record[kKeyField[kind]]);
    return keys;
}

void DuplicateFinder::add(qint64 id, Kind kind, const QString &value)
{
    for (const QString &key : keysOf(kind, value))
        m_ids[kind].insert(qHash(key), id);
}

void DuplicateFinder::add(qint64 id, const Keys &keys)
{
    for (int kind = 0; kind < kKinds; ++kind) {
        for (const QString &key : keys.of[kind])
            m_ids[kind].insert(qHash(key), id);
    }
}

qint64 DuplicateFinder::find(const Keys &keys, TableBatch &batch, const RecordPlaces &places,
                             ContactRecord *stored, Kind *matched) const
{
    for (int kind = 0; kind < kKinds; ++kind) {
        for (const QString &key : keys.of[kind]) {
            const auto hit = m_ids[kind].constFind(qHash(key));
            if (hit == m_ids[kind].cend())
                continue;
            *stored = places.record(batch.values(*hit));
            if (keysOf(Kind(kind), (*stored)[kKeyField[kind]]).contains(key)) {
                *matched = Kind(kind);
                return *hit;
            }
        }
    }
    return -1;
}

// A contact needs a name to be found by it: one without takes its e-mail or telephone.
void nameIfNameless(ContactRecord *record)
{
    if (!(*record)[ContactRecord::Nazwa].trimmed().isEmpty())
        return;
    const QString email = keysOf(EmailKey, (*record)[ContactRecord::Email]).value(0);
    (*record)[ContactRecord::Nazwa] = !email.isEmpty() ? (*record)[ContactRecord::Email].trimmed()
                                                       : (*record)[ContactRecord::Tel].trimmed();
}

} // namespace ContactImport
