#include "dbcontrols/db_text.h"

#include "dbcontrols/field_data_link.h"
#include "dbcontrols/visible_text.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>

DBText::DBText(const QString &name, const QString &field, QWidget *parent)
    : ClickLabel(QString(), parent), m_link(new FieldDataLink(this))
{
    setObjectName(name);
    setTextFormat(Qt::PlainText);
    m_link->setDataField(field);
    m_link->onShow = [this](const QString &text) {
        m_shownFor.clear();
        setText(text);
        // An empty value is read out as its caption (the name) and as empty, never as
        // the caption alone, which would sound like a value.
        const bool blank =
            std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
        setAccessibleDescription(blank ? QStringLiteral("pusty") : QString());
        if (m_autoSize)
            fitToText();
    };
}

namespace {

// The length of the first line of a text: a label shortened with "…" draws only it.
qsizetype firstLineLength(const QString &text)
{
    const qsizetype end = text.indexOf(QLatin1Char('\n'));
    const qsizetype line = end < 0 ? text.size() : end;
    return line > 0 && text[line - 1] == QLatin1Char('\r') ? line - 1 : line;
}

} // namespace

void DBText::setDataSource(TDataSource *source)
{
    m_link->setDataSource(source);
}

void DBText::fitToText()
{
    const QString value = text();
    const int frame = 2 * (margin() + frameWidth());
    // A text of more lines shows its first one and "…"; a text this long is wider than
    // any window: it is not measured.
    const qsizetype line = firstLineLength(value);
    const bool moreLines = line < value.size();
    const int wanted = value.size() >= VisibleText::kLongText
                           ? m_maxAutoWidth + 1
                           : fontMetrics().horizontalAdvance(
                                 value.left(line) + (moreLines ? QStringLiteral("…") : QString())) +
                                 frame + 1;
    m_elided = moreLines || wanted > m_maxAutoWidth;
    resize(std::min(wanted, m_maxAutoWidth), height());
    setToolTip(m_elided ? value.left(VisibleText::kLongText) : QString());
}

// Whether the label draws its text as plain lines from the left, with no text
// control: then only the start of each line can be seen.
bool DBText::drawsPlainLines() const
{
    const Qt::Alignment align = QStyle::visualAlignment(Qt::LeftToRight, alignment());
    return textFormat() == Qt::PlainText && !wordWrap() && !buddy() &&
           focusPolicy() == Qt::NoFocus &&
           !(textInteractionFlags() & (Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard)) &&
           (align & (Qt::AlignHorizontal_Mask & ~Qt::AlignAbsolute)) == Qt::AlignLeft &&
           !testAttribute(Qt::WA_StyleSheet);
}

// Where a label draws its text: inside the frame and margin, indented as a framed
// label is.
QRect DBText::textArea() const
{
    QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    int indent = this->indent();
    if (indent < 0 && frameWidth())
        indent = fontMetrics().horizontalAdvance(u'x') / 2 - margin();
    if (indent > 0) {
        const Qt::Alignment align = alignment();
        area.setLeft(area.left() + indent);
        if (align & Qt::AlignTop)
            area.setTop(area.top() + indent);
        if (align & Qt::AlignBottom)
            area.setBottom(area.bottom() - indent);
    }
    return area;
}

// A label lays out its whole text to draw it: for a megabyte, a fifth of a second
// at every repaint. A long text is drawn from the start of each line, as far as
// the label shows it; text() stays the whole value.
void DBText::paintEvent(QPaintEvent *event)
{
    const QString full = text();
    if (m_elided) {
        QPainter painter(this);
        const QRect area = textArea();
        const QString start = full.left(VisibleText::kLongText);
        const qsizetype line = firstLineLength(start);
        // Eliding shapes all it is given: only what reaches past the label goes in.
        const qsizetype reach = VisibleText::oneLineStart(QStringView(start).first(line),
                                                          QFontMetricsF(font()), area.width());
        // A first line that fits still ends in "…" when more follows.
        const QString shown =
            line < full.size() ? start.left(reach) + QStringLiteral("…") : start.left(reach);
        style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(),
                              fontMetrics().elidedText(shown, Qt::ElideRight, area.width()),
                              foregroundRole());
        return;
    }
    if (full.size() < VisibleText::kLongText || !drawsPlainLines()) {
        ClickLabel::paintEvent(event);
        return;
    }
    const QRect area = textArea();
    const qreal visible = width() - area.left();
    if (full.constData() != m_shownFor.constData() || full.size() != m_shownFor.size() ||
        visible != m_shownWidth || font() != m_shownFont) {
        m_shown = VisibleText::linesStart(full, QFontMetricsF(font(), this), visible);
        m_shownFor = full;
        m_shownWidth = visible;
        m_shownFont = font();
    }
    if (m_shown.isNull()) {
        ClickLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    QStyleOption option;
    option.initFrom(this);
    // A label expands tabs, as its alignment flags always say (alignment() leaves that out).
    const int flags = int(QStyle::visualAlignment(Qt::LeftToRight, alignment())) |
                      Qt::TextExpandTabs | Qt::TextForceLeftToRight;
    style()->drawItemText(&painter, area, flags, option.palette, isEnabled(), m_shown,
                          foregroundRole());
}
