#pragma once

#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QSqlQuery;

// One further value of a contact beyond its own fields: a second telephone, another
// e-mail address, a birthday. The first value of each kind stays in the contact's field.
struct ContactDetail
{
    enum Kind { Phone, Fax, Email, Web, Address, Person, Birthday, Other };
    static constexpr int kKindCount = 8;

    Kind kind = Other;
    QString type;  // "służbowy", "komórkowy", "domowy", "prywatny"… or empty
    QString label; // the user's name for it; for an "other" value what it is ("Stanowisko")
    // The value; an address is kept as the seven parts of a vCard ADR, separated by ';'
    // with ';' and '\' in a part escaped by '\' (addressText() shows it on one line).
    QString value;

    bool operator==(const ContactDetail &other) const = default;

    // The kind as stored: "tel", "fax", "email", "www", "adres", "osoba", "urodziny", "inne".
    static QString kindName(Kind kind);
    static std::optional<Kind> kindNamed(const QString &name);
    // The kind as the windows show it: "Telefon", "Faks", "E-mail"…
    static QString kindCaption(Kind kind);
    // The value as one line of text: an address's parts joined with commas.
    QString displayValue() const;
    // The same with its label, or else its type, in brackets: "600 100 200 (komórkowy)".
    QString displayWithKind() const;

    // An address's seven parts (post box, extended, street, town, region, code,
    // country) as one stored value, and back.
    static QString joinAddress(const QStringList &parts);
    static QStringList splitAddress(const QString &value);
};

// What a contact holds beside its thirteen fields: its further values in their order,
// its stable UID and revision time, and the vCard properties kept as they came (content
// lines, unfolded, one per line) so that an export gives them back.
struct ContactExtras
{
    QList<ContactDetail> details;
    QString uid;
    QString revision; // UTC, as vCard's REV: 2026-12-10T08:15:00Z
    QString kept;

    bool operator==(const ContactExtras &other) const = default;
    bool isEmpty() const { return details.isEmpty() && uid.isEmpty() && kept.isEmpty(); }
    // The values of one kind, in order.
    QList<ContactDetail> ofKind(ContactDetail::Kind kind) const;
};

// The tables of further values "<table>_details" (contact, ord, kind, type, label,
// value) and of card data "<table>_card" (id, uid, rev, kept) beside the contact table.
// Triggers give every contact inserted, by this program or another, a card with a
// generated UID, set its revision when a field changes, and drop both when the contact
// is deleted, within the deleting statement.
namespace ContactDetails {

QString detailsTable(const QString &table);
QString cardTable(const QString &table);

// Whether the table has its details and card tables.
bool exists(QSqlDatabase &db, const QString &table);
// Creates them with their triggers when missing, and gives every contact stored so far
// a card, in one transaction, reporting how far it has got in per cent (at 1,000,000
// contacts it takes seconds). Raises DatabaseError with the engine's message.
void ensure(QSqlDatabase &db, const QString &table,
            const std::function<void(int percent)> &progress = {});

// The values of the thirteen fields (in table order) with the further values added to
// the fields they belong with, as the search index takes them: telephones to Tel, faxes
// to Fax, e-mail addresses to Email, persons to Filia, the rest to Uwagi.
QStringList searchValues(const QStringList &fields, const QStringList &values,
                         const QList<ContactDetail> &details);

// A generated UID, as the triggers make them.
QString newUid();

} // namespace ContactDetails

// Reads and writes the further values and card of contacts on one connection, within
// the caller's transaction when there is one; statements are prepared at first use.
// Failures raise DatabaseError with the engine's message. Without the tables, reads give
// nothing and writes are refused.
class DetailStore final
{
public:
    DetailStore(const QSqlDatabase &db, const QString &table);
    ~DetailStore();
    DetailStore(const DetailStore &) = delete;
    DetailStore &operator=(const DetailStore &) = delete;

    bool available();
    ContactExtras read(qint64 id);
    QList<ContactDetail> readDetails(qint64 id);
    // Replaces the contact's further values.
    void writeDetails(qint64 id, const QList<ContactDetail> &details);
    // Sets the contact's UID (an empty one keeps the generated) and kept properties.
    void writeCard(qint64 id, const QString &uid, const QString &kept);
    // Both, as an import writes them.
    void write(qint64 id, const ContactExtras &extras);
    // The contact with this UID, or -1.
    qint64 idOfUid(const QString &uid);
    // Every contact's UID.
    void forEachUid(const std::function<void(qint64 id, const QString &uid)> &visit);
    // The contacts that have further values: few, so a pass over every contact reads
    // theirs one by one.
    QSet<qint64> contactsWithDetails();
    // The further values of every contact that has any, in id order.
    void forEachDetails(
        const std::function<void(qint64 id, const QList<ContactDetail> &details)> &visit);

private:
    QSqlQuery &query(std::unique_ptr<QSqlQuery> &slot, const QString &sql);
    void run(QSqlQuery &query);

    QSqlDatabase m_db;
    QString m_table;
    std::optional<bool> m_available;
    std::unique_ptr<QSqlQuery> m_readDetails, m_readCard, m_deleteDetails, m_insertDetail,
        m_writeCard, m_byUid;
};
