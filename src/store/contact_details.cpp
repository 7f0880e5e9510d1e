#include "store/contact_details.h"

#include "platform/errors.h"
#include "store/contact_schema.h"
#include "store/sql_engine.h"
#include "store/sql_text.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <algorithm>
#include <array>
#include <atomic>

namespace {

using SqlText::engineMessage;
using SqlText::quoted;

struct KindText
{
    const char *name;
    const char *caption;
};

// By ContactDetail::Kind.
constexpr std::array<KindText, ContactDetail::kKindCount> kKinds{{
    {"tel", "Telefon"},
    {"fax", "Faks"},
    {"email", "E-mail"},
    {"www", "Strona WWW"},
    {"adres", "Adres"},
    {"osoba", "Osoba"},
    {"urodziny", "Urodziny"},
    {"inne", "Inne"},
}};

constexpr char kSchemaMark[] = "details";

QString escapePart(QString part)
{
    return part.replace(u'\\', QStringLiteral("\\\\")).replace(u';', QStringLiteral("\\;"));
}

} // namespace

QString ContactDetail::kindName(Kind kind)
{
    return QString::fromLatin1(kKinds[std::size_t(kind)].name);
}

std::optional<ContactDetail::Kind> ContactDetail::kindNamed(const QString &name)
{
    for (std::size_t i = 0; i < kKinds.size(); ++i) {
        if (name == QLatin1String(kKinds[i].name))
            return Kind(i);
    }
    return std::nullopt;
}

QString ContactDetail::kindCaption(Kind kind)
{
    return QString::fromUtf8(kKinds[std::size_t(kind)].caption);
}

QString ContactDetail::joinAddress(const QStringList &parts)
{
    QStringList escaped;
    for (int i = 0; i < 7; ++i)
        escaped << escapePart(parts.value(i));
    return escaped.join(u';');
}

QStringList ContactDetail::splitAddress(const QString &value)
{
    QStringList parts;
    QString part;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            part += value[++i];
        } else if (value[i] == u';') {
            parts << part;
            part.clear();
        } else {
            part += value[i];
        }
    }
    parts << part;
    while (parts.size() < 7)
        parts << QString();
    return parts;
}

QString ContactDetail::displayWithKind() const
{
    const QString kind = !label.isEmpty() ? label : type;
    return kind.isEmpty() ? displayValue() : QStringLiteral("%1 (%2)").arg(displayValue(), kind);
}

QString ContactDetail::displayValue() const
{
    if (kind != Address)
        return value;
    const QStringList parts = splitAddress(value);
    // Street first, then the post code with the town, as a Polish address reads.
    QStringList lines;
    for (const QString &part : {parts[0], parts[1], parts[2]})
        if (!part.isEmpty())
            lines << part;
    const QString town = QStringList{parts[5], parts[3]}.join(u' ').trimmed();
    for (const QString &part : {town, parts[4], parts[6]})
        if (!part.isEmpty())
            lines << part;
    return lines.join(QStringLiteral(", "));
}

QList<ContactDetail> ContactExtras::ofKind(ContactDetail::Kind kind) const
{
    QList<ContactDetail> found;
    for (const ContactDetail &detail : details)
        if (detail.kind == kind)
            found << detail;
    return found;
}

namespace ContactDetails {

QString detailsTable(const QString &table)
{
    return table + QStringLiteral("_details");
}

QString cardTable(const QString &table)
{
    return table + QStringLiteral("_card");
}

bool exists(QSqlDatabase &db, const QString &table)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT value FROM %1 WHERE name = ?")
                      .arg(quoted(ContactSchema::metaTable(table))));
    query.addBindValue(QLatin1String(kSchemaMark));
    return query.exec() && query.next();
}

void ensure(QSqlDatabase &db, const QString &table, const std::function<void(int)> &progress)
{
    if (exists(db, table))
        return;
    // The cards of a large table are written in random UID order: a small page cache
    // would write the UID index's pages out and read them back all the time.
    const SqlEngine &engine = SqlEngine::of(db);
    const QVariant cache = engine.enlargeCache(db);
    const auto restoreCache = qScopeGuard([&] { engine.restoreCache(db, cache); });
    if (!db.transaction())
        throw DatabaseError(engineMessage(db.lastError()));
    QSqlQuery query(db);
    const auto run = [&](const QString &sql) {
        if (query.exec(sql))
            return;
        const QString message = engineMessage(query.lastError());
        query.finish();
        db.rollback();
        throw DatabaseError(message);
    };
    for (const QString &sql : engine.detailsStatements(table))
        run(sql);
    // The contacts stored so far get their cards a stretch of ids at a time, so that a
    // large table's can be shown going.
    run(QStringLiteral("SELECT min(id), max(id) FROM %1").arg(quoted(table)));
    const qint64 first = query.next() ? query.value(0).toLongLong() : 0;
    const qint64 last = query.value(1).isNull() ? first - 1 : query.value(1).toLongLong();
    query.finish();
    constexpr qint64 kStretch = 250000;
    for (qint64 from = first; from <= last; from += kStretch) {
        run(engine.missingCards(table, from, std::min(last + 1, from + kStretch)));
        if (progress)
            progress(int((from - first + kStretch) * 100 / (last - first + 1)));
    }
    run(QStringLiteral("INSERT INTO %1 (name, value) VALUES ('%2', '1')")
            .arg(quoted(ContactSchema::metaTable(table)), QLatin1String(kSchemaMark)));
    query.finish();
    if (!db.commit()) {
        const QString message = engineMessage(db.lastError());
        db.rollback();
        throw DatabaseError(message);
    }
}

QStringList searchValues(const QStringList &fields, const QStringList &values,
                         const QList<ContactDetail> &details)
{
    if (details.isEmpty())
        return values;
    QStringList merged = values;
    const auto add = [&](const char *field, const QString &text) {
        const qsizetype i = fields.indexOf(QString::fromLatin1(field));
        if (i >= 0 && i < merged.size())
            merged[i] += (merged[i].isEmpty() ? QString() : QStringLiteral("\n")) + text;
    };
    for (const ContactDetail &detail : details) {
        switch (detail.kind) {
        case ContactDetail::Phone:
            add("Tel", detail.value);
            break;
        case ContactDetail::Fax:
            add("Fax", detail.value);
            break;
        case ContactDetail::Email:
            add("Email", detail.value);
            break;
        case ContactDetail::Person:
            add("Filia", detail.value);
            break;
        default:
            add("Uwagi", detail.displayValue());
            break;
        }
    }
    return merged;
}

QString newUid()
{
    // A version 7 UUID: the time in milliseconds, a count within it, then random bits.
    // UIDs made one after another sort one after another, so that the cards of many new
    // contacts go to the end of the UID index rather than each to a page of its own.
    static std::atomic<quint64> last{0};
    const quint64 now = quint64(QDateTime::currentMSecsSinceEpoch()) << 12;
    quint64 stamp = last.load(std::memory_order_relaxed);
    quint64 next = 0;
    do
        next = std::max(now, stamp + 1);
    while (!last.compare_exchange_weak(stamp, next, std::memory_order_relaxed));
    const quint64 random = QRandomGenerator::system()->generate64();
    std::array<uchar, 16> bytes{};
    for (size_t i = 0; i < 6; ++i)
        bytes[i] = uchar(next >> (52 - 8 * i));
    bytes[6] = uchar(0x70 | ((next >> 8) & 0x0F));
    bytes[7] = uchar(next);
    for (size_t i = 8; i < 16; ++i)
        bytes[i] = uchar(random >> (8 * (15 - i)));
    bytes[8] = uchar(0x80 | (bytes[8] & 0x3F));
    return QUuid::fromRfc4122(QByteArrayView(bytes.data(), 16)).toString(QUuid::WithoutBraces);
}

} // namespace ContactDetails

DetailStore::DetailStore(const QSqlDatabase &db, const QString &table) : m_db(db), m_table(table) {}

DetailStore::~DetailStore() = default;

bool DetailStore::available()
{
    if (!m_available)
        m_available = ContactDetails::exists(m_db, m_table);
    return *m_available;
}

QSqlQuery &DetailStore::query(std::unique_ptr<QSqlQuery> &slot, const QString &sql)
{
    if (!slot) {
        if (!available())
            throw DatabaseError(QStringLiteral(
                "Baza danych nie ma tabeli dalszych danych kontaktów; otwórz ją w programie "
                "z prawem zapisu, aby ją utworzyć."));
        auto query = std::make_unique<QSqlQuery>(m_db);
        query->setForwardOnly(true);
        // %1 names the details table, %2 the card table.
        QString text = sql;
        text.replace(QLatin1String("%1"), quoted(ContactDetails::detailsTable(m_table)))
            .replace(QLatin1String("%2"), quoted(ContactDetails::cardTable(m_table)));
        if (!query->prepare(text))
            throw DatabaseError(engineMessage(query->lastError()));
        slot = std::move(query);
    }
    return *slot;
}

void DetailStore::run(QSqlQuery &query)
{
    if (!query.exec())
        throw DatabaseError(engineMessage(query.lastError()));
}

QList<ContactDetail> DetailStore::readDetails(qint64 id)
{
    QList<ContactDetail> details;
    if (!available())
        return details;
    QSqlQuery &select = query(m_readDetails, QStringLiteral("SELECT kind, type, label, value FROM "
                                                            "%1 WHERE contact = ? ORDER BY ord"));
    select.bindValue(0, id);
    run(select);
    while (select.next()) {
        ContactDetail detail;
        detail.kind =
            ContactDetail::kindNamed(select.value(0).toString()).value_or(ContactDetail::Other);
        detail.type = select.value(1).toString();
        detail.label = select.value(2).toString();
        detail.value = select.value(3).toString();
        details << detail;
    }
    select.finish();
    return details;
}

ContactExtras DetailStore::read(qint64 id)
{
    ContactExtras extras;
    if (!available())
        return extras;
    extras.details = readDetails(id);
    QSqlQuery &select =
        query(m_readCard, QStringLiteral("SELECT uid, rev, kept FROM %2 WHERE id = ?"));
    select.bindValue(0, id);
    run(select);
    if (select.next()) {
        extras.uid = select.value(0).toString();
        extras.revision = select.value(1).toString();
        extras.kept = select.value(2).toString();
    }
    select.finish();
    return extras;
}

void DetailStore::writeDetails(qint64 id, const QList<ContactDetail> &details)
{
    QSqlQuery &remove = query(m_deleteDetails, QStringLiteral("DELETE FROM %1 WHERE contact = ?"));
    remove.bindValue(0, id);
    run(remove);
    if (details.isEmpty())
        return;
    QSqlQuery &insert = query(m_insertDetail, QStringLiteral("INSERT INTO %1 (contact, ord, kind, "
                                                             "type, label, value) VALUES (?, ?, "
                                                             "?, ?, ?, ?)"));
    for (qsizetype i = 0; i < details.size(); ++i) {
        const ContactDetail &detail = details[i];
        insert.bindValue(0, id);
        insert.bindValue(1, int(i));
        insert.bindValue(2, ContactDetail::kindName(detail.kind));
        insert.bindValue(3, detail.type.isNull() ? QStringLiteral("") : detail.type);
        insert.bindValue(4, detail.label.isNull() ? QStringLiteral("") : detail.label);
        insert.bindValue(5, detail.value.isNull() ? QStringLiteral("") : detail.value);
        run(insert);
    }
}

void DetailStore::writeCard(qint64 id, const QString &uid, const QString &kept)
{
    // The insert trigger gave the contact its card; one that another program's rows
    // lack is made here.
    QSqlQuery &write = query(
        m_writeCard, QStringLiteral("INSERT INTO %2 (id, uid, kept) VALUES (?, ?, ?) ON CONFLICT "
                                    "(id) DO UPDATE SET uid = excluded.uid, kept = excluded.kept"));
    QString stored = uid;
    if (stored.isEmpty()) {
        const ContactExtras current = read(id);
        stored = current.uid.isEmpty() ? ContactDetails::newUid() : current.uid;
    }
    write.bindValue(0, id);
    write.bindValue(1, stored);
    write.bindValue(2, kept.isNull() ? QVariant() : QVariant(kept));
    run(write);
}

void DetailStore::write(qint64 id, const ContactExtras &extras)
{
    writeDetails(id, extras.details);
    if (!extras.uid.isEmpty() || !extras.kept.isEmpty())
        writeCard(id, extras.uid, extras.kept);
}

qint64 DetailStore::idOfUid(const QString &uid)
{
    if (!available() || uid.isEmpty())
        return -1;
    QSqlQuery &select = query(m_byUid, QStringLiteral("SELECT id FROM %2 WHERE uid = ?"));
    select.bindValue(0, uid);
    run(select);
    const qint64 id = select.next() ? select.value(0).toLongLong() : -1;
    select.finish();
    return id;
}

void DetailStore::forEachUid(const std::function<void(qint64 id, const QString &uid)> &visit)
{
    if (!available())
        return;
    QSqlQuery select(m_db);
    select.setForwardOnly(true);
    if (!select.exec(QStringLiteral("SELECT id, uid FROM %1")
                         .arg(quoted(ContactDetails::cardTable(m_table)))))
        throw DatabaseError(engineMessage(select.lastError()));
    while (select.next())
        visit(select.value(0).toLongLong(), select.value(1).toString());
}

void DetailStore::forEachDetails(
    const std::function<void(qint64 id, const QList<ContactDetail> &details)> &visit)
{
    if (!available())
        return;
    QSqlQuery select(m_db);
    select.setForwardOnly(true);
    if (!select.exec(QStringLiteral("SELECT contact, kind, type, label, value FROM %1 ORDER BY "
                                    "contact, ord")
                         .arg(quoted(ContactDetails::detailsTable(m_table)))))
        throw DatabaseError(engineMessage(select.lastError()));
    qint64 current = -1;
    QList<ContactDetail> details;
    while (select.next()) {
        const qint64 id = select.value(0).toLongLong();
        if (id != current && !details.isEmpty()) {
            visit(current, details);
            details.clear();
        }
        current = id;
        details << ContactDetail{
            ContactDetail::kindNamed(select.value(1).toString()).value_or(ContactDetail::Other),
            select.value(2).toString(), select.value(3).toString(), select.value(4).toString()};
    }
    if (select.lastError().isValid())
        throw DatabaseError(engineMessage(select.lastError()));
    if (!details.isEmpty())
        visit(current, details);
}

QSet<qint64> DetailStore::contactsWithDetails()
{
    QSet<qint64> ids;
    if (!available())
        return ids;
    QSqlQuery select(m_db);
    select.setForwardOnly(true);
    if (!select.exec(QStringLiteral("SELECT DISTINCT contact FROM %1")
                         .arg(quoted(ContactDetails::detailsTable(m_table)))))
        throw DatabaseError(engineMessage(select.lastError()));
    while (select.next())
        ids.insert(select.value(0).toLongLong());
    return ids;
}
