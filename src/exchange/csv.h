#pragma once

#include "exchange/contact_record.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <QVector>

class QIODevice;

// Character encodings of CSV files: found from the bytes, or chosen by the user.
enum class CsvEncoding { Detect, Utf8, Utf16LE, Utf16BE, Windows1250, Iso8859_2 };

// Reads a CSV file of contacts (RFC 4180: quoted fields with line breaks and doubled
// quotes) a row at a time. open() finds the encoding (byte-order mark, else ICU's
// charset detector) and the delimiter (';', ',' or tab, from the header line), and
// guesses which field each column fills from its header: the program's field names
// and captions, and the headers of Outlook, Thunderbird and Google Contacts exports.
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
    // Per column: the field it fills (ContactRecord::Field) or -1 for none.
    QVector<int> mapping() const { return m_mapping; }
    void setMapping(const QVector<int> &mapping) { m_mapping = mapping; }
    // The first rows after the header, as they are in the file.
    QList<QStringList> previewRows() const { return m_preview; }

    // The next row's cells; false at the end or on an error.
    bool readRow(QStringList *cells);
    // The next row as a contact under the mapping. Columns sharing a field are joined:
    // name parts with a blank, notes as lines labelled with their header (the notes
    // column itself unlabelled), others with a comma. Unless the file is the program's
    // own export, country names become the program's, and a contact without an
    // organisation takes the person's name as its name.
    bool readNext(ContactRecord *record);

    bool hasError() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    qint64 errorLine() const { return m_errorLine; }
    // Lines of the file read so far.
    qint64 lineNumber() const { return m_line; }

    // The field a header names, or -1.
    static int fieldForHeader(const QString &header);

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
    QVector<int> m_mapping;
    QList<QStringList> m_preview;
    qsizetype m_previewTaken = 0;
    bool m_own = false;
    QString m_error;
    qint64 m_errorLine = 0;
};

// Writes contacts as CSV: a header of the fields' Polish captions, ';' between cells,
// quotes where a cell needs them, lines ending in CR LF; UTF-8 with a byte-order mark
// or Windows-1250.
class CsvWriter
{
public:
    enum class Encoding { Utf8, Windows1250 };

    explicit CsvWriter(QIODevice *device, Encoding encoding = Encoding::Utf8);

    // The header goes out before the first record. False when the device refused.
    bool write(const ContactRecord &record);
    // False once a character had no place in Windows-1250 and was replaced.
    bool lossless() const { return m_lossless; }

private:
    bool writeLine(const QStringList &cells);

    QIODevice *m_device;
    Encoding m_encoding;
    bool m_started = false;
    bool m_lossless = true;
};
