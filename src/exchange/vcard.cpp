#include "exchange/vcard.h"

#include "exchange/country_names.h"

#include <QIODevice>
#include <QStringDecoder>
#include <algorithm>
#include <optional>

namespace {

// Cards this program wrote carry its product id; their values are taken as they are.
constexpr char kProductId[] = "-//Kartax2000//Kartax2000//PL";
constexpr char kQuotedPrintable[] = "QUOTED-PRINTABLE";

// One content line split into its parts; names and parameters in upper case.
struct Property
{
    QByteArray name;
    QStringList types;
    QByteArray encoding;
    QByteArray charset;
    QByteArray valueType;
    QByteArray value;
};

QList<QByteArray> splitOutsideQuotes(const QByteArray &text, char separator)
{
    QList<QByteArray> parts;
    qsizetype start = 0;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            quoted = !quoted;
        } else if (text[i] == separator && !quoted) {
            parts << text.sliced(start, i - start);
            start = i + 1;
        }
    }
    parts << text.sliced(start);
    return parts;
}

qsizetype colonOutsideQuotes(const QByteArray &line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted)
            return i;
    }
    return -1;
}

bool isQuotedPrintable(const QByteArray &line)
{
    const qsizetype colon = line.indexOf(':');
    return colon > 0 && line.left(colon).toUpper().contains(kQuotedPrintable);
}

bool parseLine(const QByteArray &line, Property *property)
{
    const qsizetype colon = colonOutsideQuotes(line);
    if (colon <= 0)
        return false;
    property->value = line.sliced(colon + 1);
    const QByteArrayView head = QByteArrayView(line).first(colon);
    const qsizetype semicolon = head.indexOf(';');
    QByteArrayView name = (semicolon < 0 ? head : head.first(semicolon)).trimmed();
    const qsizetype dot = name.lastIndexOf('.'); // a group: item1.EMAIL
    if (dot >= 0)
        name = name.sliced(dot + 1);
    property->name = name.toByteArray().toUpper();
    if (semicolon < 0)
        return true;
    for (const QByteArray &parameter :
         splitOutsideQuotes(head.sliced(semicolon + 1).toByteArray(), ';')) {
        const qsizetype equals = parameter.indexOf('=');
        // vCard 2.1 names a type or an encoding without a parameter name.
        QByteArray key =
            equals < 0 ? QByteArray("TYPE") : parameter.left(equals).trimmed().toUpper();
        QByteArray value = (equals < 0 ? parameter : parameter.mid(equals + 1)).trimmed();
        value.replace('"', QByteArray());
        if (key == "TYPE") {
            for (const QByteArray &type : value.split(',')) {
                const QByteArray upper = type.trimmed().toUpper();
                if (upper == kQuotedPrintable || upper == "BASE64" || upper == "8BIT" ||
                    upper == "7BIT")
                    property->encoding = upper;
                else if (!upper.isEmpty())
                    property->types << QString::fromLatin1(upper);
            }
        } else if (key == "ENCODING") {
            property->encoding = value.toUpper();
        } else if (key == "CHARSET") {
            property->charset = value;
        } else if (key == "VALUE") {
            property->valueType = value.toUpper();
        } else if (key == "PREF") {
            property->types << QStringLiteral("PREF");
        }
    }
    return true;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray decodeQuotedPrintable(const QByteArray &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
            hexDigit(text[i + 2]) >= 0) {
            bytes += char(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

// Text from bytes in the named charset, or UTF-8, or Windows-1250 when the bytes are
// not UTF-8; line breaks become LF and other control characters are dropped.
QString decodeText(const QByteArray &bytes, const QByteArray &charset)
{
    // Most values are plain printable ASCII, the same in every charset.
    if (std::all_of(bytes.cbegin(), bytes.cend(),
                    [](char c) { return (c >= 0x20 && c < 0x7f) || c == '\t'; }))
        return QString::fromLatin1(bytes);
    QString text;
    bool decoded = false;
    if (!charset.isEmpty()) {
        QStringDecoder named(charset.constData());
        if (named.isValid()) {
            text = named.decode(bytes);
            decoded = true;
        }
    }
    if (!decoded) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        text = utf8.decode(bytes);
        if (utf8.hasError()) {
            QStringDecoder ansi("windows-1250");
            text = ansi.decode(bytes);
        }
    }
    if (std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x20; }))
        return text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.removeIf([](QChar c) { return c.unicode() < 0x20 && c != u'\n' && c != u'\t'; });
    return text;
}

QString unescape(const QString &text)
{
    if (!text.contains(u'\\'))
        return text;
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\\' || i + 1 == text.size()) {
            result += c;
            continue;
        }
        const QChar next = text[++i];
        if (next == u'n' || next == u'N')
            result += u'\n';
        else if (next == u',' || next == u';' || next == u'\\' || next == u':')
            result += next;
        else
            result += QString(c) + next;
    }
    return result;
}

// Components split at separators that no backslash escapes, each unescaped.
QStringList splitValue(const QString &text, QChar separator)
{
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\') {
            ++i;
        } else if (text[i] == separator) {
            parts << unescape(text.mid(start, i - start));
            start = i + 1;
        }
    }
    parts << unescape(text.mid(start));
    return parts;
}

QString joinNonEmpty(const QStringList &parts, const QString &separator)
{
    QStringList kept;
    for (const QString &part : parts) {
        if (!part.isEmpty())
            kept << part;
    }
    return kept.join(separator);
}

// A value with the types it was given.
struct Typed
{
    QStringList types;
    QString value;
};

// The parts of one card gathered while it is read, mapped onto the fields at its end.
class CardBuilder
{
public:
    void add(const Property &property);
    ContactRecord finish() const;

private:
    static qsizetype pick(const QList<Typed> &list, const QStringList &preferred);

    bool m_own = false;
    bool m_hasOrg = false;
    QString m_org;
    QString m_fn;
    QString m_person;
    QString m_title;
    QString m_categories;
    QString m_role;
    QList<QStringList> m_addresses;
    QList<QStringList> m_addressTypes;
    QList<Typed> m_phones;
    QList<Typed> m_faxes;
    QList<Typed> m_emails;
    QStringList m_urls;
    QStringList m_notes;
    qsizetype m_size = 0; // characters gathered, so that a huge card cannot grow without end
};

void CardBuilder::add(const Property &property)
{
    static const QList<QByteArray> used{"PRODID",     "ORG", "FN",  "N",     "TITLE", "ROLE",
                                        "CATEGORIES", "ADR", "TEL", "EMAIL", "URL",   "NOTE"};
    if (!used.contains(property.name) || property.encoding == "BASE64" || property.encoding == "B")
        return; // other properties, pictures and sounds
    const QByteArray bytes = property.encoding == kQuotedPrintable
                                 ? decodeQuotedPrintable(property.value)
                                 : property.value;
    const QString text = decodeText(bytes, property.charset);
    if (m_size + text.size() > VCardReader::kMaxLineBytes)
        return;
    m_size += text.size();
    const QByteArray &name = property.name;
    if (name == "PRODID") {
        m_own = unescape(text) == QLatin1String(kProductId);
    } else if (name == "ORG") {
        if (!m_hasOrg)
            m_org = splitValue(text, u';').first();
        m_hasOrg = true;
    } else if (name == "FN") {
        if (m_fn.isEmpty())
            m_fn = unescape(text);
    } else if (name == "N") {
        if (m_person.isEmpty()) {
            const QStringList n = splitValue(text, u';');
            m_person = joinNonEmpty({n.value(1), n.value(2), n.value(0)}, QStringLiteral(" "));
        }
    } else if (name == "TITLE") {
        if (m_title.isEmpty())
            m_title = unescape(text);
    } else if (name == "ROLE") {
        if (m_role.isEmpty())
            m_role = unescape(text);
    } else if (name == "CATEGORIES") {
        if (m_categories.isEmpty())
            m_categories = joinNonEmpty(splitValue(text, u','), QStringLiteral(", "));
    } else if (name == "ADR") {
        m_addresses << splitValue(text, u';');
        m_addressTypes << property.types;
    } else if (name == "TEL") {
        QString number = unescape(text);
        if (!m_own && (property.valueType == "URI" ||
                       number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive)))
            number = number.mid(number.indexOf(u':') + 1);
        (property.types.contains(QStringLiteral("FAX")) ? m_faxes : m_phones)
            << Typed{property.types, number};
    } else if (name == "EMAIL") {
        m_emails << Typed{property.types, unescape(text)};
    } else if (name == "URL") {
        m_urls << unescape(text);
    } else if (name == "NOTE") {
        m_notes << unescape(text);
    }
}

// The first entry with one of the preferred types, in their order; else the first.
qsizetype CardBuilder::pick(const QList<Typed> &list, const QStringList &preferred)
{
    for (const QString &type : preferred) {
        for (qsizetype i = 0; i < list.size(); ++i) {
            const QStringList &types = list[i].types;
            const QStringList parts = type.split(u'+');
            const bool wanted = std::all_of(parts.begin(), parts.end(),
                                            [&](const QString &t) { return types.contains(t); });
            if (wanted && !types.contains(QStringLiteral("CELL")))
                return i;
        }
    }
    return list.isEmpty() ? -1 : 0;
}

ContactRecord CardBuilder::finish() const
{
    ContactRecord r;
    if (m_hasOrg) {
        r[ContactRecord::Nazwa] = m_org;
        r[ContactRecord::Filia] = !m_fn.isEmpty() && m_fn != m_org ? m_fn : m_person;
    } else {
        r[ContactRecord::Nazwa] = m_fn.isEmpty() ? m_person : m_fn;
    }
    r[ContactRecord::Branza] =
        !m_title.isEmpty() ? m_title : (!m_categories.isEmpty() ? m_categories : m_role);

    qsizetype address = -1;
    for (qsizetype i = 0; i < m_addressTypes.size() && address < 0; ++i) {
        if (m_addressTypes[i].contains(QStringLiteral("WORK")))
            address = i;
    }
    if (address < 0 && !m_addresses.isEmpty())
        address = 0;
    if (address >= 0) {
        const QStringList &adr = m_addresses[address];
        r[ContactRecord::Ulica] = joinNonEmpty({adr.value(2), adr.value(1)}, QStringLiteral(", "));
        r[ContactRecord::Miasto] = adr.value(3);
        r[ContactRecord::Region] = adr.value(4);
        r[ContactRecord::Kod] = adr.value(5);
        r[ContactRecord::Kraj] = m_own ? adr.value(6) : CountryNames::toPolish(adr.value(6));
    }

    QStringList extra;
    const qsizetype phone = pick(
        m_phones, {QStringLiteral("WORK+VOICE"), QStringLiteral("WORK"), QStringLiteral("PREF")});
    for (qsizetype i = 0; i < m_phones.size(); ++i) {
        if (i == phone)
            r[ContactRecord::Tel] = m_phones[i].value;
        else
            extra << QStringLiteral("Tel.: ") + m_phones[i].value;
    }
    const qsizetype fax = pick(m_faxes, {QStringLiteral("WORK")});
    for (qsizetype i = 0; i < m_faxes.size(); ++i) {
        if (i == fax)
            r[ContactRecord::Fax] = m_faxes[i].value;
        else
            extra << QStringLiteral("Faks: ") + m_faxes[i].value;
    }
    const qsizetype email = pick(m_emails, {QStringLiteral("WORK"), QStringLiteral("PREF")});
    for (qsizetype i = 0; i < m_emails.size(); ++i) {
        if (i == email)
            r[ContactRecord::Email] = m_emails[i].value;
        else
            extra << QStringLiteral("E-mail: ") + m_emails[i].value;
    }
    for (qsizetype i = 0; i < m_urls.size(); ++i) {
        if (i == 0)
            r[ContactRecord::Http] = m_urls[i];
        else
            extra << QStringLiteral("WWW: ") + m_urls[i];
    }
    r[ContactRecord::Uwagi] = (m_notes + extra).join(u'\n');
    return r;
}

// A device's UTF-16 text as UTF-8 bytes, for a reader that works on bytes.
class Utf8FromUtf16 final : public QIODevice
{
public:
    Utf8FromUtf16(QIODevice *source, QStringDecoder::Encoding encoding)
        : m_source(source), m_decoder(encoding)
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        while (m_out.size() < maxSize) {
            const QByteArray bytes = m_source->read(64 * 1024);
            if (bytes.isEmpty())
                break;
            QString text = m_carry + m_decoder.decode(bytes);
            m_carry.clear();
            // Half of a surrogate pair waits for its other half.
            if (!text.isEmpty() && text.back().isHighSurrogate()) {
                m_carry = text.back();
                text.chop(1);
            }
            m_out += text.toUtf8();
        }
        if (m_out.isEmpty())
            return -1;
        const qsizetype size = std::min<qsizetype>(m_out.size(), qsizetype(maxSize));
        std::copy_n(m_out.constData(), size, data);
        m_out.remove(0, size);
        return size;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QIODevice *m_source;
    QStringDecoder m_decoder;
    QString m_carry;
    QByteArray m_out;
};

// The UTF-16 byte order of a device's text, from its byte-order mark or from where the
// zero bytes of its first two (Latin) characters stand; nullopt for anything else.
std::optional<QStringDecoder::Encoding> utf16Order(const QByteArray &start)
{
    const auto zeroAt = [&start](qsizetype first) {
        return start.size() >= 4 && start[first] == 0 && start[first + 2] == 0 &&
               start[1 - first] != 0 && start[3 - first] != 0;
    };
    if (start.startsWith("\xFF\xFE") || zeroAt(1))
        return QStringDecoder::Utf16LE;
    if (start.startsWith("\xFE\xFF") || zeroAt(0))
        return QStringDecoder::Utf16BE;
    return std::nullopt;
}

} // namespace

VCardReader::VCardReader(QIODevice *device) : m_device(device) {}

VCardReader::~VCardReader() = default;

bool VCardReader::beginsCard(const QByteArray &start)
{
    const auto order = utf16Order(start);
    QString text = order ? QStringDecoder(*order).decode(start) : QString::fromUtf8(start);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text.trimmed().startsWith(QLatin1String("BEGIN:VCARD"), Qt::CaseInsensitive);
}

void VCardReader::fail(qint64 line, const QString &message)
{
    if (m_error.isEmpty()) {
        m_error = message;
        m_errorLine = line;
    }
}

bool VCardReader::readPhysical(QByteArray *line)
{
    if (hasError())
        return false;
    if (!m_started) {
        m_started = true;
        if (const auto order = utf16Order(m_device->peek(4))) {
            m_utf16 = std::make_unique<Utf8FromUtf16>(m_device, *order);
            m_device = m_utf16.get();
        }
    }
    // One buffer for every line, so that reading a line allocates nothing; it holds
    // the limit, a CR LF and the terminating zero readLine() adds.
    if (m_lineBuffer.isEmpty())
        m_lineBuffer.resize(kMaxLineBytes + 3);
    const qint64 read = m_device->readLine(m_lineBuffer.data(), m_lineBuffer.size());
    if (read <= 0)
        return false;
    QByteArray bytes(m_lineBuffer.constData(), qsizetype(read));
    if (++m_lineNumber == 1 && bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3); // a UTF-8 byte-order mark
    if (!bytes.endsWith('\n') && bytes.size() > kMaxLineBytes) {
        fail(m_lineNumber, QStringLiteral("Wiersz %1 jest dłuższy niż 1 MB.").arg(m_lineNumber));
        return false;
    }
    while (bytes.endsWith('\n') || bytes.endsWith('\r'))
        bytes.chop(1);
    *line = bytes;
    return true;
}

bool VCardReader::readLogical(QByteArray *line, qint64 *lineNumber)
{
    QByteArray current;
    if (m_hasPending) {
        current = m_pending;
        *lineNumber = m_pendingLine;
        m_hasPending = false;
    } else if (readPhysical(&current)) {
        *lineNumber = m_lineNumber;
    } else {
        return false;
    }
    for (;;) {
        // vCard 2.1 breaks quoted-printable values with a trailing '='; the others
        // fold by starting the next line with a blank.
        const bool softBreak = current.endsWith('=') && isQuotedPrintable(current);
        QByteArray next;
        if (!readPhysical(&next))
            break;
        if (softBreak) {
            current.chop(1);
            current += next;
        } else if (next.startsWith(' ') || next.startsWith('\t')) {
            current += QByteArrayView(next).sliced(1);
        } else {
            m_pending = next;
            m_pendingLine = m_lineNumber;
            m_hasPending = true;
            break;
        }
        if (current.size() > kMaxLineBytes) {
            fail(*lineNumber, QStringLiteral("Wiersz %1 jest dłuższy niż 1 MB.").arg(*lineNumber));
            break;
        }
    }
    if (hasError())
        return false;
    *line = current;
    return true;
}

bool VCardReader::readNext(ContactRecord *record)
{
    CardBuilder card;
    bool inCard = false;
    qint64 begin = 0;
    QByteArray line;
    qint64 number = 0;
    while (!hasError() && readLogical(&line, &number)) {
        Property property;
        if (!parseLine(line, &property))
            continue;
        const bool vcard = (property.name == "BEGIN" || property.name == "END") &&
                           property.value.trimmed().toUpper() == "VCARD";
        if (property.name == "BEGIN" && vcard) {
            if (inCard)
                m_warnings << QStringLiteral("Wizytówka z wiersza %1 nie ma końca (END); "
                                             "pominięto ją.")
                                  .arg(begin);
            card = CardBuilder();
            inCard = true;
            begin = number;
        } else if (inCard && property.name == "END" && vcard) {
            *record = card.finish();
            return true;
        } else if (inCard) {
            card.add(property);
        }
    }
    if (inCard)
        fail(begin, QStringLiteral("Plik urywa się w wizytówce zaczętej w wierszu %1.").arg(begin));
    return false;
}

namespace {

QString escape(const QString &text)
{
    const auto special = [](QChar c) {
        return c == u'\\' || c == u',' || c == u';' || c == u'\n' || c == u'\r';
    };
    if (std::none_of(text.begin(), text.end(), special))
        return text; // most values: nothing to escape, nothing to copy
    QString result;
    result.reserve(text.size() + 8);
    QString normalized = text;
    normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (const QChar c : normalized) {
        if (c == u'\\' || c == u',' || c == u';')
            result += QString(u'\\') + c;
        else if (c == u'\n' || c == u'\r')
            result += QStringLiteral("\\n");
        else
            result += c;
    }
    return result;
}

// Appends a content line, its head and its value, folded at 75 octets, never inside a
// UTF-8 sequence.
void appendFolded(QByteArray *out, QByteArrayView head, const QString &value)
{
    const QByteArray text = value.toUtf8();
    if (head.size() + text.size() <= 75) { // most lines: no folding, no copy
        *out += head;
        *out += text;
        *out += "\r\n";
        return;
    }
    const QByteArray bytes = head.toByteArray() + text;
    qsizetype start = 0;
    qsizetype room = 75;
    while (bytes.size() - start > room) {
        qsizetype cut = start + room;
        while (cut > start + 1 && (uchar(bytes[cut]) & 0xC0) == 0x80)
            --cut;
        *out += QByteArrayView(bytes).sliced(start, cut - start);
        *out += "\r\n ";
        start = cut;
        room = 74;
    }
    *out += QByteArrayView(bytes).sliced(start);
    *out += "\r\n";
}

} // namespace

VCardWriter::VCardWriter(QIODevice *device, Version version) : m_device(device), m_version(version)
{
}

bool VCardWriter::write(const ContactRecord &record)
{
    const QByteArray bytes = card(record, m_version);
    return m_device->write(bytes) == bytes.size();
}

QByteArray VCardWriter::card(const ContactRecord &record, Version version)
{
    const bool v4 = version == Version::V4;
    const QString &nazwa = record[ContactRecord::Nazwa];
    const QString &filia = record[ContactRecord::Filia];
    QByteArray out;
    out.reserve(512);
    out += "BEGIN:VCARD\r\n";
    out += v4 ? "VERSION:4.0\r\n" : "VERSION:3.0\r\n";
    out += "PRODID:";
    out += kProductId;
    out += "\r\n";
    // FN names the representative when there is one; N repeats it so that it is
    // told apart from the organisation when both read the same.
    appendFolded(&out, "FN:", escape(filia.isEmpty() ? nazwa : filia));
    appendFolded(&out, "N:", escape(filia) + QStringLiteral(";;;;"));
    appendFolded(&out, "ORG:", escape(nazwa));
    const auto add = [&out](QByteArrayView head, const QString &value) {
        if (!value.isEmpty())
            appendFolded(&out, head, escape(value));
    };
    add("TITLE:", record[ContactRecord::Branza]);
    const QStringList address{record[ContactRecord::Ulica], record[ContactRecord::Miasto],
                              record[ContactRecord::Region], record[ContactRecord::Kod],
                              record[ContactRecord::Kraj]};
    if (!joinNonEmpty(address, QString()).isEmpty()) {
        QStringList escaped;
        for (const QString &part : address)
            escaped << escape(part);
        appendFolded(&out, v4 ? "ADR;TYPE=work:;;" : "ADR;TYPE=WORK:;;", escaped.join(u';'));
    }
    add(v4 ? "TEL;TYPE=work,voice;VALUE=text:" : "TEL;TYPE=WORK,VOICE:",
        record[ContactRecord::Tel]);
    add(v4 ? "TEL;TYPE=work,fax;VALUE=text:" : "TEL;TYPE=WORK,FAX:", record[ContactRecord::Fax]);
    add(v4 ? "EMAIL;TYPE=work:" : "EMAIL;TYPE=WORK:", record[ContactRecord::Email]);
    add("URL:", record[ContactRecord::Http]);
    add("NOTE:", record[ContactRecord::Uwagi]);
    out += "END:VCARD\r\n";
    return out;
}
