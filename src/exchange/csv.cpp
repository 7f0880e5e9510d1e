#include "exchange/csv.h"

#include "exchange/country_names.h"
#include "platform/text_codec.h"
#include "store/search_words.h"

#include <QHash>
#include <QIODevice>
#include <QRegularExpression>
#include <QSet>
#include <QStringEncoder>
#include <algorithm>
#include <unicode/ucsdet.h>

namespace {

constexpr qint64 kChunkBytes = 64 * 1024;

using Kind = ContactDetail::Kind;
using F = ContactRecord;

// A header as it is looked up: case, Polish letters, blanks, dots and dashes aside
// ("Tel. kom." and "tel kom", "E-mail" and "email" are one).
QString headerKey(const QString &header)
{
    QString key;
    for (const QChar c : SearchIndex::fold(header)) {
        if (c.isLetterOrNumber())
            key += c;
    }
    return key;
}

CsvColumn further(int field, Kind kind, const QString &type = {}, const QString &label = {})
{
    CsvColumn column;
    column.field = field;
    column.kind = kind;
    column.type = type;
    column.label = label;
    return column;
}

CsvColumn other(const QString &label)
{
    return further(-1, Kind::Other, {}, label);
}

// The field an address part fills when its address is the row's first.
int fieldOfPart(int part)
{
    static constexpr std::array<int, 7> fields{-1,        -1,     F::Ulica, F::Miasto,
                                               F::Region, F::Kod, F::Kraj};
    return part >= 0 && part < 7 ? fields[std::size_t(part)] : -1;
}

// Google's "Address 1 - Formatted": the whole address, used when the parts are missing.
constexpr int kFormatted = 7;

CsvColumn addressPart(int part, int group, const QString &type = {})
{
    CsvColumn column = further(fieldOfPart(part), Kind::Address, type);
    column.part = part;
    column.group = group;
    return column;
}

const QString &categoriesLabel()
{
    static const QString label = QStringLiteral("Kategorie");
    return label;
}

// What a header says, by its key; notes headers (the notes column, unlabelled) apart.
struct Meanings
{
    QHash<QString, CsvColumn> columns;
    QSet<QString> notes;
};

const Meanings &meanings()
{
    static const Meanings found = [] {
        Meanings m;
        const auto put = [&m](const CsvColumn &column, const QStringList &headers) {
            for (const QString &header : headers)
                m.columns.insert(headerKey(header), column);
        };
        for (int field = 0; field < F::kFieldCount; ++field) {
            put(CsvColumn::forField(field),
                {ContactRecord::fieldName(field), ContactRecord::fieldCaption(field)});
        }
        CsvColumn namePart;
        namePart.field = F::Filia;
        put(CsvColumn::forField(F::Nazwa), {"firma", "nazwa firmy", "organizacja", "company",
                                            "organization", "organization name", "company name"});
        put(CsvColumn::forField(F::Branza), {"branża", "industry", "profession"});
        put(further(F::Branza, Kind::Other, {}, categoriesLabel()),
            {"kategorie", "kategoria", "grupy", "categories", "group membership", "labels"});
        put(namePart, {"imię", "nazwisko", "first name", "middle name", "last name", "given name",
                       "additional name", "family name"});
        put(CsvColumn::forField(F::Filia),
            {"osoba kontaktowa", "osoba", "kontakt", "imię i nazwisko", "contact person"});
        put(CsvColumn::forField(F::Kraj), {"państwo", "country", "country/region"});
        put(CsvColumn::forField(F::Miasto), {"miejscowość", "city", "town"});
        put(CsvColumn::forField(F::Kod), {"kod", "postal code", "zip", "zip code", "postcode"});
        put(CsvColumn::forField(F::Ulica),
            {"adres", "ulica", "ulica i numer", "street", "address"});
        put(CsvColumn::forField(F::Region), {"województwo", "state", "province"});
        put(CsvColumn::forField(F::Tel),
            {"tel", "telefon", "nr telefonu", "numer telefonu", "telefon stacjonarny",
             "business phone", "work phone", "primary phone", "phone", "company main phone",
             "other phone"});
        put(further(F::Tel, Kind::Phone, QStringLiteral("komórkowy")),
            {"tel. kom.", "tel. komórkowy", "telefon komórkowy", "komórka", "komórkowy",
             "mobile phone", "mobile", "mobile number", "cell phone"});
        put(further(F::Tel, Kind::Phone, QStringLiteral("domowy")),
            {"tel. dom.", "telefon domowy", "home phone", "home phone 2"});
        put(further(F::Tel, Kind::Phone, QStringLiteral("służbowy")),
            {"telefon służbowy", "business phone 2"});
        put(further(F::Tel, Kind::Phone, QStringLiteral("car")), {"car phone"});
        put(further(F::Tel, Kind::Phone, QStringLiteral("pager")), {"pager", "pager number"});
        put(CsvColumn::forField(F::Fax), {"faks", "fax", "telefaks", "nr faksu", "business fax",
                                          "fax number", "work fax", "other fax"});
        put(further(F::Fax, Kind::Fax, QStringLiteral("domowy")), {"home fax"});
        put(CsvColumn::forField(F::Email),
            {"email", "adres e-mail", "e-mail address", "primary email", "email address",
             "e-mail 2 address", "e-mail 3 address", "secondary email", "mail"});
        put(CsvColumn::forField(F::Http),
            {"www", "strona www", "strona", "strona internetowa", "adres www", "http", "url",
             "web page", "web page 1", "web page 2", "website", "personal web page"});
        put(further(-1, Kind::Birthday),
            {"urodziny", "data urodzenia", "birthday", "date of birth"});
        put(other(QStringLiteral("Stanowisko")),
            {"stanowisko", "job title", "jobtitle", "organization title"});
        put(other(QStringLiteral("Dział")), {"dział", "department", "organization department"});
        put(other(QStringLiteral("Funkcja")), {"funkcja", "role"});
        for (const char *label : {"NIP", "REGON", "KRS", "PESEL"})
            put(other(QString::fromLatin1(label)), {QString::fromLatin1(label)});
        CsvColumn uid;
        uid.role = CsvColumn::Role::Uid;
        put(uid, {"uid"});
        // Outlook's and Thunderbird's addresses: business (work) first, then home, other.
        const QList<QPair<int, QStringList>> parts{
            {2, {"street", "street 2", "street 3", "address", "address 2"}},
            {3, {"city"}},
            {4, {"state"}},
            {5, {"postal code", "zipcode", "zip"}},
            {6, {"country/region", "country"}},
            {0, {"po box"}}};
        const QList<std::tuple<const char *, int, QString>> places{
            {"business", 1, QStringLiteral("służbowy")},
            {"work", 1, QStringLiteral("służbowy")},
            {"home", 2, QStringLiteral("domowy")},
            {"other", 3, QString()}};
        for (const auto &[place, group, type] : places) {
            for (const auto &[part, names] : parts) {
                for (const QString &name : names)
                    put(addressPart(part, group, type), {QString::fromLatin1(place) + u' ' + name});
            }
        }
        for (const char *header : {"uwagi", "notatki", "notatka", "komentarz", "notes", "note"})
            m.notes.insert(headerKey(QString::fromUtf8(header)));
        m.notes.insert(headerKey(ContactRecord::fieldName(F::Uwagi)));
        put(CsvColumn::forField(F::Uwagi), {"notatki", "notatka", "komentarz", "notes", "note"});
        return m;
    }();
    return found;
}

// Google's numbered groups: "Phone 1 - Value", "Address 2 - City", "E-mail 1 - Type".
std::optional<CsvColumn> googleColumn(const QString &header, int *group, QString *base)
{
    static const QRegularExpression pattern(QStringLiteral("^(.+?)\\s+(\\d+)\\s+-\\s+(.+)$"));
    const QRegularExpressionMatch match = pattern.match(header.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    *base = headerKey(match.captured(1));
    *group = match.captured(2).toInt();
    const QString what = headerKey(match.captured(3));
    CsvColumn column;
    if (what == u"type" || what == u"label") {
        column.role = CsvColumn::Role::Type;
        if (*base == u"address") {
            column.kind = Kind::Address;
            column.group = 100 + *group;
        }
        return column; // the value column is found by the caller
    }
    if (*base == u"phone" && what == u"value")
        return CsvColumn::forField(F::Tel);
    if (*base == u"email" && what == u"value")
        return CsvColumn::forField(F::Email);
    if (*base == u"website" && what == u"value")
        return CsvColumn::forField(F::Http);
    if (*base == u"relation" && what == u"value")
        return further(-1, Kind::Person);
    if (*base == u"organization") {
        if (what == u"name")
            return CsvColumn::forField(F::Nazwa);
        if (what == u"title")
            return other(QStringLiteral("Stanowisko"));
        if (what == u"department")
            return other(QStringLiteral("Dział"));
    }
    if (*base == u"address") {
        static const QHash<QString, int> parts{
            {"pobox", 0},  {"extendedaddress", 1}, {"street", 2},  {"city", 3},
            {"region", 4}, {"postalcode", 5},      {"country", 6}, {"formatted", kFormatted}};
        if (parts.contains(what))
            return addressPart(parts.value(what), 100 + *group);
    }
    return std::nullopt;
}

// The columns of the program's own export after its thirteen fields: numbered further
// values of a kind ("Telefon 2 (komórkowy)", "Urodziny"), their type and label columns
// ("Telefon 2 – typ"), "UID", and "other" values under their label ("Inne: " before a
// label that would read as one of those).
const QString &otherPrefix()
{
    static const QString prefix = QStringLiteral("Inne: ");
    return prefix;
}

const std::array<QString, 2> &describingSuffixes()
{
    static const std::array<QString, 2> suffixes{QStringLiteral(" – typ"),
                                                 QStringLiteral(" – etykieta")};
    return suffixes;
}

// A further value's own header, without "(type)": "Telefon 2", "Urodziny".
std::optional<CsvColumn> ownDetailColumn(const QString &header)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\S.*?)(?: (\\d+))?(?: \\((.*)\\))?$"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = pattern.match(header);
    if (!match.hasMatch())
        return std::nullopt;
    for (int k = 0; k < ContactDetail::kKindCount; ++k) {
        const Kind kind = Kind(k);
        if (kind == Kind::Other || match.captured(1) != ContactDetail::kindCaption(kind))
            continue;
        const int number = match.captured(2).isEmpty() ? 1 : match.captured(2).toInt();
        if (number < (kind == Kind::Birthday ? 1 : 2) ||
            (kind == Kind::Birthday && number == 1 && !match.captured(2).isEmpty()))
            return std::nullopt;
        return further(-1, kind, match.captured(3));
    }
    return std::nullopt;
}

CsvColumn ownColumn(const QString &header, const QStringList &before)
{
    for (int role = 0; role < 2; ++role) {
        const QString &suffix = describingSuffixes()[std::size_t(role)];
        if (!header.endsWith(suffix))
            continue;
        const qsizetype of = before.lastIndexOf(header.chopped(suffix.size()));
        if (of >= 0) {
            CsvColumn column;
            column.role = role == 0 ? CsvColumn::Role::Type : CsvColumn::Role::Label;
            column.of = int(of);
            return column;
        }
    }
    if (header == u"UID") {
        CsvColumn uid;
        uid.role = CsvColumn::Role::Uid;
        return uid;
    }
    if (header.startsWith(otherPrefix()))
        return other(header.mid(otherPrefix().size()));
    if (const std::optional<CsvColumn> detail = ownDetailColumn(header))
        return *detail;
    return other(header);
}

// Whether an "other" value's label, standing alone as a header, would read as something
// else.
bool labelNeedsPrefix(const QString &label)
{
    if (label.trimmed().isEmpty() || label.trimmed() != label || label.startsWith(otherPrefix()) ||
        label == u"UID" || ownDetailColumn(label))
        return true;
    for (const QString &suffix : describingSuffixes()) {
        if (label.endsWith(suffix))
            return true;
    }
    for (int field = 0; field < F::kFieldCount; ++field) {
        if (label.compare(ContactRecord::fieldCaption(field), Qt::CaseInsensitive) == 0 ||
            label.compare(ContactRecord::fieldName(field), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
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

// Whether headers begin with the thirteen captions the program writes, in its order.
bool startsAsOwnExport(const QStringList &headers)
{
    if (headers.size() < F::kFieldCount)
        return false;
    for (int field = 0; field < F::kFieldCount; ++field) {
        if (headers[field] != ContactRecord::fieldCaption(field))
            return false;
    }
    return true;
}

// A spreadsheet runs a cell beginning with '=', '+', '-' or '@' (or a tab or CR before
// one) as a formula: such a cell is written after an apostrophe, which spreadsheets
// show as text. A '+' or '-' followed only by digits, blanks and ( ) - / . is left
// alone: it names no function, cell or program, so nothing can run from it, and the
// telephone numbers ("+48 22 555 11 11") stay as other programs expect them. An
// apostrophe is added before any run of apostrophes leading to such a cell too, so
// that exactly one is taken away on reading and every cell reads back as it was.
bool runsAsFormula(QStringView cell)
{
    if (cell.isEmpty())
        return false;
    const QChar first = cell.front();
    if (first == u'=' || first == u'@' || first == u'\t' || first == u'\r')
        return true;
    if (first != u'+' && first != u'-')
        return false;
    return !std::all_of(cell.begin() + 1, cell.end(), [](QChar c) {
        return c.isDigit() || c == u' ' || c == u'(' || c == u')' || c == u'-' || c == u'/' ||
               c == u'.';
    });
}

bool needsMark(const QString &cell)
{
    qsizetype quotes = 0;
    while (quotes < cell.size() && cell[quotes] == u'\'')
        ++quotes;
    return runsAsFormula(QStringView(cell).sliced(quotes));
}

QString marked(const QString &cell)
{
    return needsMark(cell) ? u'\'' + cell : cell;
}

QString unmarked(const QString &cell)
{
    return cell.startsWith(u'\'') && needsMark(cell.mid(1)) ? cell.mid(1) : cell;
}

// A type as other programs name it, in the program's words: "Mobile" is "komórkowy";
// others as they came, in lower case. Google's "* " (the first of its kind) is dropped,
// and a telephone typed as a fax ("Work Fax") is a fax.
QString typeNamed(const QString &given, Kind *kind)
{
    QString type = given.trimmed();
    if (type.startsWith(u'*'))
        type = type.mid(1).trimmed();
    QStringList words = type.toLower().split(u' ', Qt::SkipEmptyParts);
    const auto fax = [](const QString &word) { return word == u"fax" || word == u"faks"; };
    if ((*kind == Kind::Phone || *kind == Kind::Fax) &&
        std::any_of(words.begin(), words.end(), fax)) {
        *kind = Kind::Fax;
        words.removeIf(fax);
    }
    const QString key = headerKey(words.join(u' '));
    static const QHash<QString, QString> names{
        {"mobile", QStringLiteral("komórkowy")},  {"cell", QStringLiteral("komórkowy")},
        {"komorka", QStringLiteral("komórkowy")}, {"komorkowy", QStringLiteral("komórkowy")},
        {"work", QStringLiteral("służbowy")},     {"business", QStringLiteral("służbowy")},
        {"praca", QStringLiteral("służbowy")},    {"sluzbowy", QStringLiteral("służbowy")},
        {"home", QStringLiteral("domowy")},       {"dom", QStringLiteral("domowy")},
        {"domowy", QStringLiteral("domowy")}};
    return names.value(key, words.join(u' '));
}

// Google's groups ("* myContacts ::: Klienci") as a list: its own groups left out,
// the starred ones without the star.
QString categoriesOf(const QString &cell)
{
    QStringList names;
    for (QString name : cell.split(QStringLiteral(":::"))) {
        name = name.trimmed();
        if (name.startsWith(u'*'))
            name = name.mid(1).trimmed();
        if (!name.isEmpty() && name.compare(u"myContacts", Qt::CaseInsensitive) != 0)
            names << name;
    }
    return names.join(QStringLiteral(", "));
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

CsvColumn CsvColumn::keptAs(const QString &header)
{
    return other(header.trimmed());
}

bool CsvColumn::keeps(const QString &header) const
{
    return role == Role::Value && field < 0 && kind == Kind::Other && part < 0 && type.isEmpty() &&
           label.compare(header.trimmed(), Qt::CaseInsensitive) == 0;
}

CsvColumn CsvColumn::forField(int field)
{
    CsvColumn column;
    column.field = field;
    switch (field) {
    case F::Tel:
        column.kind = Kind::Phone;
        break;
    case F::Fax:
        column.kind = Kind::Fax;
        break;
    case F::Email:
        column.kind = Kind::Email;
        break;
    case F::Http:
        column.kind = Kind::Web;
        break;
    case F::Filia:
        column.kind = Kind::Person;
        break;
    default:
        break;
    }
    return column;
}

int CsvReader::fieldForHeader(const QString &header)
{
    return columnForHeader(header).field;
}

CsvColumn CsvReader::columnForHeader(const QString &header)
{
    int group = 0;
    QString base;
    if (const std::optional<CsvColumn> google = googleColumn(header, &group, &base))
        return *google;
    return meanings().columns.value(headerKey(header));
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
    const bool ownExport = startsAsOwnExport(m_headers);
    if (ownExport) {
        for (qsizetype i = F::kFieldCount; i < m_headers.size(); ++i)
            m_headers[i] = unmarked(m_headers[i]);
    }
    m_own = ownExport || std::all_of(m_headers.begin(), m_headers.end(), isOwnHeader);
    QHash<QString, int> valueColumns; // Google's "Phone 1" and the like: the value's column
    QList<QPair<int, QString>> typeColumns;
    for (qsizetype i = 0; i < m_headers.size(); ++i) {
        const QString &header = m_headers[i];
        if (ownExport && i >= F::kFieldCount) {
            m_mapping << ownColumn(header, m_headers.mid(0, i));
            continue;
        }
        int group = 0;
        QString base;
        std::optional<CsvColumn> google = googleColumn(header, &group, &base);
        m_mapping << (google ? *google : columnForHeader(header));
        // Only the types of telephones, e-mail and web addresses and relations are known.
        static const QStringList typed{"phone", "email", "website", "relation"};
        if (google && google->role == CsvColumn::Role::Type && typed.contains(base))
            typeColumns.append({int(i), base + QString::number(group)});
        else if (google && google->role == CsvColumn::Role::Value)
            valueColumns.insert(base + QString::number(group), int(i));
    }
    for (const auto &[column, value] : std::as_const(typeColumns))
        m_mapping[column].of = valueColumns.value(value, -1);
    const auto fills = [this](int field) {
        return std::any_of(m_mapping.begin(), m_mapping.end(),
                           [field](const CsvColumn &c) { return c.field == field; });
    };
    for (qsizetype i = 0; i < m_headers.size(); ++i) {
        CsvColumn &column = m_mapping[i];
        const QString key = headerKey(m_headers[i]);
        // A display name stands for the person only when the name parts are missing;
        // beside them it is their copy, as is Outlook's "File As".
        if (column.skipped() && (key == u"displayname" || key == u"name")) {
            if (!fills(F::Filia))
                column.field = F::Filia;
            continue;
        }
        if (column.skipped() && key == u"fileas")
            continue;
        if (column.skipped() ||
            (column.role == CsvColumn::Role::Type && column.of < 0 && !column.kind))
            column = CsvColumn::keptAs(m_headers[i]);
    }
    // The "other" columns of the program's own export are its own, not kept unknowns.
    m_keptHeld = QList<bool>(ownExport ? 0 : m_headers.size(), false);
    // Outlook writes these for every contact; as they stand they say nothing.
    static const QHash<QString, QString> idle{{"gender", "unspecified"},
                                              {"priority", "normal"},
                                              {"sensitivity", "normal"},
                                              {"private", "false"}};
    for (const QString &header : std::as_const(m_headers))
        m_idle << (m_own ? QString() : idle.value(headerKey(header)));
    QStringList row;
    while (m_preview.size() < kPreviewRows && parseRow(&row))
        m_preview << row;
    return !hasError();
}

bool CsvReader::fillsContacts(const CsvMapping &mapping, const QStringList &headers)
{
    for (qsizetype i = 0; i < mapping.size(); ++i) {
        const CsvColumn &column = mapping[i];
        if (column.role == CsvColumn::Role::Value && !column.skipped() &&
            !column.keeps(headers.value(i)))
            return true;
    }
    return false;
}

QStringList CsvReader::keptColumns() const
{
    QStringList kept;
    for (qsizetype i = 0; i < m_mapping.size() && i < m_headers.size(); ++i) {
        if (m_keptHeld.value(i) && m_mapping[i].keeps(m_headers[i])) {
            const QString header = m_headers[i].trimmed();
            kept << (header.isEmpty() ? QStringLiteral("kolumna %1").arg(i + 1) : header);
        }
    }
    return kept;
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
    const qsizetype columns = std::min(cells.size(), m_mapping.size());
    if (m_own) {
        for (QString &cell : cells)
            cell = unmarked(cell);
    }
    for (qsizetype column = 0; column < columns && column < m_idle.size(); ++column) {
        if (!m_idle[column].isEmpty() &&
            cells[column].compare(m_idle[column], Qt::CaseInsensitive) == 0)
            cells[column].clear();
    }
    ContactRecord r;
    // The types, labels and UID that columns give.
    QHash<int, QString> types;
    QHash<int, QString> labels;
    QHash<int, QString> groupTypes;
    for (qsizetype column = 0; column < columns; ++column) {
        const CsvColumn &c = m_mapping[column];
        const QString &cell = cells[column];
        if (cell.isEmpty())
            continue;
        if (c.role == CsvColumn::Role::Type && c.kind == Kind::Address)
            groupTypes.insert(c.group, cell);
        else if (c.role == CsvColumn::Role::Type)
            types.insert(c.of, cell);
        else if (c.role == CsvColumn::Role::Label)
            labels.insert(c.of, cell);
        else if (c.role == CsvColumn::Role::Uid)
            r.extras.uid = cell;
        else if (column < m_keptHeld.size() && c.keeps(m_headers.value(column)))
            m_keptHeld[column] = true;
    }

    // Columns joined into their field.
    std::array<QStringList, F::kFieldCount> parts;
    for (qsizetype column = 0; column < columns; ++column) {
        const CsvColumn &c = m_mapping[column];
        if (c.role != CsvColumn::Role::Value || c.kind || c.field < 0 ||
            c.field >= F::kFieldCount || cells[column].isEmpty())
            continue;
        const QString header = m_headers.value(column);
        const bool labelled = c.field == F::Uwagi && !meanings().notes.contains(headerKey(header));
        parts[std::size_t(c.field)]
            << (labelled ? header + QStringLiteral(": ") : QString()) + cells[column];
    }
    for (int field = 0; field < F::kFieldCount; ++field) {
        const QString separator = field == F::Filia   ? QStringLiteral(" ")
                                  : field == F::Uwagi ? QStringLiteral("\n")
                                                      : QStringLiteral(", ");
        r.values[std::size_t(field)] = parts[std::size_t(field)].join(separator);
    }

    // Addresses told in parts: the first fills the address fields while they are
    // empty, the rest become further addresses.
    struct Address
    {
        int group;
        std::array<QStringList, 8> parts;
        QString type;
    };
    QList<Address> addresses;
    QList<ContactDetail> details;
    const auto typeOf = [&](qsizetype column, Kind *kind) {
        const CsvColumn &c = m_mapping[column];
        if (!types.contains(int(column)))
            return c.type;
        const QString given = types.value(int(column));
        return m_own ? given : typeNamed(given, kind);
    };
    for (qsizetype column = 0; column < columns; ++column) {
        const CsvColumn &c = m_mapping[column];
        if (c.role != CsvColumn::Role::Value || c.kind != Kind::Address || c.part < 0 ||
            c.part > kFormatted || cells[column].isEmpty())
            continue;
        auto found = std::find_if(addresses.begin(), addresses.end(),
                                  [&c](const Address &a) { return a.group == c.group; });
        if (found == addresses.end()) {
            addresses.append(Address{c.group, {}, c.type});
            found = addresses.end() - 1;
        }
        found->parts[std::size_t(c.part)] << cells[column];
        Kind kind = Kind::Address;
        if (const QString type = typeOf(column, &kind); !type.isEmpty())
            found->type = type;
        if (groupTypes.contains(c.group))
            found->type = typeNamed(groupTypes.value(c.group), &kind);
    }
    for (const Address &address : std::as_const(addresses)) {
        QStringList part;
        for (std::size_t i = 0; i < 7; ++i)
            part << address.parts[i].join(QStringLiteral(", "));
        if (part.join(QString()).isEmpty())
            part[2] = address.parts[kFormatted].join(u' ').split(u'\n').join(QStringLiteral(", "));
        const std::array<int, 5> fields{F::Ulica, F::Miasto, F::Region, F::Kod, F::Kraj};
        if (std::all_of(fields.begin(), fields.end(),
                        [&r](int field) { return r.values[std::size_t(field)].isEmpty(); })) {
            QStringList street;
            for (const QString &line : {part[2], part[1], part[0]})
                if (!line.isEmpty())
                    street << line;
            r[F::Ulica] = street.join(QStringLiteral(", "));
            for (int i = 3; i < 7; ++i)
                r.values[std::size_t(fieldOfPart(i))] = part[i];
        } else {
            details << ContactDetail{
                Kind::Address, address.type, {}, ContactDetail::joinAddress(part)};
        }
    }

    // Further values: into the column's field while the row left it empty.
    for (qsizetype column = 0; column < columns; ++column) {
        const CsvColumn &c = m_mapping[column];
        if (c.role != CsvColumn::Role::Value || !c.kind || c.part >= 0 || cells[column].isEmpty())
            continue;
        Kind kind = *c.kind;
        const QString type = typeOf(column, &kind);
        const QString label = labels.value(int(column), c.label);
        int field = c.field;
        if (kind != *c.kind && field >= 0)
            field = F::Fax; // a telephone typed as a fax
        QStringList values{cells[column]};
        if (!m_own && kind == Kind::Other && field == F::Branza && label == categoriesLabel())
            values = QStringList{categoriesOf(cells[column])};
        else if (!m_own && kind != Kind::Other && kind != Kind::Birthday && kind != Kind::Address)
            values = cells[column].split(QStringLiteral(":::"));
        for (QString value : std::as_const(values)) {
            if (!m_own)
                value = value.trimmed();
            // Outlook's birthday "0/0/00" is none.
            const bool none = kind == Kind::Birthday && !m_own &&
                              std::none_of(value.begin(), value.end(),
                                           [](QChar c) { return c.isDigit() && c != u'0'; });
            if (value.isEmpty() || none)
                continue;
            if (field >= 0 && field < F::kFieldCount && r.values[std::size_t(field)].isEmpty())
                r.values[std::size_t(field)] = value;
            else
                details << ContactDetail{kind, type, label, value};
        }
    }
    std::stable_sort(
        details.begin(), details.end(),
        [](const ContactDetail &a, const ContactDetail &b) { return a.kind < b.kind; });
    r.extras.details = details;
    if (!m_own) {
        r[F::Kraj] = CountryNames::toPolish(r[F::Kraj]);
        if (r[F::Nazwa].isEmpty())
            std::swap(r[F::Nazwa], r[F::Filia]);
    }
    *record = r;
    return true;
}

void CsvDetailColumns::add(QList<Slot> *places, qsizetype at, const ContactDetail &detail)
{
    while (places->size() <= at)
        places->append(Slot{});
    Slot &slot = (*places)[at];
    if (!slot.types.contains(detail.type))
        slot.types << detail.type;
    slot.labelled = slot.labelled || !detail.label.isEmpty();
}

void CsvDetailColumns::collect(const ContactExtras &extras)
{
    std::array<qsizetype, ContactDetail::kKindCount> counts{};
    QHash<QString, qsizetype> otherCounts;
    for (const ContactDetail &detail : extras.details) {
        if (detail.kind != Kind::Other) {
            add(&m_places[std::size_t(detail.kind)], counts[std::size_t(detail.kind)]++, detail);
            continue;
        }
        qsizetype label = m_otherLabels.indexOf(detail.label);
        if (label < 0) {
            m_otherLabels << detail.label;
            m_others.append(QList<Slot>());
            label = m_otherLabels.size() - 1;
        }
        ContactDetail unlabelled = detail;
        unlabelled.label.clear(); // the label is the header
        add(&m_others[label], otherCounts[detail.label]++, unlabelled);
    }
    m_uid = m_uid || !extras.uid.isEmpty();
}

QStringList CsvDetailColumns::headers() const
{
    QStringList headers;
    const auto describe = [&headers](const QString &header, const Slot &slot, bool typed) {
        const bool sameType = slot.types.size() <= 1;
        const QString type = sameType ? slot.types.value(0) : QString();
        const QString named = typed && sameType && !type.isEmpty()
                                  ? header + QStringLiteral(" (%1)").arg(type)
                                  : header;
        headers << named;
        if (!sameType || (!typed && !type.isEmpty()))
            headers << named + describingSuffixes()[0];
        if (slot.labelled)
            headers << named + describingSuffixes()[1];
    };
    for (int k = 0; k < ContactDetail::kKindCount; ++k) {
        const Kind kind = Kind(k);
        const QList<Slot> &places = m_places[std::size_t(k)];
        for (qsizetype i = 0; i < places.size(); ++i) {
            const qsizetype number = i + (kind == Kind::Birthday ? 1 : 2);
            const QString caption = ContactDetail::kindCaption(kind);
            describe(number == 1 ? caption : caption + u' ' + QString::number(number), places[i],
                     true);
        }
    }
    for (qsizetype i = 0; i < m_otherLabels.size(); ++i) {
        const QString &label = m_otherLabels[i];
        const QString header = labelNeedsPrefix(label) ? otherPrefix() + label : label;
        for (const Slot &slot : m_others[i])
            describe(header, slot, false);
    }
    if (m_uid)
        headers << QStringLiteral("UID");
    return headers;
}

CsvWriter::CsvWriter(QIODevice *device, Encoding encoding) : m_device(device), m_encoding(encoding)
{
}

void CsvWriter::setColumns(const QStringList &detailColumns)
{
    m_columns = detailColumns;
    m_layout.clear();
    QStringList before;
    for (int field = 0; field < F::kFieldCount; ++field)
        before << ContactRecord::fieldCaption(field);
    for (const QString &header : detailColumns) {
        m_layout << ownColumn(header, before);
        before << header;
    }
}

QStringList CsvWriter::detailColumns(const QList<ContactExtras> &extras)
{
    CsvDetailColumns columns;
    for (const ContactExtras &one : extras)
        columns.collect(one);
    return columns.headers();
}

bool CsvWriter::writeLine(const QStringList &cells)
{
    QStringList quoted;
    for (const QString &given : cells) {
        const QString cell = marked(given);
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
        if (!writeLine(captions + m_columns))
            return false;
    }
    QStringList cells(record.values.begin(), record.values.end());
    QStringList extra(m_layout.size());
    // Each value goes to the next column of its kind (an "other" value: of its label)
    // that takes its type and label, so that the values read back in their order.
    const auto describedBy = [this](qsizetype column, CsvColumn::Role role) {
        for (qsizetype i = column + 1; i < m_layout.size(); ++i) {
            if (m_layout[i].role == role && m_layout[i].of == column + F::kFieldCount)
                return i;
        }
        return qsizetype(-1);
    };
    QHash<QString, qsizetype> next; // per kind (and label), the first column left
    for (const ContactDetail &detail : record.extras.details) {
        const QString key = ContactDetail::kindName(detail.kind) +
                            (detail.kind == Kind::Other ? u':' + detail.label : QString());
        bool placed = false;
        for (qsizetype i = next.value(key, 0); i < m_layout.size() && !placed; ++i) {
            const CsvColumn &column = m_layout[i];
            if (column.role != CsvColumn::Role::Value || column.kind != detail.kind ||
                (detail.kind == Kind::Other && column.label != detail.label))
                continue;
            const qsizetype typeColumn = describedBy(i, CsvColumn::Role::Type);
            const qsizetype labelColumn = describedBy(i, CsvColumn::Role::Label);
            if ((typeColumn < 0 && column.type != detail.type) ||
                (detail.kind != Kind::Other && labelColumn < 0 && !detail.label.isEmpty()))
                continue;
            extra[i] = detail.value;
            if (typeColumn >= 0)
                extra[typeColumn] = detail.type;
            if (labelColumn >= 0 && detail.kind != Kind::Other)
                extra[labelColumn] = detail.label;
            next.insert(key, i + 1);
            placed = true;
        }
        m_unplaced += placed ? 0 : 1;
    }
    if (!record.extras.uid.isEmpty()) {
        const auto uid = std::find_if(m_layout.begin(), m_layout.end(), [](const CsvColumn &c) {
            return c.role == CsvColumn::Role::Uid;
        });
        if (uid != m_layout.end())
            extra[uid - m_layout.begin()] = record.extras.uid;
        else
            ++m_unplaced;
    }
    return writeLine(cells + extra);
}
