#pragma once

#include "exchange/contact_record.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <QVector>
#include <array>
#include <optional>

class QIODevice;

// What one column of a CSV file gives a contact: a field, a further value of a kind
// (with its type and label), or the type, label or UID of one. A column with a field
// and a kind fills the field when the row left it empty and otherwise adds a further
// value of the kind; one with a field and no kind is joined with the others of that
// field; one with a kind and no field always adds a further value.
struct CsvColumn
{
    enum class Role { Value, Type, Label, Uid };

    Role role = Role::Value;
    int field = -1; // ContactRecord::Field, or -1
    std::optional<ContactDetail::Kind> kind;
    QString type;
    QString label;
    // Of an address told in parts: which part (ContactDetail::joinAddress order) and
    // which address; the first address of a row fills the fields while they are empty.
    int part = -1;
    int group = 0;
    int of = -1; // Type and Label: the column whose values this one's cells describe

    bool operator==(const CsvColumn &other) const = default;
    bool skipped() const { return role == Role::Value && field < 0 && !kind; }
    // An unknown column kept as an "other" value labelled by its header.
    static CsvColumn keptAs(const QString &header);
    bool keeps(const QString &header) const;
    // The field as the mapping window offers it.
    static CsvColumn forField(int field);
};
using CsvMapping = QVector<CsvColumn>;

// Character encodings of CSV files: found from the bytes, or chosen by the user.
enum class CsvEncoding { Detect, Utf8, Utf16LE, Utf16BE, Windows1250, Iso8859_2 };

// Reads a CSV file of contacts (RFC 4180: quoted fields with line breaks and doubled
// quotes) a row at a time. open() finds the encoding (byte-order mark, else ICU's
// charset detector) and the delimiter (';', ',' or tab, from the header line), and
// guesses what each column gives from its header: the program's field names and
// captions and their usual variants (case, Polish letters, dots and blanks aside), the
// columns of its own export, and the headers of Outlook, Thunderbird and Google
// Contacts exports (Google's "Phone 1 - Type" gives the type of "Phone 1 - Value", and
// its " ::: " separates several values in one cell). A column nothing matches is kept
// as an "other" value labelled by its header.
//
// A row longer than kMaxRowChars, or a quote that the file never closes, stops the
// reading with an error naming the line the row began on; rows whose cells are all
// empty are skipped.
class CsvReader
{
public:
    static constexpr qsizetype kMaxRowChars = 1 << 20;
    static constexpr int kPreviewRows = 10;

    explicit CsvReader(QIODevice *device, CsvEncoding encoding = CsvEncoding::Detect);

    // Reads the header and the preview rows; false when the file has no header row.
    bool open();

    CsvEncoding encoding() const { return m_encoding; }
    QChar delimiter() const { return m_delimiter; }
    QStringList headers() const { return m_headers; }
    // Per column: what it gives.
    CsvMapping mapping() const { return m_mapping; }
    void setMapping(const CsvMapping &mapping) { m_mapping = mapping; }
    // Whether some column fills a field or gives a known further value: a file of
    // columns kept under their headers alone is no file of contacts.
    bool fillsContacts() const { return fillsContacts(m_mapping, m_headers); }
    static bool fillsContacts(const CsvMapping &mapping, const QStringList &headers);
    // The headers of the columns kept as "other" values under their header that held
    // a value in a row read so far (none in the program's own export).
    QStringList keptColumns() const;
    // The first rows after the header, as they are in the file.
    QList<QStringList> previewRows() const { return m_preview; }

    // The next row's cells; false at the end or on an error.
    bool readRow(QStringList *cells);
    // The next row as a contact under the mapping. Columns joined into one field: name
    // parts with a blank, notes as lines labelled with their header (the notes column
    // itself unlabelled), others with a comma. Further values come in the order of
    // their kinds. Unless the file is the program's own export, country names become
    // the program's, cells are split at " ::: ", and a contact without an organisation
    // takes the person's name as its name; in its own export a cell that the writer
    // marked with an apostrophe is read without it.
    bool readNext(ContactRecord *record);

    bool hasError() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    qint64 errorLine() const { return m_errorLine; }
    // Lines of the file read so far.
    qint64 lineNumber() const { return m_line; }

    // The field a header names, or -1.
    static int fieldForHeader(const QString &header);
    // What a header alone says a column gives (a column nothing matches is skipped).
    static CsvColumn columnForHeader(const QString &header);

private:
    bool fillBuffer();
    bool parseRow(QStringList *cells);

    QIODevice *m_device;
    CsvEncoding m_encoding;
    QStringDecoder m_decoder;
    QString m_buffer;
    qsizetype m_position = 0;
    bool m_atEnd = false;
    QChar m_delimiter = u';';
    qint64 m_line = 1;
    QStringList m_headers;
    CsvMapping m_mapping;
    QList<bool> m_keptHeld; // per column: a kept column had a value
    QStringList m_idle;     // per column: a value that says nothing ("Normal"), or empty
    QList<QStringList> m_preview;
    qsizetype m_previewTaken = 0;
    bool m_own = false;
    QString m_error;
    qint64 m_errorLine = 0;
};

// The columns that the further values and UIDs of a set of contacts need after the
// thirteen fields, collected one contact at a time: per kind numbered columns
// ("Telefon 2", "Telefon 3"… "E-mail 2", "Adres 2", "Osoba 2", "Urodziny"), the type in
// the header when every value there has the same one ("Telefon 2 (komórkowy)") and
// otherwise a column "Telefon 2 – typ" after it (labels likewise, "… – etykieta");
// "other" values under their label (prefixed "Inne: " where the label could be read
// as another column), as many as one contact has; "UID" last.
class CsvDetailColumns final
{
public:
    void collect(const ContactExtras &extras);
    QStringList headers() const;

private:
    struct Slot
    {
        QStringList types; // distinct types at this place
        bool labelled = false;
    };
    static void add(QList<Slot> *places, qsizetype at, const ContactDetail &detail);

    std::array<QList<Slot>, ContactDetail::kKindCount> m_places;
    QStringList m_otherLabels;
    QList<QList<Slot>> m_others; // by m_otherLabels
    bool m_uid = false;
};

// Writes contacts as CSV: a header of the fields' Polish captions, then the columns of
// further values given to setColumns(), ';' between cells, quotes where a cell needs
// them, lines ending in CR LF; UTF-8 with a byte-order mark or Windows-1250. A cell a
// spreadsheet would take for a formula gets a leading apostrophe.
//
// A CSV file is one table: the columns must be known before the first row. The caller
// collects them in a first pass over the contacts (CsvDetailColumns, or detailColumns()
// of a list) and hands them over; without them only the thirteen fields are written.
class CsvWriter
{
public:
    enum class Encoding { Utf8, Windows1250 };

    explicit CsvWriter(QIODevice *device, Encoding encoding = Encoding::Utf8);

    // The columns after the thirteen fields, before the first write().
    void setColumns(const QStringList &detailColumns);
    static QStringList detailColumns(const QList<ContactExtras> &extras);
    // The header goes out before the first record. False when the device refused.
    bool write(const ContactRecord &record);
    // False once a character had no place in Windows-1250 and was replaced.
    bool lossless() const { return m_lossless; }
    // Further values and UIDs of the records written that no column had a place for:
    // none when the columns were collected over the same records.
    qint64 unplaced() const { return m_unplaced; }

private:
    bool writeLine(const QStringList &cells);

    QIODevice *m_device;
    Encoding m_encoding;
    bool m_started = false;
    bool m_lossless = true;
    QStringList m_columns;
    CsvMapping m_layout; // what each of m_columns holds, as the reader takes it back
    qint64 m_unplaced = 0;
};
