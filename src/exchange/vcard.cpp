#include "exchange/vcard.h"

#include "exchange/country_names.h"

#include <QIODevice>
#include <QRegularExpression>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <optional>

namespace {

// Cards this program wrote carry its product id; their values are taken as they are.
constexpr char kProductId[] = "-//Kartax2000//Kartax2000 2//PL";
// Cards of the program's earlier versions: their TITLE held the line of business.
constexpr char kFirstProductId[] = "-//Kartax2000//Kartax2000//PL";
constexpr char kQuotedPrintable[] = "QUOTED-PRINTABLE";

// The program's own properties, for values vCard has no property for: a person, a
// birthday beyond the first, an "other" value with its label.
constexpr char kPersonProperty[] = "X-KARTAX-OSOBA";
constexpr char kBirthdayProperty[] = "X-KARTAX-URODZINY";
constexpr char kOtherProperty[] = "X-KARTAX-INNE";
// The parameter that carries a value's label.
constexpr char kLabelParameter[] = "X-LABEL";

// What the "other" values that vCard has properties for are labelled.
const QString kTitleLabel = QStringLiteral("Stanowisko");
const QString kRoleLabel = QStringLiteral("Funkcja");
const QString kUnitLabel = QStringLiteral("Dział");
const QString kCategoriesLabel = QStringLiteral("Kategorie");

// Properties the fields and further values are read from; what else a card holds is
// kept as it came, except these and the card's frame (BEGIN, END, VERSION, PRODID).
const QList<QByteArray> kMapped{
    "FN",          "N",   "ORG",  "TITLE", "ROLE", "CATEGORIES", "ADR",           "TEL",
    "EMAIL",       "URL", "NOTE", "BDAY",  "UID",  "REV",        kPersonProperty, kBirthdayProperty,
    kOtherProperty};
const QList<QByteArray> kFrame{"BEGIN", "END", "VERSION", "PRODID"};

// vCard types and the Polish ones stored for them.
struct TypeName
{
    const char *vcard;
    const char *polish;
};
constexpr TypeName kTypeNames[] = {
    {"WORK", "służbowy"}, {"CELL", "komórkowy"}, {"HOME", "domowy"}, {"PAGER", "pager"}};
// Types that say nothing worth keeping (FAX is the kind of a fax number).
const QStringList kIgnoredTypes{"VOICE", "PREF", "INTERNET", "X400", "FAX"};

// One content line split into its parts; names and types in upper case.
struct Property
{
    QByteArray name;
    QStringList types;
    QString label;
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

bool isEncodingName(const QByteArray &upper)
{
    return upper == kQuotedPrintable || upper == "BASE64" || upper == "B" || upper == "8BIT" ||
           upper == "7BIT";
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

// A parameter's value with the ^-escapes of RFC 6868 undone.
QString decodeParameter(const QByteArray &bytes)
{
    const QString text = decodeText(bytes, {});
    QString result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar next = i + 1 < text.size() ? text[i + 1] : QChar();
        if (text[i] == u'^' && (next == u'^' || next == u'\'' || next == u'n')) {
            result += next == u'\'' ? QChar(u'"') : next == u'n' ? QChar(u'\n') : next;
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
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
                if (isEncodingName(upper))
                    property->encoding = upper;
                else if (!upper.isEmpty())
                    property->types << decodeParameter(type.trimmed()).toUpper();
            }
        } else if (key == "ENCODING") {
            property->encoding = value.toUpper();
        } else if (key == "CHARSET") {
            property->charset = value;
        } else if (key == "VALUE") {
            property->valueType = value.toUpper();
        } else if (key == "PREF") {
            property->types << QStringLiteral("PREF");
        } else if (key == kLabelParameter) {
            property->label = decodeParameter(value);
        }
    }
    return true;
}

// The value's text, its transfer encoding and charset undone.
QString propertyText(const Property &property)
{
    return decodeText(property.encoding == kQuotedPrintable ? decodeQuotedPrintable(property.value)
                                                            : property.value,
                      property.charset);
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

// The Polish types stored for a value's vCard types, joined with ", ".
QString polishTypes(const QStringList &types)
{
    QStringList polish;
    for (const QString &type : types) {
        if (kIgnoredTypes.contains(type))
            continue;
        QString name = type.toLower();
        for (const TypeName &known : kTypeNames) {
            if (type == QLatin1String(known.vcard))
                name = QString::fromUtf8(known.polish);
        }
        if (!polish.contains(name))
            polish << name;
    }
    return polish.join(QStringLiteral(", "));
}

// The vCard types of stored Polish ones; "prywatny" is HOME.
QStringList vcardTypes(const QString &types, bool v4)
{
    QStringList result;
    for (QString type : types.split(u',', Qt::SkipEmptyParts)) {
        type = type.trimmed();
        if (type == QStringLiteral("prywatny"))
            type = QStringLiteral("HOME");
        for (const TypeName &known : kTypeNames) {
            if (type == QString::fromUtf8(known.polish))
                type = QLatin1String(known.vcard);
        }
        if (!type.isEmpty())
            result << (v4 ? type.toLower() : type.toUpper());
    }
    return result;
}

// The name N gives: given names, additional names and family name; with its prefix
// and suffix too when `full`.
QString nameOf(const QStringList &n, bool full = false)
{
    return joinNonEmpty(
        full ? QStringList{n.value(3), n.value(1), n.value(2), n.value(0), n.value(4)}
             : QStringList{n.value(1), n.value(2), n.value(0)},
        QStringLiteral(" "));
}

// The N value for a person's name: the last word the family name, the words before
// it the given names; no name gives empty components.
QString nameComponents(const QString &person)
{
    QStringList words = person.simplified().split(u' ', Qt::SkipEmptyParts);
    const QString family = words.isEmpty() ? QString() : words.takeLast();
    return escape(family) + u';' + escape(words.join(u' ')) + QStringLiteral(";;;");
}

// A list value (categories, departments) as one text joined with ", " (empty parts
// dropped, but in this program's own cards), and categories back as CATEGORIES' value.
QString joinList(const QStringList &parts, bool own)
{
    return own ? parts.join(QStringLiteral(", ")) : joinNonEmpty(parts, QStringLiteral(", "));
}

QString categoriesValue(const QString &text)
{
    QStringList parts = text.split(QStringLiteral(", "));
    for (QString &part : parts)
        part = escape(part);
    return parts.join(u',');
}

// The parts of one card gathered while it is read, mapped at its end.
class CardBuilder
{
public:
    void add(const Property &property, const QByteArray &line);
    ContactRecord finish() const;
    // The properties passed over because the card holds more than 1 MB of text.
    const QStringList &dropped() const { return m_dropped; }

private:
    // A value read, with its vCard types; categories keep their parts until the card
    // is known to be this program's own.
    struct Value
    {
        ContactDetail detail;
        QStringList types;
        QStringList categories;
        bool uri = false;
    };

    bool fits(qsizetype size, const QByteArray &name);
    Value &addValue(ContactDetail::Kind kind, const Property &property, const QString &value,
                    const QString &label);
    qsizetype choose(const QList<Value> &values, ContactDetail::Kind kind,
                     const QStringList &preferred) const;

    bool m_own = false;
    bool m_firstOwn = false; // written by an earlier version
    bool m_hasOrg = false;
    bool m_hasName = false;
    bool m_hasCategories = false;
    QString m_org;
    QStringList m_units;
    QString m_fn;
    QString m_person;
    QStringList m_nameParts;
    QString m_nameLine;
    QStringList m_categories;
    QList<Value> m_values;
    QStringList m_notes;
    QString m_uid;
    QString m_revision;
    QStringList m_kept;
    QStringList m_dropped;
    qsizetype m_size = 0; // characters gathered, so that a huge card cannot grow without end
};

bool CardBuilder::fits(qsizetype size, const QByteArray &name)
{
    if (m_size + size > VCardReader::kMaxLineBytes) {
        const QString text = QString::fromUtf8(name);
        if (!m_dropped.contains(text))
            m_dropped << text;
        return false;
    }
    m_size += size;
    return true;
}

CardBuilder::Value &CardBuilder::addValue(ContactDetail::Kind kind, const Property &property,
                                          const QString &value, const QString &label)
{
    m_values << Value{{kind, polishTypes(property.types), label, value}, property.types, {}, false};
    return m_values.last();
}

void CardBuilder::add(const Property &property, const QByteArray &line)
{
    const QByteArray &name = property.name;
    if (name == "PRODID") {
        const QString id = unescape(decodeText(property.value, {}));
        m_firstOwn = id == QLatin1String(kFirstProductId);
        m_own = m_firstOwn || id == QLatin1String(kProductId);
        return;
    }
    if (kFrame.contains(name))
        return;
    if (!kMapped.contains(name) || property.encoding == "BASE64" || property.encoding == "B") {
        // One line each: a stray line break in it goes.
        QString text = decodeText(line, {});
        text.remove(u'\n');
        if (fits(text.size(), name))
            m_kept << text;
        return;
    }
    const QString text = propertyText(property);
    if (!fits(text.size(), name))
        return;
    using Kind = ContactDetail::Kind;
    if (name == "FN") {
        if (m_fn.isEmpty())
            m_fn = unescape(text);
    } else if (name == "N") {
        if (!m_hasName) {
            m_hasName = true;
            m_nameParts = splitValue(text, u';');
            m_person = nameOf(m_nameParts);
            m_nameLine = decodeText(line, {});
        }
    } else if (name == "ORG") {
        if (!m_hasOrg) {
            m_units = splitValue(text, u';');
            m_org = m_units.takeFirst();
        }
        m_hasOrg = true;
    } else if (name == "TITLE") {
        addValue(Kind::Other, property, unescape(text), kTitleLabel);
    } else if (name == "ROLE") {
        addValue(Kind::Other, property, unescape(text), kRoleLabel);
    } else if (name == "CATEGORIES") {
        if (m_hasCategories)
            addValue(Kind::Other, property, {}, kCategoriesLabel).categories =
                splitValue(text, u',');
        else
            m_categories = splitValue(text, u',');
        m_hasCategories = true;
    } else if (name == "ADR") {
        addValue(Kind::Address, property, ContactDetail::joinAddress(splitValue(text, u';')),
                 property.label);
    } else if (name == "TEL") {
        addValue(property.types.contains(QStringLiteral("FAX")) ? Kind::Fax : Kind::Phone, property,
                 unescape(text), property.label)
            .uri = property.valueType == "URI";
    } else if (name == "EMAIL" || name == "URL" || name == "BDAY" || name == kPersonProperty ||
               name == kBirthdayProperty || name == kOtherProperty) {
        const Kind kind = name == "EMAIL"           ? Kind::Email
                          : name == "URL"           ? Kind::Web
                          : name == kPersonProperty ? Kind::Person
                          : name == kOtherProperty  ? Kind::Other
                                                    : Kind::Birthday;
        addValue(kind, property, unescape(text), property.label);
    } else if (name == "NOTE") {
        m_notes << unescape(text);
    } else if (name == "UID") {
        if (m_uid.isEmpty())
            m_uid = unescape(text);
    } else if (name == "REV") {
        if (m_revision.isEmpty())
            m_revision = text.trimmed();
    }
}

// Of the values of a kind, the one for the contact's field: in this program's cards
// the first; in others the first with one of the preferred types (in their order, never
// a mobile), else the first. -1 when there is none.
qsizetype CardBuilder::choose(const QList<Value> &values, ContactDetail::Kind kind,
                              const QStringList &preferred) const
{
    const auto matches = [](const QStringList &types, const QString &wanted) {
        const QStringList parts = wanted.split(u'+');
        return !types.contains(QStringLiteral("CELL")) &&
               std::all_of(parts.begin(), parts.end(),
                           [&](const QString &t) { return types.contains(t); });
    };
    for (const QString &type : m_own ? QStringList() : preferred) {
        for (qsizetype i = 0; i < values.size(); ++i) {
            if (values[i].detail.kind == kind && matches(values[i].types, type))
                return i;
        }
    }
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (values[i].detail.kind == kind)
            return i;
    }
    return -1;
}

ContactRecord CardBuilder::finish() const
{
    using Kind = ContactDetail::Kind;
    ContactRecord r;
    if (m_hasOrg) {
        r[ContactRecord::Nazwa] = m_org;
        // This program's N names nobody when the contact has no representative.
        const QString named = m_own ? (m_person.isEmpty() ? QString() : m_fn) : m_person;
        r[ContactRecord::Filia] = !m_fn.isEmpty() && m_fn != m_org ? m_fn : named;
    } else {
        r[ContactRecord::Nazwa] = m_fn.isEmpty() ? m_person : m_fn;
    }
    r[ContactRecord::Branza] = joinList(m_categories, m_own);

    QList<Value> values = m_values;
    const auto title = std::find_if(values.begin(), values.end(), [](const Value &value) {
        return value.detail.kind == Kind::Other && value.detail.label == kTitleLabel;
    });
    if (m_firstOwn && r[ContactRecord::Branza].isEmpty() && title != values.end()) {
        r[ContactRecord::Branza] = title->detail.value;
        values.erase(title);
    }
    for (Value &value : values) {
        QString &text = value.detail.value;
        if (!value.categories.isEmpty())
            text = joinList(value.categories, m_own);
        if (!m_own && (value.detail.kind == Kind::Phone || value.detail.kind == Kind::Fax) &&
            (value.uri || text.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive)))
            text = text.mid(text.indexOf(u':') + 1);
    }
    // An empty telephone, e-mail, web or postal address is none: it would leave its field
    // empty while a further one is there.
    values.removeIf([](const Value &value) {
        const Kind kind = value.detail.kind;
        if (kind == Kind::Address)
            return ContactDetail::splitAddress(value.detail.value).join(QString()).isEmpty();
        return (kind == Kind::Phone || kind == Kind::Fax || kind == Kind::Email ||
                kind == Kind::Web) &&
               value.detail.value.isEmpty();
    });
    const QString work = QStringLiteral("WORK");
    const QString pref = QStringLiteral("PREF");
    const std::array chosen{
        choose(values, Kind::Phone, {QStringLiteral("WORK+VOICE"), work, pref}),
        choose(values, Kind::Fax, {work}),
        choose(values, Kind::Email, {work, pref}),
        choose(values, Kind::Web, {}),
        choose(values, Kind::Address, {work}),
    };
    const auto valueOf = [&values](qsizetype index) {
        return index < 0 ? QString() : values[index].detail.value;
    };
    r[ContactRecord::Tel] = valueOf(chosen[0]);
    r[ContactRecord::Fax] = valueOf(chosen[1]);
    r[ContactRecord::Email] = valueOf(chosen[2]);
    r[ContactRecord::Http] = valueOf(chosen[3]);
    if (chosen[4] >= 0) {
        const QStringList adr = ContactDetail::splitAddress(valueOf(chosen[4]));
        // A post box stays with the street, named as such when it is a bare number.
        QString box = adr[0];
        if (!box.isEmpty() &&
            std::none_of(box.begin(), box.end(), [](QChar c) { return c.isLetter(); }))
            box = QStringLiteral("skr. poczt. ") + box;
        r[ContactRecord::Ulica] = joinNonEmpty({adr[2], adr[1], box}, QStringLiteral(", "));
        r[ContactRecord::Miasto] = adr[3];
        r[ContactRecord::Region] = adr[4];
        r[ContactRecord::Kod] = adr[5];
        r[ContactRecord::Kraj] = m_own ? adr[6] : CountryNames::toPolish(adr[6]);
    }
    r[ContactRecord::Uwagi] = m_notes.join(u'\n');

    ContactExtras &extras = r.extras;
    // The organisation's units head the further values, as ORG heads a card.
    const QString units = joinList(m_units, m_own);
    if (m_own ? !m_units.isEmpty() : !units.isEmpty())
        extras.details << ContactDetail{Kind::Other, {}, kUnitLabel, units};
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (std::find(chosen.begin(), chosen.end(), i) == chosen.end())
            extras.details << values[i].detail;
    }
    extras.uid = m_uid;
    extras.revision = m_revision;
    // N is kept when it says more than the writer would make of the name.
    QStringList kept = m_kept;
    const auto components = [](QStringList parts) {
        parts.resize(std::max<qsizetype>(parts.size(), 5));
        return parts;
    };
    if (m_hasName && components(m_nameParts) !=
                         components(splitValue(nameComponents(r[ContactRecord::Filia]), u';')))
        kept.prepend(m_nameLine);
    extras.kept = kept.join(u'\n');
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
            if (!card.dropped().isEmpty())
                m_notices << QStringLiteral("Wizytówka z wiersza %1 ma ponad 1 MB tekstu; "
                                            "pominięto w niej: %2.")
                                 .arg(begin)
                                 .arg(card.dropped().join(QStringLiteral(", ")));
            return true;
        } else if (inCard) {
            card.add(property, line);
        }
    }
    if (inCard)
        fail(begin, QStringLiteral("Plik urywa się w wizytówce zaczętej w wierszu %1.").arg(begin));
    return false;
}

namespace {

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

// A parameter's value: ^-escaped (RFC 6868), quoted when it holds a separator.
QByteArray parameterValue(const QString &text)
{
    QString value = text;
    value.replace(u'^', QStringLiteral("^^"))
        .replace(u'"', QStringLiteral("^'"))
        .replace(QStringLiteral("\r\n"), QStringLiteral("^n"))
        .replace(u'\n', QStringLiteral("^n"))
        .replace(u'\r', QStringLiteral("^n"));
    const bool quote = value.contains(u';') || value.contains(u':') || value.contains(u',');
    return quote ? '"' + value.toUtf8() + '"' : value.toUtf8();
}

// Whether a birthday is a date the version writes as one; others are text.
bool isDate(const QString &value, bool v4)
{
    static const QRegularExpression date(
        QStringLiteral(R"(^(\d{8}|\d{4}-\d\d-\d\d)(T[\d:.Z+-]*)?$)"));
    static const QRegularExpression partial(
        QStringLiteral(R"(^(--\d\d-?\d\d|---\d\d|\d{4}-\d\d)$)"));
    return date.match(value).hasMatch() || (v4 && partial.match(value).hasMatch());
}

// One further value as its content line.
void appendDetail(QByteArray *out, const ContactDetail &detail, bool v4, bool *birthdayWritten)
{
    using Kind = ContactDetail::Kind;
    QByteArray name;
    QByteArray parameters;
    QStringList types = vcardTypes(detail.type, v4);
    QString label = detail.label;
    QString value = escape(detail.value);
    switch (detail.kind) {
    case Kind::Fax:
        types.prepend(v4 ? QStringLiteral("fax") : QStringLiteral("FAX"));
        [[fallthrough]];
    case Kind::Phone:
        name = "TEL";
        if (v4)
            parameters = ";VALUE=text";
        break;
    case Kind::Email:
        name = "EMAIL";
        break;
    case Kind::Web:
        name = "URL";
        break;
    case Kind::Address: {
        QStringList parts = ContactDetail::splitAddress(detail.value);
        for (QString &part : parts)
            part = escape(part);
        name = "ADR";
        value = parts.join(u';');
        break;
    }
    case Kind::Person:
        name = kPersonProperty;
        break;
    case Kind::Birthday:
        // vCard holds one birthday; further ones are the program's own.
        name = *birthdayWritten ? QByteArray(kBirthdayProperty) : QByteArray("BDAY");
        if (!*birthdayWritten && !isDate(detail.value, v4))
            parameters = ";VALUE=text";
        *birthdayWritten = true;
        break;
    case Kind::Other:
        if (label == kTitleLabel || label == kRoleLabel || label == kCategoriesLabel) {
            name = label == kTitleLabel ? "TITLE" : label == kRoleLabel ? "ROLE" : "CATEGORIES";
            if (label == kCategoriesLabel)
                value = categoriesValue(detail.value);
            label.clear();
        } else {
            name = kOtherProperty;
        }
        break;
    }
    QByteArray head = name;
    if (!types.isEmpty()) {
        QByteArrayList quoted;
        for (const QString &type : types)
            quoted << parameterValue(type);
        head += ";TYPE=" + quoted.join(',');
    }
    head += parameters;
    if (!label.isEmpty())
        head += QByteArray(";") + kLabelParameter + '=' + parameterValue(label);
    appendFolded(out, head + ':', value);
}

// A kept content line as the version written takes it: vCard 2.1's bare parameters
// become TYPE=, its quoted-printable values plain text, charsets go (the card is
// UTF-8), and inline binary data is ENCODING=b in 3.0 and a data: URI in 4.0.
struct KeptLine
{
    QByteArray name; // without its group, upper case
    bool binary = false;
    QString text; // empty for a line that is no content line
};

KeptLine adaptKept(const QString &text, bool v4)
{
    KeptLine kept;
    const QByteArray line = text.toUtf8();
    const qsizetype colon = colonOutsideQuotes(line);
    if (colon <= 0)
        return kept;
    QList<QByteArray> head = splitOutsideQuotes(line.first(colon), ';');
    QByteArray value = line.sliced(colon + 1);
    const QByteArray groupAndName = head.takeFirst().trimmed();
    kept.name = groupAndName.sliced(groupAndName.lastIndexOf('.') + 1).toUpper();
    QByteArray encoding;
    QByteArray charset;
    qsizetype encodingAt = -1;
    QList<QByteArray> parameters;
    for (const QByteArray &parameter : head) {
        const qsizetype equals = parameter.indexOf('=');
        const QByteArray key =
            (equals < 0 ? parameter : parameter.first(equals)).trimmed().toUpper();
        if ((equals < 0 && isEncodingName(key)) || key == "ENCODING") {
            encoding = equals < 0 ? key : parameter.sliced(equals + 1).trimmed().toUpper();
            encodingAt = parameters.size();
        } else if (key == "CHARSET") {
            charset = parameter.sliced(equals + 1).trimmed();
        } else {
            parameters << (equals < 0 ? "TYPE=" + parameter.trimmed() : parameter);
        }
    }
    const auto removeValueType = [&parameters] {
        parameters.removeIf([](const QByteArray &p) { return p.toUpper().startsWith("VALUE="); });
    };
    kept.binary = encoding == "B" || encoding == "BASE64";
    if (encoding == kQuotedPrintable) {
        value = decodeText(decodeQuotedPrintable(value), charset)
                    .replace(u'\n', QStringLiteral("\\n"))
                    .toUtf8();
    } else if (kept.binary) {
        value.removeIf([](char c) { return c == ' ' || c == '\t'; });
        if (v4) {
            // The format named by the first type (JPEG) becomes the media type.
            const auto type =
                std::find_if(parameters.begin(), parameters.end(),
                             [](const QByteArray &p) { return p.toUpper().startsWith("TYPE="); });
            QByteArray media = "application/octet-stream";
            if (type != parameters.end()) {
                const QByteArray format = type->sliced(5).trimmed().toLower().replace('"', "");
                const QByteArray kind = kept.name == "SOUND" ? "audio/"
                                        : kept.name == "PHOTO" || kept.name == "LOGO"
                                            ? "image/"
                                            : "application/";
                media = format.contains('/') ? format : kind + format;
                parameters.erase(type);
            }
            removeValueType();
            value = "data:" + media + ";base64," + value;
        } else {
            parameters.insert(encodingAt, "ENCODING=b");
        }
    } else if (!v4 && value.first(std::min<qsizetype>(5, value.size())).toLower() == "data:") {
        // A 4.0 data: URI holding base64 is 3.0's inline binary value.
        const qsizetype comma = value.indexOf(',');
        const QByteArray media = value.first(std::max<qsizetype>(comma, 0)).toLower();
        if (comma > 0 && media.endsWith(";base64")) {
            const QByteArray format = media.sliced(5).chopped(7);
            removeValueType();
            parameters << "ENCODING=b";
            if (!format.isEmpty())
                parameters << "TYPE=" + format.sliced(format.indexOf('/') + 1).toUpper();
            value = value.sliced(comma + 1);
            kept.binary = true;
        }
    }
    QByteArray result = groupAndName;
    for (const QByteArray &parameter : parameters)
        result += ';' + parameter;
    kept.text = QString::fromUtf8(result + ':' + value);
    return kept;
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
    const ContactExtras &extras = record.extras;

    QStringList kept = QString(extras.kept).remove(u'\r').split(u'\n', Qt::SkipEmptyParts);
    // The source's N is given back while it names the contact as FN does.
    QString keptName;
    const auto name = std::find_if(kept.begin(), kept.end(), [](const QString &line) {
        Property property;
        return parseLine(line.toUtf8(), &property) && property.name == "N";
    });
    if (name != kept.end()) {
        Property property;
        parseLine(name->toUtf8(), &property);
        const QStringList n = splitValue(propertyText(property), u';');
        const QString named = (filia.isEmpty() ? nazwa : filia).simplified();
        if (!named.isEmpty() && (nameOf(n) == named || nameOf(n, true) == named))
            keptName = *name;
        kept.erase(name);
    }
    // The first department goes with the organisation's name.
    QList<ContactDetail> details = extras.details;
    QStringList units;
    const auto unit = std::find_if(details.begin(), details.end(), [](const ContactDetail &d) {
        return d.kind == ContactDetail::Other && d.label == kUnitLabel && d.type.isEmpty();
    });
    const bool hasUnits = unit != details.end();
    if (hasUnits) {
        units = unit->value.split(QStringLiteral(", "));
        details.erase(unit);
    }
    if (filia.isEmpty() && hasUnits)
        keptName.clear();
    // A person without an organisation goes back as it came, without ORG.
    const bool org = !filia.isEmpty() || keptName.isEmpty();

    QByteArray out;
    out.reserve(512);
    out += "BEGIN:VCARD\r\n";
    out += v4 ? "VERSION:4.0\r\n" : "VERSION:3.0\r\n";
    out += "PRODID:";
    out += kProductId;
    out += "\r\n";
    if (!extras.uid.isEmpty())
        appendFolded(&out, "UID:", escape(extras.uid));
    // FN names the representative when there is one; N splits that name, so that it is
    // told apart from the organisation when both read the same.
    appendFolded(&out, "FN:", escape(filia.isEmpty() ? nazwa : filia));
    if (keptName.isEmpty())
        appendFolded(&out, "N:", nameComponents(filia));
    else
        appendFolded(&out, {}, adaptKept(keptName, v4).text);
    if (org) {
        QStringList parts{escape(nazwa)};
        for (const QString &part : units)
            parts << escape(part);
        appendFolded(&out, "ORG:", parts.join(u';'));
    }
    const auto add = [&out](QByteArrayView head, const QString &value) {
        if (!value.isEmpty())
            appendFolded(&out, head, escape(value));
    };
    if (!record[ContactRecord::Branza].isEmpty())
        appendFolded(&out, "CATEGORIES:", categoriesValue(record[ContactRecord::Branza]));
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
    bool birthdayWritten = false;
    for (const ContactDetail &detail : details)
        appendDetail(&out, detail, v4, &birthdayWritten);
    if (!extras.revision.isEmpty())
        appendFolded(&out, "REV:", extras.revision);
    for (const QString &line : kept) {
        const KeptLine adapted = adaptKept(line, v4);
        const bool shown = kMapped.contains(adapted.name) && !adapted.binary;
        if (!adapted.text.isEmpty() && !shown && !kFrame.contains(adapted.name))
            appendFolded(&out, {}, adapted.text);
    }
    out += "END:VCARD\r\n";
    return out;
}
