#pragma once

#include "exchange/contact_record.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

class QIODevice;

// Reads vCards 2.1, 3.0 and 4.0 one at a time from a device, holding no more than
// the card being read, and maps each onto the contact fields and further values.
//
// What is read: ORG gives Nazwa (its units a further value "Dział", first of them), FN the
// representative (Filia), or Nazwa without ORG; N the name when FN is missing or is the
// organisation's. The first
// CATEGORIES gives Branza; TEL, EMAIL, URL and ADR give Tel, Fax (TEL of type FAX), Email,
// Http and the address fields: the work one (a work voice number, a preferred e-mail) or
// the first, in this program's own cards the first. Every further one becomes a further
// value of its kind with its types in Polish ("służbowy", "komórkowy", "domowy", "pager",
// others in lower case; VOICE, PREF, INTERNET, X400 dropped) and its X-LABEL. TITLE,
// ROLE and further CATEGORIES become "other" values labelled "Stanowisko", "Funkcja",
// "Kategorie"; BDAY a birthday; the program's own X-KARTAX-OSOBA, X-KARTAX-URODZINY and
// X-KARTAX-INNE (X-LABEL the label) a person, a birthday and an "other" value. NOTE gives
// Uwagi, UID and REV the card's UID and revision. Every other property (PHOTO, NICKNAME,
// X-… of other programs) is kept as its content line, unfolded, as it came; so is N when
// it says more than the writer makes of the name. BEGIN, END, VERSION and PRODID are
// dropped.
//
// What goes wrong: a line longer than kMaxLineBytes stops the reading with an error
// naming its line, as does a file that ends inside a card (cut short). A card that
// another BEGIN interrupts is skipped with a warning naming its first line. Lines
// outside cards and lines without a colon are passed over silently; properties beyond
// 1 MB of text in one card are passed over with a notice naming the card and them. Values
// that name no charset are read as UTF-8, or as Windows-1250 when they are not valid
// UTF-8. A file in UTF-16 (with a byte-order mark, or found by the zero bytes of its first
// letter) is read as its text.
class VCardReader
{
public:
    static constexpr qsizetype kMaxLineBytes = 1 << 20;

    explicit VCardReader(QIODevice *device);
    ~VCardReader();
    VCardReader(const VCardReader &) = delete;
    VCardReader &operator=(const VCardReader &) = delete;

    // The next card; false at the end of the input or on an error.
    bool readNext(ContactRecord *record);

    bool hasError() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    qint64 errorLine() const { return m_errorLine; }
    // Lines of the file read so far.
    qint64 lineNumber() const { return m_lineNumber; }
    // Cards skipped, each with the line it began on.
    QStringList warnings() const { return m_warnings; }
    // Properties passed over in cards that were read, each with the card's first line.
    QStringList notices() const { return m_notices; }

    // Whether a file's first bytes begin a vCard (BEGIN:VCARD, in UTF-8 or UTF-16).
    static bool beginsCard(const QByteArray &start);

private:
    bool readPhysical(QByteArray *line);
    bool readLogical(QByteArray *line, qint64 *lineNumber);
    void fail(qint64 line, const QString &message);

    QIODevice *m_device;
    std::unique_ptr<QIODevice> m_utf16; // the device's UTF-16 text as UTF-8, when it is
    bool m_started = false;
    QByteArray m_lineBuffer;
    QByteArray m_pending;
    bool m_hasPending = false;
    qint64 m_pendingLine = 0;
    qint64 m_lineNumber = 0;
    QString m_error;
    qint64 m_errorLine = 0;
    QStringList m_warnings;
    QStringList m_notices;
};

// Writes contacts as vCards, 4.0 by default or 3.0, in UTF-8 with lines folded at
// 75 octets; reading them back gives every field, further value, UID, revision and kept
// line as it was (kept lines of vCard 2.1 once put into the version's syntax; a further
// value whose field is empty comes back in the field).
//
// FN and ORG hold the representative and Nazwa (ORG's units the first "Dział"), N the
// source's N while it still names the contact, else the representative split: the last
// word the family name, the words before it the given names (none: N:;;;;); a contact
// whose kept N names Nazwa and who has no representative is a person without ORG. Branza
// goes into CATEGORIES, the first birthday into BDAY (X-KARTAX-URODZINY the others). Further values
// follow with their kind and types (Polish types as vCard ones; "prywatny" is HOME; upper case
// in 3.0, lower case in 4.0) and their label in X-LABEL; "other" values labelled "Stanowisko",
// "Funkcja", "Kategorie" as TITLE, ROLE and CATEGORIES, the rest as X-KARTAX-INNE. Kept lines come
// last, with vCard 2.1's syntax (bare types, quoted-printable, charsets) made the version's and
// inline pictures ENCODING=b in 3.0, data: URIs in 4.0.
class VCardWriter
{
public:
    enum class Version { V3, V4 };

    explicit VCardWriter(QIODevice *device, Version version = Version::V4);

    // False when the device refused the bytes.
    bool write(const ContactRecord &record);

    // One card as text, lines ending in CR LF.
    static QByteArray card(const ContactRecord &record, Version version = Version::V4);

private:
    QIODevice *m_device;
    Version m_version;
};
