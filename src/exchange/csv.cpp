#include "exchange/csv.h"

#include "exchange/country_names.h"
#include "platform/text_codec.h"

#include <QHash>
#include <QIODevice>
#include <QStringEncoder>
#include <algorithm>
#include <unicode/ucsdet.h>

namespace {

constexpr qint64 kChunkBytes = 64 * 1024;

// What a header names: a field, and whether its cells are notes as they stand (the
// notes column) or extras that the notes list under their header.
struct HeaderMeaning
{
    int field = -1;
    bool notes = false;
};

const QHash<QString, HeaderMeaning> &headerMeanings()
{
    static const QHash<QString, HeaderMeaning> meanings = [] {
        using F = ContactRecord;
        const QList<QPair<int, QStringList>> table{
            {F::Nazwa,
             {"company", "organization", "organization name", "organization 1 - name",
              "company name", "firma"}},
            {F::Branza,
             {"job title", "organization title", "organization 1 - title", "jobtitle", "industry",
              "profession"}},
            {F::Filia,
             {"first name", "middle name", "last name", "given name", "additional name",
              "family name"}},
            {F::Kraj,
             {"business country/region", "business country", "work country", "address 1 - country",
              "country", "country/region"}},
            {F::Miasto, {"business city", "work city", "address 1 - city", "city"}},
            {F::Kod,
             {"business postal code", "work zipcode", "work zip", "address 1 - postal code",
              "postal code", "zip", "zip code"}},
            {F::Ulica,
             {"business street", "business street 2", "business street 3", "work address",
              "work address 2", "address 1 - street", "street"}},
            {F::Region,
             {"business state", "work state", "address 1 - region", "state", "województwo"}},
            {F::Tel,
             {"business phone", "work phone", "phone 1 - value", "primary phone", "phone",
              "company main phone"}},
            {F::Fax, {"business fax", "fax number", "work fax", "fax"}},
            {F::Email,
             {"e-mail address", "primary email", "e-mail 1 - value", "email address", "email"}},
            {F::Http, {"web page", "web page 1", "website 1 - value", "website", "www"}},
        };
        QHash<QString, HeaderMeaning> map;
        for (int field = 0; field < ContactRecord::kFieldCount; ++field) {
            const bool notes = field == ContactRecord::Uwagi;
            map.insert(ContactRecord::fieldName(field).toLower(), {field, notes});
            map.insert(ContactRecord::fieldCaption(field).toLower(), {field, notes});
        }
        for (const auto &[field, headers] : table) {
            for (const QString &header : headers)
                map.insert(header, {field, false});
        }
        for (const char *header : {"notes", "note", "notatki"})
            map.insert(QString::fromUtf8(header), {ContactRecord::Uwagi, true});
        for (const char *header :
             {"mobile phone", "mobile number", "home phone", "business phone 2", "other phone",
              "car phone", "pager", "pager number", "phone 2 - value", "phone 3 - value",
              "e-mail 2 address", "e-mail 3 address", "secondary email", "e-mail 2 - value",
              "e-mail 3 - value", "web page 2", "website 2 - value", "home fax"})
            map.insert(QString::fromUtf8(header), {ContactRecord::Uwagi, false});
        return map;
    }();
    return meanings;
}

HeaderMeaning meaningOf(const QString &header)
{
    return headerMeanings().value(header.trimmed().toLower());
}

bool isOwnHeader(const QString &header)
{
    for (int field = 0; field < ContactRecord::kFieldCount; ++field) {
        if (header.compare(ContactRecord::fieldName(field), Qt::CaseInsensitive) == 0 ||
            header.compare(ContactRecord::fieldCaption(field), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// Windows-1250 and ISO-8859-2 differ where six Polish letters stand (ą ś ź Ą Ś Ź):
// above zero when the bytes hold more of Windows-1250's, below when of ISO-8859-2's.
qsizetype windowsLetterBalance(const QByteArray &bytes)
{
    const QByteArray windows("\xB9\x9C\x9F\xA5\x8C\x8F");
    const QByteArray iso("\xB1\xB6\xBC\xA1\xA6\xAC");
    qsizetype balance = 0;
    for (const char c : bytes)
        balance += qsizetype(windows.contains(c)) - qsizetype(iso.contains(c));
    return balance;
}

CsvEncoding detectEncoding(const QByteArray &sample)
{
    if (sample.startsWith("\xEF\xBB\xBF"))
        return CsvEncoding::Utf8;
    if (sample.startsWith("\xFF\xFE"))
        return CsvEncoding::Utf16LE;
    if (sample.startsWith("\xFE\xFF"))
        return CsvEncoding::Utf16BE;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(sample);
    if (!utf8.hasError() && !sample.contains('\0'))
        return CsvEncoding::Utf8;

    // Otherwise Windows-1250, as the program's own files have been, unless the
    // Polish letters read better as ISO-8859-2.
    const qsizetype balance = windowsLetterBalance(sample);
    CsvEncoding found = balance < 0 ? CsvEncoding::Iso8859_2 : CsvEncoding::Windows1250;
    UErrorCode status = U_ZERO_ERROR;
    UCharsetDetector *detector = ucsdet_open(&status);
    ucsdet_setText(detector, sample.constData(), int32_t(sample.size()), &status);
    int32_t count = 0;
    const UCharsetMatch **matches = ucsdet_detectAll(detector, &count, &status);
    // UTF-16 without a byte-order mark is believed only with zero bytes in it, which
    // the Latin letters, digits and delimiters of a CSV file have.
    const bool zeros = sample.contains('\0');
    for (int32_t i = 0; U_SUCCESS(status) && i < count; ++i) {
        const QByteArray name = QByteArray(ucsdet_getName(matches[i], &status)).toUpper();
        if (name == "UTF-16LE" && zeros)
            found = CsvEncoding::Utf16LE;
        else if (name == "UTF-16BE" && zeros)
            found = CsvEncoding::Utf16BE;
        else if (name == "ISO-8859-2")
            found = balance > 0 ? CsvEncoding::Windows1250 : CsvEncoding::Iso8859_2;
        else if (name == "WINDOWS-1250")
            found = balance < 0 ? CsvEncoding::Iso8859_2 : CsvEncoding::Windows1250;
        else
            continue;
        break;
    }
    ucsdet_close(detector);
    return found;
}

QStringDecoder decoderFor(CsvEncoding encoding)
{
    switch (encoding) {
    case CsvEncoding::Utf16LE:
        return QStringDecoder(QStringDecoder::Utf16LE);
    case CsvEncoding::Utf16BE:
        return QStringDecoder(QStringDecoder::Utf16BE);
    case CsvEncoding::Windows1250:
        return QStringDecoder("windows-1250");
    case CsvEncoding::Iso8859_2:
        return QStringDecoder("ISO-8859-2");
    case CsvEncoding::Detect:
    case CsvEncoding::Utf8:
        break;
    }
    return QStringDecoder(QStringDecoder::Utf8);
}

// The candidate found most often in the first line outside quotes; ';' when none is.
QChar detectDelimiter(const QString &text)
{
    const QList<QChar> candidates{u';', u',', u'\t'};
    QList<int> counts(candidates.size(), 0);
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted && (c == u'\n' || c == u'\r'))
            break;
        else if (!quoted && candidates.contains(c))
            ++counts[candidates.indexOf(c)];
    }
    const auto best = std::max_element(counts.begin(), counts.end());
    return *best > 0 ? candidates[best - counts.begin()] : QChar(u';');
}

} // namespace

CsvReader::CsvReader(QIODevice *device, CsvEncoding encoding)
    : m_device(device), m_encoding(encoding)
{
}

int CsvReader::fieldForHeader(const QString &header)
{
    return meaningOf(header).field;
}

bool CsvReader::open()
{
    const QByteArray sample = m_device->read(kChunkBytes);
    if (m_encoding == CsvEncoding::Detect)
        m_encoding = detectEncoding(sample);
    m_decoder = decoderFor(m_encoding);
    m_buffer = m_decoder.decode(sample);
    m_delimiter = detectDelimiter(m_buffer);
    if (!parseRow(&m_headers)) {
        if (!hasError()) {
            m_error = QStringLiteral("Plik nie ma wiersza nagłówka.");
            m_errorLine = 1;
        }
        return false;
    }
    m_own = true;
    for (const QString &header : std::as_const(m_headers)) {
        m_mapping << fieldForHeader(header);
        m_own = m_own && isOwnHeader(header);
    }
    // A display name stands for the person only when the name parts are missing.
    if (!m_mapping.contains(int(ContactRecord::Filia))) {
        for (qsizetype i = 0; i < m_headers.size(); ++i) {
            const QString header = m_headers[i].trimmed().toLower();
            if (m_mapping[i] < 0 && (header == u"display name" || header == u"name"))
                m_mapping[i] = ContactRecord::Filia;
        }
    }
    QStringList row;
    while (m_preview.size() < kPreviewRows && parseRow(&row))
        m_preview << row;
    return !hasError();
}

bool CsvReader::fillBuffer()
{
    m_buffer.remove(0, m_position);
    m_position = 0;
    const QByteArray bytes = m_device->read(kChunkBytes);
    if (bytes.isEmpty())
        return false;
    m_buffer += m_decoder.decode(bytes);
    return true;
}

// The next row that has a cell with text in it.
bool CsvReader::parseRow(QStringList *cells)
{
    while (!hasError()) {
        cells->clear();
        QString cell;
        bool quoted = false; // the cell began with a quote
        bool inQuotes = false;
        bool complete = false;
        bool needMore = false;
        qint64 breaks = 0;
        qsizetype i = m_position;
        const qsizetype size = m_buffer.size();
        while (i < size && !complete && !needMore) {
            const QChar c = m_buffer[i];
            const bool last = i + 1 == size;
            if (inQuotes) {
                if (c == u'"' && last && !m_atEnd) {
                    needMore = true; // a doubled quote or the closing one
                } else if (c == u'"' && !last && m_buffer[i + 1] == u'"') {
                    cell += c;
                    i += 2;
                } else if (c == u'"') {
                    inQuotes = false;
                    ++i;
                } else {
                    // The quoted text up to the next quote, at once.
                    qsizetype end = i + 1;
                    while (end < size && m_buffer[end] != u'"')
                        ++end;
                    const QStringView text = QStringView(m_buffer).sliced(i, end - i);
                    breaks += text.count(u'\n');
                    cell += text;
                    i = end;
                }
            } else if (c == u'"' && cell.isEmpty() && !quoted) {
                quoted = inQuotes = true;
                ++i;
            } else if (c == m_delimiter) {
                *cells << cell;
                cell.clear();
                quoted = false;
                ++i;
            } else if (c == u'\r' && last && !m_atEnd) {
                needMore = true;
            } else if (c == u'\r' || c == u'\n') {
                i += c == u'\r' && !last && m_buffer[i + 1] == u'\n' ? 2 : 1;
                complete = true;
            } else {
                // Ordinary characters up to the next delimiter or line break, at once.
                qsizetype end = i + 1;
                while (end < size && m_buffer[end] != m_delimiter && m_buffer[end] != u'\r' &&
                       m_buffer[end] != u'\n')
                    ++end;
                cell += QStringView(m_buffer).sliced(i, end - i);
                i = end;
            }
        }
        if (inQuotes && m_atEnd) {
            // A stray quote would make every row after it one cell: refused.
            m_error = QStringLiteral("Cudzysłów otwarty w tym wierszu nie jest zamknięty do "
                                     "końca pliku.");
            m_errorLine = m_line;
            return false;
        }
        if (!complete && !needMore && m_atEnd && i > m_position)
            complete = true; // the last row, without a line break
        if (complete) {
            *cells << cell;
            m_line += breaks + 1;
            m_position = i;
            if (std::any_of(cells->begin(), cells->end(),
                            [](const QString &s) { return !s.isEmpty(); }))
                return true;
            continue;
        }
        if (m_atEnd)
            return false;
        if (i - m_position > kMaxRowChars) {
            m_error = QStringLiteral("Wiersz %1 jest dłuższy niż 1 MB albo nie zamyka cudzysłowu.")
                          .arg(m_line);
            m_errorLine = m_line;
            return false;
        }
        if (!fillBuffer())
            m_atEnd = true;
    }
    return false;
}

bool CsvReader::readRow(QStringList *cells)
{
    if (m_previewTaken < m_preview.size()) {
        *cells = m_preview[m_previewTaken++];
        return true;
    }
    return parseRow(cells);
}

bool CsvReader::readNext(ContactRecord *record)
{
    QStringList cells;
    if (!readRow(&cells))
        return false;
    std::array<QStringList, ContactRecord::kFieldCount> parts;
    for (qsizetype column = 0; column < cells.size(); ++column) {
        const int field = m_mapping.value(column, -1);
        if (field < 0 || field >= ContactRecord::kFieldCount || cells[column].isEmpty())
            continue;
        const QString header = m_headers.value(column);
        const bool labelled = field == ContactRecord::Uwagi && !meaningOf(header).notes;
        parts[std::size_t(field)] << (labelled ? header + QStringLiteral(": ") : QString()) +
                                         cells[column];
    }
    ContactRecord r;
    for (int field = 0; field < ContactRecord::kFieldCount; ++field) {
        const QString separator = field == ContactRecord::Filia   ? QStringLiteral(" ")
                                  : field == ContactRecord::Uwagi ? QStringLiteral("\n")
                                                                  : QStringLiteral(", ");
        r.values[std::size_t(field)] = parts[std::size_t(field)].join(separator);
    }
    if (!m_own) {
        r[ContactRecord::Kraj] = CountryNames::toPolish(r[ContactRecord::Kraj]);
        if (r[ContactRecord::Nazwa].isEmpty())
            std::swap(r[ContactRecord::Nazwa], r[ContactRecord::Filia]);
    }
    *record = r;
    return true;
}

CsvWriter::CsvWriter(QIODevice *device, Encoding encoding) : m_device(device), m_encoding(encoding)
{
}

bool CsvWriter::writeLine(const QStringList &cells)
{
    QStringList quoted;
    for (const QString &cell : cells) {
        const bool needsQuotes = cell.contains(u';') || cell.contains(u'"') ||
                                 cell.contains(u'\n') || cell.contains(u'\r');
        quoted << (needsQuotes ? u'"' + QString(cell).replace(u'"', QStringLiteral("\"\"")) + u'"'
                               : cell);
    }
    const QString line = quoted.join(u';') + QStringLiteral("\r\n");
    QByteArray bytes;
    if (m_encoding == Encoding::Utf8) {
        bytes = line.toUtf8();
    } else {
        m_lossless = m_lossless && TextCodec::fitsWindows1250(line);
        QStringEncoder ansi("windows-1250");
        bytes = ansi.encode(line);
    }
    return m_device->write(bytes) == bytes.size();
}

bool CsvWriter::write(const ContactRecord &record)
{
    if (!m_started) {
        m_started = true;
        if (m_encoding == Encoding::Utf8 && m_device->write("\xEF\xBB\xBF") != 3)
            return false;
        QStringList captions;
        for (int field = 0; field < ContactRecord::kFieldCount; ++field)
            captions << ContactRecord::fieldCaption(field);
        if (!writeLine(captions))
            return false;
    }
    return writeLine(QStringList(record.values.begin(), record.values.end()));
}
