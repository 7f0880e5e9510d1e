#pragma once

#include <QString>

class QFontMetricsF;

namespace VisibleText {

// Texts shorter than this are drawn whole: laying them out costs nothing to speak of.
inline constexpr qsizetype kLongText = 4096;

// What a left-aligned, unwrapped label needs to draw in place of a long text so
// that the same pixels appear, when only `width` pixels right of the text's left
// edge can be seen: each line cut well beyond that width, followed by one of each
// character of its cut-off part, so that the line keeps the fonts, and with them
// the height, it had. A null string when the text must be drawn whole: short,
// with nothing to cut, with right-to-left characters (they reorder a line), or
// with controls that may break a line.
QString linesStart(const QString &text, const QFontMetricsF &metrics, qreal width);

// For a text drawn as one line from the left, cut off at `width` pixels from its
// start: the length of the start that shows the same pixels within that width. The
// whole length when the text is short, or holds line breaks, controls or
// right-to-left characters.
qsizetype oneLineStart(QStringView text, const QFontMetricsF &metrics, qreal width);

} // namespace VisibleText
