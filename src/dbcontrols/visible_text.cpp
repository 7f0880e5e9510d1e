#include "dbcontrols/visible_text.h"

#include <QFontMetricsF>
#include <vector>

namespace {

// Characters kept beyond the visible width, so that whatever the cut reshapes
// (kerning, ligatures, marks) lies out of sight.
constexpr qsizetype kContext = 32;
constexpr qsizetype kFirstProbe = 64;

bool isLineBreak(char32_t c)
{
    return c == u'\n' || c == 0x2028 || c == 0x2029;
}

// Right-to-left characters reorder the line around them; a control other than tab
// and CR may break the line where the label does.
bool movesLineStart(char32_t c)
{
    if (c < 0x20)
        return c != u'\t' && c != u'\r';
    if (c < 0x7f)
        return false;
    if (c < 0xa0)
        return true;
    if (c < 0x590) // nothing right-to-left comes before Hebrew
        return false;
    switch (QChar::direction(c)) {
    case QChar::DirR:
    case QChar::DirAL:
    case QChar::DirAN:
    case QChar::DirLRE:
    case QChar::DirLRO:
    case QChar::DirRLE:
    case QChar::DirRLO:
    case QChar::DirPDF:
    case QChar::DirLRI:
    case QChar::DirRLI:
    case QChar::DirFSI:
    case QChar::DirPDI:
        return true;
    default:
        return false;
    }
}

// The code point at i and its length in UTF-16 units.
char32_t codePointAt(QStringView text, qsizetype i, qsizetype *length)
{
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        *length = 2;
        return QChar::surrogateToUcs4(c, text[i + 1]);
    }
    *length = 1;
    return c.unicode();
}

// Where a scan from `from` towards `to` stopped: at the first line break, at the
// first character that moves the line's start (then *moves is set), or at `to`.
qsizetype scanLine(QStringView text, qsizetype from, qsizetype to, bool *moves)
{
    qsizetype i = from;
    const char16_t *units = text.utf16();
    for (qsizetype n = 0; i < to; i += n) {
        // Printable Latin, Polish and the rest below Hebrew neither break nor move a
        // line: skipped a unit at a time, as most of any text is.
        while (i < to &&
               ((units[i] >= 0x20 && units[i] < 0x7f) || (units[i] >= 0xa0 && units[i] < 0x590)))
            ++i;
        if (i >= to)
            break;
        const char32_t c = codePointAt(text, i, &n);
        if (isLineBreak(c))
            return i;
        if (movesLineStart(c)) {
            *moves = true;
            return i;
        }
    }
    return i;
}

// A set of code points that is emptied by forgetting only what was added.
class CodePointSet final
{
public:
    CodePointSet() : m_bits(0x110000 / 8) {}

    bool insert(char32_t c)
    {
        quint8 &byte = m_bits[c / 8];
        const quint8 bit = quint8(1u << (c % 8));
        if (byte & bit)
            return false;
        byte |= bit;
        m_added.push_back(c);
        return true;
    }

    void clear()
    {
        for (const char32_t c : m_added)
            m_bits[c / 8] = 0;
        m_added.clear();
    }

private:
    std::vector<quint8> m_bits;
    std::vector<char32_t> m_added;
};

qreal advance(QStringView start, const QFontMetricsF &metrics)
{
    QString probe = start.toString();
    probe.remove(u'\t'); // a tab's advance depends on its place: count it as nothing
    return metrics.horizontalAdvance(probe);
}

// The length of the start of a line that reaches beyond target pixels, with the
// context after it, or the whole line's length.
qsizetype visibleLength(QStringView line, const QFontMetricsF &metrics, qreal target)
{
    for (qsizetype probe = kFirstProbe; probe < line.size(); probe *= 2) {
        if (advance(line.first(probe), metrics) >= target) {
            qsizetype cut = std::min(line.size(), probe + kContext);
            if (cut < line.size() && line[cut].isLowSurrogate())
                ++cut;
            return cut;
        }
    }
    return line.size();
}

} // namespace

namespace VisibleText {

qsizetype oneLineStart(QStringView text, const QFontMetricsF &metrics, qreal width)
{
    if (text.size() < kLongText)
        return text.size();
    bool moves = false;
    if (scanLine(text, 0, text.size(), &moves) < text.size() || moves)
        return text.size();
    return visibleLength(text, metrics, width + 2 * metrics.height());
}

QString linesStart(const QString &text, const QFontMetricsF &metrics, qreal width)
{
    if (text.size() < kLongText)
        return {};
    const QStringView all(text);
    const qsizetype size = all.size();
    const qreal target = width + 2 * metrics.height();
    CodePointSet present;
    QString shown;
    bool cut = false;
    bool moves = false;
    for (qsizetype start = 0;;) {
        // Find the line's visible start, probing ever longer starts, or its end.
        qsizetype checked = start; // [start, checked) holds no break and nothing that moves
        qsizetype keep = -1;
        for (qsizetype probe = kFirstProbe;; probe *= 2) {
            const qsizetype to = std::min(size, start + probe);
            checked = scanLine(all, checked, to, &moves);
            if (moves)
                return {};
            if (checked < to || checked >= size)
                break; // the whole line is shorter than the probe
            if (advance(all.sliced(start, checked - start), metrics) >= target) {
                const qsizetype context = std::min(size, checked + kContext);
                checked = scanLine(all, checked, context, &moves);
                if (moves)
                    return {};
                if (checked >= context && checked < size)
                    keep = checked - start;
                break;
            }
        }
        qsizetype end = checked;
        if (keep < 0) {
            shown += all.sliced(start, end - start);
        } else {
            // The cut-off part: one of each of its characters, in order of appearance.
            cut = true;
            const QStringView line = all.sliced(start, keep);
            shown += line;
            for (qsizetype i = 0, n = 0; i < keep; i += n)
                present.insert(codePointAt(line, i, &n));
            for (qsizetype n = 0; end < size; end += n) {
                const char16_t unit = all[end].unicode();
                if (unit >= 0x20 && unit < 0x590 && (unit < 0x7f || unit >= 0xa0)) {
                    n = 1; // the common case, tested first: neither a break nor moving
                    if (present.insert(unit))
                        shown += QChar(unit);
                    continue;
                }
                const char32_t c = codePointAt(all, end, &n);
                if (isLineBreak(c))
                    break;
                if (movesLineStart(c))
                    return {};
                if (present.insert(c))
                    shown += all.sliced(end, n);
            }
            present.clear();
            // The line ends with its own last character, which may lend its script to
            // the next line's leading digits and punctuation.
            const qsizetype lastLength =
                end - start - keep >= 2 && all[end - 1].isLowSurrogate() ? 2 : 1;
            const QStringView last = all.sliced(end - lastLength, lastLength);
            if (!shown.endsWith(last))
                shown += last;
        }
        if (end >= size)
            break;
        shown += all[end]; // the line break
        start = end + 1;
    }
    return cut ? shown : QString();
}

} // namespace VisibleText
