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

} // namespace

namespace SearchIndex {

QString fold(const QString &text)
{
    bool ascii = true;
    for (const QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii)
        return text.toLower();
    // Character by character from the table: decomposition and lower case act on each
    // character alone, and the marks whose order decomposition could change are dropped.
    const std::array<FoldedChar, kFoldTable> &table = foldTable();
    QString folded(text.size() * FoldedChar::kMost, Qt::Uninitialized);
    QChar *out = folded.data();
    for (const QChar c : text) {
        if (c.unicode() >= kFoldTable || table[c.unicode()].size < 0)
            return foldWhole(text);
        const FoldedChar &f = table[c.unicode()];
        for (qint8 i = 0; i < f.size; ++i)
            *out++ = QChar(f.chars[i]);
    }
    folded.truncate(out - folded.constData());
    return folded;
}

QString digits(const QString &text)
{
    QString result;
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            result += c;
    }
    return result;
}

QStringList columnTexts(const QStringList &values)
{
    QStringList other;
    for (int i = 0; i < kFieldCount; ++i) {
        if (i == kNazwa || i == kFilia || i == kEmail || values[i].isEmpty())
            continue;
        other << fold(values[i]);
    }
    for (const int i : {kTel, kFax}) {
        const QString numbers = digits(values[i]);
        if (!numbers.isEmpty() && numbers != values[i])
            other << numbers;
    }
    // Separate lines, so that no trigram spans two fields; a line that repeats another
    // (a fax number that is the telephone's) adds nothing a search could find.
    other.removeDuplicates();
    return {fold(values[kNazwa]), fold(values[kFilia]), fold(values[kEmail]),
            other.join(QLatin1Char('\n'))};
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
