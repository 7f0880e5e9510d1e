#include "store/search_words.h"

#include "platform/errors.h"

#include <algorithm>
#include <array>

namespace {

// Positions of the fields in table order (ContactSchema::fieldNames()).
constexpr int kNazwa = 0;
constexpr int kFilia = 2;
constexpr int kTel = 8;
constexpr int kFax = 9;
constexpr int kEmail = 10;

// Text folded as a whole: decomposed, accents dropped, lower case.
QString foldWhole(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        switch (c.category()) {
        case QChar::Mark_NonSpacing:
        case QChar::Mark_SpacingCombining:
        case QChar::Mark_Enclosing:
            continue; // the accent of a decomposed letter
        default:
            break;
        }
        // Letters with a stroke have no decomposition.
        switch (c.unicode()) {
        case 0x0141: // Ł
        case 0x0142: // ł
            folded += QLatin1Char('l');
            break;
        case 0x0110: // Đ
        case 0x0111: // đ
            folded += QLatin1Char('d');
            break;
        case 0x00D8: // Ø
        case 0x00F8: // ø
            folded += QLatin1Char('o');
            break;
        default:
            folded += c.toLower();
        }
    }
    return folded;
}

// A character as folded; size -1 when it folds to more than kMost characters.
struct FoldedChar
{
    static constexpr qsizetype kMost = 4;
    char16_t chars[kMost] = {};
    qint8 size = 0;
};

// Characters below this fold from a table made once: Latin letters, spacing accents and
// combining marks. Decomposing each text anew was the larger part of making a
// contact's search text.
constexpr char16_t kFoldTable = 0x0370;

const std::array<FoldedChar, kFoldTable> &foldTable()
{
    static const std::array<FoldedChar, kFoldTable> table = [] {
        std::array<FoldedChar, kFoldTable> made;
        for (char16_t c = 0; c < kFoldTable; ++c) {
            const QString folded = foldWhole(QString(QChar(c)));
            if (folded.size() > FoldedChar::kMost) {
                made[c].size = -1;
                continue;
            }
            made[c].size = qint8(folded.size());
            std::copy(folded.utf16(), folded.utf16() + folded.size(), made[c].chars);
        }
        return made;
    }();
    return table;
}

// Appends the text folded to *out: character by character from the table, as
// decomposition and lower case act on each character alone, and the marks whose order
// decomposition could change are dropped; a text with a character past the table is
// folded as a whole.
void appendFolded(const QString &text, QString *out)
{
    const std::array<FoldedChar, kFoldTable> &table = foldTable();
    const qsizetype start = out->size();
    out->resize(start + text.size() * FoldedChar::kMost);
    QChar *written = out->data() + start;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80) { // the table's own folding of ASCII, without a lookup
            *written++ = QChar(u >= u'A' && u <= u'Z' ? u + (u'a' - u'A') : u);
            continue;
        }
        if (u >= kFoldTable || table[u].size < 0) {
            out->truncate(start);
            out->append(foldWhole(text));
            return;
        }
        const FoldedChar &f = table[u];
        for (qint8 i = 0; i < f.size; ++i)
            *written++ = QChar(f.chars[i]);
    }
    out->truncate(written - out->constData());
}

void appendDigits(const QString &text, QString *out)
{
    for (const QChar c : text)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            out->append(c);
}

} // namespace

namespace SearchIndex {

QString fold(const QString &text)
{
    QString folded;
    appendFolded(text, &folded);
    return folded;
}

QString digits(const QString &text)
{
    QString result;
    appendDigits(text, &result);
    return result;
}

QStringList columnTexts(const QStringList &values)
{
    // Inne is written in place, a line at a time. Separate lines, so that no trigram
    // spans two fields; a line that repeats another (a fax number that is the
    // telephone's) adds nothing a search could find, and is taken back.
    QString other;
    std::array<std::pair<qsizetype, qsizetype>, kFieldCount + 2> lines; // start, length
    qsizetype count = 0;
    const auto line = [&](qsizetype i) {
        return QStringView(other).sliced(lines[i].first, lines[i].second);
    };
    const auto addLine = [&](const auto &write) {
        const qsizetype before = other.size();
        if (count > 0)
            other += QLatin1Char('\n');
        const qsizetype start = other.size();
        write();
        lines[count] = {start, other.size() - start};
        for (qsizetype i = 0; i < count; ++i) {
            if (line(i) == line(count)) {
                other.truncate(before);
                return;
            }
        }
        ++count;
    };
    for (int i = 0; i < kFieldCount; ++i) {
        if (i == kNazwa || i == kFilia || i == kEmail || values[i].isEmpty())
            continue;
        addLine([&] { appendFolded(values[i], &other); });
    }
    for (const int i : {kTel, kFax}) {
        // The bare digits, unless there are none or the number is nothing else.
        const QString &value = values[i];
        const qsizetype digitCount = std::count_if(value.cbegin(), value.cend(), [](QChar c) {
            return c >= QLatin1Char('0') && c <= QLatin1Char('9');
        });
        if (digitCount > 0 && digitCount < value.size())
            addLine([&] { appendDigits(value, &other); });
    }
    return {fold(values[kNazwa]), fold(values[kFilia]), fold(values[kEmail]), other};
}

QStringList wordForms(const QString &word)
{
    const bool numeric = std::all_of(word.cbegin(), word.cend(), [](QChar c) {
        return c.isDigit() || QStringLiteral("+-/().").contains(c);
    });
    const QString numbers = digits(word);
    if (!numeric || numbers.isEmpty())
        return {word};
    QStringList forms{numbers, word};
    if (numbers.size() == 5 && numbers == word)
        forms << numbers.left(2) + QLatin1Char('-') + numbers.mid(2);
    forms.removeDuplicates();
    return forms;
}

QList<QStringList> searchWords(const QString &text)
{
    QStringList words = fold(text).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    words.removeDuplicates();
    QList<QStringList> searched;
    for (const QString &word : std::as_const(words))
        searched << wordForms(word);
    return searched;
}

void checkWordCount(const QList<QStringList> &words)
{
    if (words.size() > kMostWords)
        throw KaxError(QStringLiteral("Szukany tekst ma za dużo różnych słów (%1). Wyszukiwanie "
                                      "przyjmuje ich najwyżej %2 naraz; skróć tekst.")
                           .arg(words.size())
                           .arg(kMostWords));
}

QString likeEscaped(const QString &word)
{
    QString escaped = word;
    return escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('%'), QStringLiteral("\\%"))
        .replace(QLatin1Char('_'), QStringLiteral("\\_"));
}

QString containsPattern(const QString &word)
{
    return QLatin1Char('%') + likeEscaped(word) + QLatin1Char('%');
}

} // namespace SearchIndex
