#include "history/history_view.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// Room between the frame and the text, as a plain text box leaves.
constexpr int kMargin = 4;
// Laid-out lines kept for painting, moving and hit tests; a screenful is a few dozen.
constexpr size_t kMaxLayouts = 512;
// Characters of a line beyond which it wraps anywhere: looking for word boundaries in a
// line of many thousands of characters without a space takes the text layout quadratic time.
constexpr qsizetype kLongLine = 10000;

// The UTF-8 bytes of the character at `index` of `text` and the UTF-16 units it takes.
int utf8Length(QStringView text, qsizetype index, int *units)
{
    const char16_t ch = text[index].unicode();
    *units = 1;
    if (ch < 0x80)
        return 1;
    if (ch < 0x800)
        return 2;
    if (QChar::isHighSurrogate(ch) && index + 1 < text.size() &&
        QChar::isLowSurrogate(text[index + 1].unicode())) {
        *units = 2;
        return 4;
    }
    return 3;
}

// What the user types or pastes, with '\n' for every kind of line break.
QByteArray userText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (QChar &ch : text) {
        if (ch == QLatin1Char('\r') || ch == QChar::LineSeparator ||
            ch == QChar::ParagraphSeparator)
            ch = QLatin1Char('\n');
    }
    return text.toUtf8();
}

qreal layoutHeight(const QTextLayout &layout)
{
    const QTextLine last = layout.lineAt(layout.lineCount() - 1);
    return last.y() + last.height();
}

} // namespace

HistoryView::HistoryView(QWidget *parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_settingScrollBar)
            setTop({value, 0});
    });
    updateScrollBar();
}

HistoryView::~HistoryView() = default;

// --- the text -------------------------------------------------------------------------

QString HistoryView::text(qint64 from) const
{
    const QByteArrayView before = m_text.before();
    const QByteArrayView after = m_text.after();
    from = std::clamp<qint64>(from, 0, size());
    if (from >= before.size())
        return QString::fromUtf8(after.sliced(from - before.size()));
    // The gap lies between characters, so each part converts on its own.
    QString result = QString::fromUtf8(before.sliced(from));
    result += QString::fromUtf8(after);
    return result;
}

QStringList HistoryView::lines() const
{
    QStringList result;
    const qint64 count = lineCount() - (endsWithLineBreak() || size() == 0 ? 1 : 0);
    result.reserve(qsizetype(count));
    for (qint64 line = 0; line < count; ++line)
        result.append(QString::fromUtf8(m_text.bytes(lineStart(line), m_text.lineEnd(line))));
    return result;
}

bool HistoryView::endsWithLineBreak() const
{
    return size() > 0 && m_text.at(size() - 1) == '\n';
}

void HistoryView::reserve(qint64 bytes)
{
    // About one line for every 40 bytes: a history's lines are longer.
    m_text.reserve(bytes, bytes / 40);
}

void HistoryView::appendText(QStringView text)
{
    replace(size(), size(), text.toUtf8(), Origin::Program);
}

void HistoryView::setText(QStringView text)
{
    const qint64 removed = size();
    m_text.clear();
    m_text.insert(0, text.toUtf8());
    m_layouts.clear();
    m_undo.clear();
    m_redo.clear();
    m_typing = false;
    m_caret = m_anchor = 0;
    m_top = {};
    updateScrollBar();
    viewport()->update();
    emit contentsChange(0, removed, size(), false);
}

// --- caret and selection --------------------------------------------------------------

qint64 HistoryView::characterStart(qint64 position) const
{
    position = std::clamp<qint64>(position, 0, size());
    while (position > 0 && position < size() && (uchar(m_text.at(position)) & 0xC0) == 0x80)
        --position;
    return position;
}

void HistoryView::setCaretPosition(qint64 position, bool keepAnchor)
{
    moveCaret(characterStart(position), keepAnchor);
}

void HistoryView::moveCaret(qint64 position, bool keepAnchor)
{
    m_caret = position;
    if (!keepAnchor)
        m_anchor = position;
    m_wantedX = -1;
    m_typing = false;
    ensureCaretVisible();
    restartBlink();
    viewport()->update();
}

QString HistoryView::selectedText() const
{
    return QString::fromUtf8(
        m_text.bytes(std::min(m_caret, m_anchor), std::max(m_caret, m_anchor)));
}

QRect HistoryView::caretRect(qint64 position) const
{
    const qint64 line = m_text.lineOf(position);
    if (line < m_top.line || line > m_top.line + visibleRows() + 1)
        return {};
    const auto lay = layout(line);
    const int col = column(*lay, line, position);
    const QTextLine row = lay->lineForTextPosition(col);
    const qreal y = lineTop(line) + row.y();
    return QRectF(kMargin + row.cursorToX(col), y, 1, row.height()).toAlignedRect();
}

void HistoryView::selectAll()
{
    m_anchor = 0;
    moveCaret(size(), true);
}

void HistoryView::selectWordAt(qint64 position)
{
    const qint64 line = m_text.lineOf(position);
    const auto lay = layout(line);
    const QString text = lay->text();
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, text);
    const int col = column(*lay, line, position);
    finder.setPosition(col);
    qsizetype start = col;
    if (!finder.isAtBoundary() || !(finder.boundaryReasons() & QTextBoundaryFinder::StartOfItem))
        start = std::max<qsizetype>(finder.toPreviousBoundary(), 0);
    finder.setPosition(start);
    qsizetype end = finder.toNextBoundary();
    if (end < 0)
        end = text.size();
    m_anchor = positionAt(*lay, line, int(start));
    moveCaret(positionAt(*lay, line, int(end)), true);
}

void HistoryView::selectLineAt(qint64 position)
{
    const qint64 line = m_text.lineOf(position);
    m_anchor = lineStart(line);
    moveCaret(line + 1 < lineCount() ? lineStart(line + 1) : size(), true);
}

// --- editing --------------------------------------------------------------------------

void HistoryView::replace(qint64 from, qint64 to, const QByteArray &utf8, Origin origin)
{
    // The lines before the change keep their text, their numbers and their layouts.
    const qint64 firstChanged = m_text.lineOf(from);
    std::erase_if(m_layouts,
                  [firstChanged](const auto &entry) { return entry.first >= firstChanged; });
    m_text.remove(from, to);
    m_text.insert(from, utf8);
    const qint64 delta = utf8.size() - (to - from);
    for (qint64 *position : {&m_caret, &m_anchor}) {
        if (*position >= to)
            *position += delta;
        else if (*position > from)
            *position = from;
    }
    updateScrollBar();
    viewport()->update();
    emit contentsChange(from, to - from, utf8.size(), origin == Origin::User);
}

void HistoryView::userEdit(qint64 from, qint64 to, const QString &text)
{
    const QByteArray utf8 = userText(text);
    if (from == to && utf8.isEmpty())
        return;
    const bool typing = to == from && utf8.size() > 0 && !utf8.contains('\n');
    Edit *last = m_undo.empty() ? nullptr : &m_undo.back();
    if (typing && m_typing && last && last->position + last->inserted.size() == from) {
        last->inserted += utf8; // more of the same typing: one undo step
    } else {
        m_undo.push_back({from, m_text.bytes(from, to), utf8});
    }
    m_redo.clear();
    replace(from, to, utf8, Origin::User);
    moveCaret(from + utf8.size(), false);
    m_typing = typing;
}

void HistoryView::insert(QStringView text)
{
    userEdit(std::min(m_caret, m_anchor), std::max(m_caret, m_anchor), text.toString());
}

void HistoryView::removeSelectedText()
{
    if (hasSelection())
        userEdit(std::min(m_caret, m_anchor), std::max(m_caret, m_anchor), QString());
}

void HistoryView::undo()
{
    replay(m_undo, m_redo, true);
}

void HistoryView::redo()
{
    replay(m_redo, m_undo, false);
}

void HistoryView::replay(std::vector<Edit> &from, std::vector<Edit> &to, bool back)
{
    if (from.empty())
        return;
    Edit edit = std::move(from.back());
    from.pop_back();
    const QByteArray &now = back ? edit.inserted : edit.removed;
    const QByteArray &then = back ? edit.removed : edit.inserted;
    replace(edit.position, edit.position + now.size(), then, Origin::User);
    moveCaret(edit.position + then.size(), false);
    to.push_back(std::move(edit));
}

void HistoryView::cut()
{
    copy();
    removeSelectedText();
}

void HistoryView::copy() const
{
    if (hasSelection())
        QGuiApplication::clipboard()->setText(selectedText());
}

void HistoryView::paste()
{
    const QString text = QGuiApplication::clipboard()->text();
    if (!text.isEmpty())
        insert(text);
}

QMenu *HistoryView::createContextMenu(QWidget *parent)
{
    auto *menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("m1Menu"));
    const auto add = [this, menu](const QString &text, bool enabled, auto slot) {
        QAction *action = menu->addAction(text, this, slot);
        action->setEnabled(enabled);
    };
    add(QStringLiteral("&Cofnij"), canUndo(), &HistoryView::undo);
    add(QStringLiteral("&Ponów"), canRedo(), &HistoryView::redo);
    menu->addSeparator();
    add(QStringLiteral("Wy&tnij"), hasSelection(), &HistoryView::cut);
    add(QStringLiteral("&Kopiuj"), hasSelection(), &HistoryView::copy);
    add(QStringLiteral("&Wklej"), !QGuiApplication::clipboard()->text().isEmpty(),
        &HistoryView::paste);
    add(QStringLiteral("&Usuń"), hasSelection(), &HistoryView::removeSelectedText);
    menu->addSeparator();
    add(QStringLiteral("Zaznacz &wszystko"), size() > 0, &HistoryView::selectAll);
    return menu;
}

// --- layout ---------------------------------------------------------------------------

qreal HistoryView::wrapWidth() const
{
    return std::max(viewport()->width() - 2 * kMargin, 16);
}

std::shared_ptr<QTextLayout> HistoryView::layout(qint64 line) const
{
    if (const auto found = m_layouts.find(line); found != m_layouts.end())
        return found->second;
    if (m_layouts.size() >= kMaxLayouts)
        m_layouts.clear();
    auto layout = std::make_shared<QTextLayout>(
        QString::fromUtf8(m_text.bytes(lineStart(line), m_text.lineEnd(line))), font());
    QTextOption option;
    option.setWrapMode(layout->text().size() > kLongLine
                           ? QTextOption::WrapAnywhere
                           : QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    layout->beginLayout();
    qreal y = 0;
    for (QTextLine row = layout->createLine(); row.isValid(); row = layout->createLine()) {
        row.setLineWidth(wrapWidth());
        row.setPosition(QPointF(0, y));
        y += row.height();
    }
    layout->endLayout();
    m_layouts.emplace(line, layout);
    return layout;
}

int HistoryView::column(const QTextLayout &layout, qint64 line, qint64 position) const
{
    const QString text = layout.text();
    qint64 bytes = position - lineStart(line);
    qsizetype index = 0;
    int units = 1;
    while (index < text.size() && bytes > 0) {
        bytes -= utf8Length(text, index, &units);
        index += units;
    }
    return int(index);
}

qint64 HistoryView::positionAt(const QTextLayout &layout, qint64 line, int column) const
{
    const QString text = layout.text();
    qint64 position = lineStart(line);
    int units = 1;
    for (qsizetype index = 0; index < column && index < text.size(); index += units)
        position += utf8Length(text, index, &units);
    return position;
}

HistoryView::Row HistoryView::rowOf(qint64 position) const
{
    const qint64 line = m_text.lineOf(position);
    const auto lay = layout(line);
    const QTextLine row = lay->lineForTextPosition(column(*lay, line, position));
    return {line, row.isValid() ? row.lineNumber() : 0};
}

int HistoryView::rowCount(qint64 line) const
{
    return layout(line)->lineCount();
}

qreal HistoryView::lineTop(qint64 line) const
{
    qreal y = kMargin - layout(m_top.line)->lineAt(m_top.row).y();
    for (qint64 at = m_top.line; at < line; ++at)
        y += layoutHeight(*layout(at));
    for (qint64 at = m_top.line; at > line; --at)
        y -= layoutHeight(*layout(at - 1));
    return y;
}

qint64 HistoryView::positionAt(QPoint point) const
{
    // Points beyond the viewport count as its edge rows.
    const qreal pointY = std::clamp(point.y(), 0, std::max(viewport()->height() - 1, 0));
    qreal y = lineTop(m_top.line);
    for (qint64 line = m_top.line;; ++line) {
        const auto lay = layout(line);
        const qreal height = layoutHeight(*lay);
        if (pointY < y + height || line + 1 == lineCount()) {
            int row = line == m_top.line ? m_top.row : 0;
            while (row + 1 < lay->lineCount() &&
                   pointY >= y + lay->lineAt(row).y() + lay->lineAt(row).height())
                ++row;
            return positionAt(*lay, line, lay->lineAt(row).xToCursor(point.x() - kMargin));
        }
        y += height;
    }
}

// --- moving the caret -----------------------------------------------------------------

qint64 HistoryView::nextPosition(qint64 position, bool byWord) const
{
    const qint64 line = m_text.lineOf(position);
    if (position >= m_text.lineEnd(line))
        return line + 1 < lineCount() ? lineStart(line + 1) : position;
    const auto lay = layout(line);
    const int next =
        lay->nextCursorPosition(column(*lay, line, position),
                                byWord ? QTextLayout::SkipWords : QTextLayout::SkipCharacters);
    return positionAt(*lay, line, next);
}

qint64 HistoryView::previousPosition(qint64 position, bool byWord) const
{
    const qint64 line = m_text.lineOf(position);
    if (position <= lineStart(line))
        return line > 0 ? m_text.lineEnd(line - 1) : position;
    const auto lay = layout(line);
    const int previous =
        lay->previousCursorPosition(column(*lay, line, position),
                                    byWord ? QTextLayout::SkipWords : QTextLayout::SkipCharacters);
    return positionAt(*lay, line, previous);
}

qint64 HistoryView::verticalPosition(qint64 position, int rows)
{
    Row at = rowOf(position);
    if (m_wantedX < 0) {
        const auto lay = layout(at.line);
        m_wantedX = lay->lineAt(at.row).cursorToX(column(*lay, at.line, position));
    }
    for (; rows > 0; --rows) {
        if (at.row + 1 < rowCount(at.line))
            ++at.row;
        else if (at.line + 1 < lineCount())
            at = {at.line + 1, 0};
        else
            return size();
    }
    for (; rows < 0; ++rows) {
        if (at.row > 0)
            --at.row;
        else if (at.line > 0)
            at = {at.line - 1, rowCount(at.line - 1) - 1};
        else
            return 0;
    }
    const auto lay = layout(at.line);
    return positionAt(*lay, at.line, lay->lineAt(at.row).xToCursor(m_wantedX));
}

qint64 HistoryView::rowEdge(qint64 position, bool end) const
{
    const Row at = rowOf(position);
    const auto lay = layout(at.line);
    const QTextLine row = lay->lineAt(at.row);
    if (!end)
        return positionAt(*lay, at.line, row.textStart());
    int col = row.textStart() + row.textLength();
    // A wrapped row ends before the space it broke at, not on the next row.
    if (at.row + 1 < lay->lineCount() && col > row.textStart() && lay->text().at(col - 1).isSpace())
        --col;
    return positionAt(*lay, at.line, col);
}

bool HistoryView::handleMoveKey(QKeyEvent *event)
{
    enum class Move {
        NextChar,
        PreviousChar,
        NextWord,
        PreviousWord,
        NextLine,
        PreviousLine,
        StartOfLine,
        EndOfLine,
        Start,
        End,
        NextPage,
        PreviousPage
    };
    struct Binding
    {
        QKeySequence::StandardKey move;
        QKeySequence::StandardKey select;
        Move kind;
    };
    static constexpr Binding kBindings[] = {
        {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, Move::NextChar},
        {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, Move::PreviousChar},
        {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, Move::NextWord},
        {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, Move::PreviousWord},
        {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, Move::NextLine},
        {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, Move::PreviousLine},
        {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, Move::StartOfLine},
        {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, Move::EndOfLine},
        {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, Move::Start},
        {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, Move::End},
        {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, Move::NextPage},
        {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, Move::PreviousPage},
    };
    const auto binding =
        std::find_if(std::begin(kBindings), std::end(kBindings), [event](const Binding &b) {
            return event->matches(b.move) || event->matches(b.select);
        });
    if (binding == std::end(kBindings))
        return false;
    const bool select = event->matches(binding->select);
    const qreal wantedX = m_wantedX;
    const int page = std::max(1, visibleRows() - 1);
    qint64 target = m_caret;
    bool vertical = false;
    switch (binding->kind) {
    case Move::NextChar:
    case Move::PreviousChar:
        if (hasSelection() && !select) {
            // An arrow without Shift leaves a selection at its edge.
            target = binding->kind == Move::NextChar ? std::max(m_caret, m_anchor)
                                                     : std::min(m_caret, m_anchor);
        } else {
            target = binding->kind == Move::NextChar ? nextPosition(m_caret, false)
                                                     : previousPosition(m_caret, false);
        }
        break;
    case Move::NextWord:
        target = nextPosition(m_caret, true);
        break;
    case Move::PreviousWord:
        target = previousPosition(m_caret, true);
        break;
    case Move::NextLine:
    case Move::PreviousLine:
        target = verticalPosition(m_caret, binding->kind == Move::NextLine ? 1 : -1);
        vertical = true;
        break;
    case Move::NextPage:
    case Move::PreviousPage: {
        const int rows = binding->kind == Move::NextPage ? page : -page;
        target = verticalPosition(m_caret, rows);
        scrollRows(rows);
        vertical = true;
        break;
    }
    case Move::StartOfLine:
    case Move::EndOfLine:
        target = rowEdge(m_caret, binding->kind == Move::EndOfLine);
        break;
    case Move::Start:
        target = 0;
        break;
    case Move::End:
        target = size();
        break;
    }
    const qreal keptX = vertical ? m_wantedX : wantedX;
    moveCaret(target, select);
    if (vertical)
        m_wantedX = keptX;
    return true;
}

// --- keys, mouse, input method --------------------------------------------------------

bool HistoryView::handleEditKey(QKeyEvent *event)
{
    const qint64 start = std::min(m_caret, m_anchor);
    const qint64 end = std::max(m_caret, m_anchor);
    if (event->matches(QKeySequence::SelectAll))
        selectAll();
    else if (event->matches(QKeySequence::Copy))
        copy();
    else if (event->matches(QKeySequence::Cut))
        cut();
    else if (event->matches(QKeySequence::Paste))
        paste();
    else if (event->matches(QKeySequence::Undo))
        undo();
    else if (event->matches(QKeySequence::Redo) ||
             event->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Y))
        redo();
    else if (event->matches(QKeySequence::DeleteStartOfWord))
        userEdit(hasSelection() ? start : previousPosition(m_caret, true), end, QString());
    else if (event->matches(QKeySequence::DeleteEndOfWord))
        userEdit(start, hasSelection() ? end : nextPosition(m_caret, true), QString());
    else if (event->key() == Qt::Key_Backspace &&
             (event->modifiers() & ~Qt::ShiftModifier) == Qt::NoModifier)
        userEdit(hasSelection() ? start : previousPosition(m_caret, false), end, QString());
    else if (event->matches(QKeySequence::Delete))
        userEdit(start, hasSelection() ? end : nextPosition(m_caret, false), QString());
    else if (event->matches(QKeySequence::InsertParagraphSeparator) ||
             event->matches(QKeySequence::InsertLineSeparator))
        insert(u"\n");
    else
        return false;
    return true;
}

bool HistoryView::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        // The window's shortcuts must not take the keys the text box edits with.
        auto *key = static_cast<QKeyEvent *>(event);
        const QString text = key->text();
        const bool typed =
            !text.isEmpty() && text.at(0).isPrint() && !(key->modifiers() & Qt::ControlModifier);
        for (const auto standard :
             {QKeySequence::SelectAll, QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Paste,
              QKeySequence::Undo, QKeySequence::Redo, QKeySequence::Delete,
              QKeySequence::DeleteStartOfWord, QKeySequence::DeleteEndOfWord,
              QKeySequence::MoveToNextWord, QKeySequence::MoveToPreviousWord,
              QKeySequence::MoveToStartOfDocument, QKeySequence::MoveToEndOfDocument,
              QKeySequence::MoveToStartOfLine, QKeySequence::MoveToEndOfLine}) {
            if (key->matches(standard)) {
                event->accept();
                return true;
            }
        }
        if (typed || key->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Y)) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void HistoryView::keyPressEvent(QKeyEvent *event)
{
    if (handleMoveKey(event) || handleEditKey(event)) {
        event->accept();
        return;
    }
    const QString text = event->text();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    // Ctrl with Alt is AltGr on some systems: it types letters such as ą.
    const bool control = (modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier);
    if (!text.isEmpty() && text.at(0).isPrint() && !control) {
        insert(text);
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void HistoryView::inputMethodEvent(QInputMethodEvent *event)
{
    if (!event->commitString().isEmpty())
        insert(event->commitString());
    event->accept();
}

QVariant HistoryView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return caretRect(m_caret).translated(viewport()->pos());
    case Qt::ImFont:
        return font();
    case Qt::ImHints:
        return int(Qt::ImhMultiLine);
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition: {
        const qint64 line = m_text.lineOf(m_caret);
        const qint64 position = query == Qt::ImCursorPosition
                                    ? m_caret
                                    : std::clamp(m_anchor, lineStart(line), m_text.lineEnd(line));
        return column(*layout(line), line, position);
    }
    case Qt::ImSurroundingText:
        return layout(m_text.lineOf(m_caret))->text();
    case Qt::ImCurrentSelection:
        return selectedText();
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void HistoryView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint point = event->position().toPoint();
    const bool tripleClick =
        m_doubleClick.isValid() && m_doubleClick.elapsed() < QApplication::doubleClickInterval() &&
        (point - m_doubleClickAt).manhattanLength() < QApplication::startDragDistance();
    m_doubleClick.invalidate();
    if (tripleClick) {
        selectLineAt(positionAt(point));
        return;
    }
    moveCaret(positionAt(point), event->modifiers() & Qt::ShiftModifier);
    m_dragging = true;
}

void HistoryView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging || !(event->buttons() & Qt::LeftButton))
        return;
    m_dragAt = event->position().toPoint();
    // Past the top or bottom edge the text scrolls while the mouse stays there.
    const bool outside = m_dragAt.y() < 0 || m_dragAt.y() >= viewport()->height();
    if (outside && !m_autoScroll.isActive())
        m_autoScroll.start(50, this);
    else if (!outside)
        m_autoScroll.stop();
    moveCaret(positionAt(m_dragAt), true);
}

void HistoryView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragging = false;
        m_autoScroll.stop();
    }
}

void HistoryView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    m_doubleClickAt = event->position().toPoint();
    m_doubleClick.start();
    selectWordAt(positionAt(m_doubleClickAt));
}

void HistoryView::wheelEvent(QWheelEvent *event)
{
    // Three rows a notch, as the system's scrolling by lines does.
    const int rows = -event->angleDelta().y() * QApplication::wheelScrollLines() / 120;
    if (rows != 0)
        scrollRows(rows);
    event->accept();
}

void HistoryView::contextMenuEvent(QContextMenuEvent *event)
{
    const std::unique_ptr<QMenu> menu(createContextMenu(this));
    menu->exec(event->globalPos());
}

void HistoryView::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    restartBlink();
}

void HistoryView::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    m_blink.stop();
    m_caretShown = false;
    viewport()->update();
}

void HistoryView::restartBlink()
{
    m_caretShown = hasFocus();
    const int flash = QApplication::cursorFlashTime();
    if (hasFocus() && flash > 0)
        m_blink.start(flash / 2, this);
    else
        m_blink.stop();
}

void HistoryView::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_blink.timerId()) {
        m_caretShown = !m_caretShown;
        viewport()->update();
    } else if (event->timerId() == m_autoScroll.timerId()) {
        scrollRows(m_dragAt.y() < 0 ? -1 : 1);
        moveCaret(positionAt(m_dragAt), true);
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

// --- scrolling and painting -----------------------------------------------------------

int HistoryView::visibleRows() const
{
    const qreal rowHeight = std::max<qreal>(QFontMetricsF(font()).height(), 1);
    return std::max(1, int((viewport()->height() - kMargin) / rowHeight));
}

HistoryView::Row HistoryView::topAbove(Row bottom) const
{
    qreal room =
        viewport()->height() - 2 * kMargin - layout(bottom.line)->lineAt(bottom.row).height();
    Row top = bottom;
    for (;;) {
        Row previous = top;
        if (top.row > 0)
            --previous.row;
        else if (top.line > 0)
            previous = {top.line - 1, rowCount(top.line - 1) - 1};
        else
            break;
        const qreal height = layout(previous.line)->lineAt(previous.row).height();
        if (height > room)
            break;
        room -= height;
        top = previous;
    }
    return top;
}

HistoryView::Row HistoryView::maxTop() const
{
    const qint64 last = lineCount() - 1;
    return topAbove({last, rowCount(last) - 1});
}

qreal HistoryView::scrollRows(int rows)
{
    const Row last = maxTop();
    qreal pixels = 0;
    for (; rows > 0 && m_top < last; --rows) {
        const auto lay = layout(m_top.line);
        pixels += lay->lineAt(m_top.row).height();
        if (++m_top.row >= lay->lineCount())
            m_top = {m_top.line + 1, 0};
    }
    for (; rows < 0 && m_top > Row{}; ++rows) {
        if (m_top.row > 0)
            --m_top.row;
        else
            m_top = {m_top.line - 1, rowCount(m_top.line - 1) - 1};
        pixels -= layout(m_top.line)->lineAt(m_top.row).height();
    }
    setTop(m_top);
    return pixels;
}

void HistoryView::setTop(Row top)
{
    top.line = std::clamp<qint64>(top.line, 0, lineCount() - 1);
    top.row = std::clamp(top.row, 0, rowCount(top.line) - 1);
    m_top = std::min(top, maxTop());
    m_settingScrollBar = true;
    verticalScrollBar()->setValue(int(m_top.line));
    m_settingScrollBar = false;
    viewport()->update();
}

void HistoryView::showEvent(QShowEvent *event)
{
    QAbstractScrollArea::showEvent(event);
    if (std::exchange(m_hiddenChanges, false)) {
        updateScrollBar();
        ensureCaretVisible();
    }
}

void HistoryView::updateScrollBar()
{
    // While hidden, as while a history loads, nothing is laid out: that waits for the
    // view to be shown.
    if (!isVisible()) {
        m_hiddenChanges = true;
        return;
    }
    QScrollBar *bar = verticalScrollBar();
    m_settingScrollBar = true;
    bar->setRange(0, int(maxTop().line));
    bar->setPageStep(visibleRows());
    bar->setSingleStep(1);
    m_settingScrollBar = false;
    setTop(m_top);
}

void HistoryView::ensureCaretVisible()
{
    if (!isVisible()) {
        m_hiddenChanges = true;
        return;
    }
    const Row caret = rowOf(m_caret);
    if (caret < m_top) {
        setTop(caret);
        return;
    }
    const int rows = visibleRows();
    const qreal height = viewport()->height() - kMargin;
    if (caret.line > m_top.line + rows) {
        // Far below: the caret's row goes to the bottom.
        setTop(topAbove(caret));
        return;
    }
    const auto lay = layout(caret.line);
    const QTextLine row = lay->lineAt(caret.row);
    qreal bottom = lineTop(caret.line) + row.y() + row.height();
    while (bottom > height && m_top < caret)
        bottom -= scrollRows(1);
}

void HistoryView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const qint64 selectionStart = std::min(m_caret, m_anchor);
    const qint64 selectionEnd = std::max(m_caret, m_anchor);
    QTextCharFormat selected;
    selected.setBackground(palette().brush(QPalette::Highlight));
    selected.setForeground(palette().brush(QPalette::HighlightedText));
    const qreal breakWidth = QFontMetricsF(font()).horizontalAdvance(QLatin1Char(' '));
    qreal y = lineTop(m_top.line);
    for (qint64 line = m_top.line; line < lineCount() && y < viewport()->height(); ++line) {
        const auto lay = layout(line);
        const QPointF at(kMargin, y);
        const qint64 start = lineStart(line);
        const qint64 end = m_text.lineEnd(line);
        QList<QTextLayout::FormatRange> ranges;
        if (selectionStart < selectionEnd && selectionStart <= end && selectionEnd > start) {
            const int from = column(*lay, line, std::max(selectionStart, start));
            const int to = column(*lay, line, std::min(selectionEnd, end));
            if (to > from)
                ranges.append({from, to - from, selected});
        }
        lay->draw(&painter, at, ranges);
        if (selectionStart <= end && selectionEnd > end) {
            // The selected line break: a space's width after the line's text.
            const QTextLine last = lay->lineAt(lay->lineCount() - 1);
            painter.fillRect(
                QRectF(kMargin + last.naturalTextWidth(), y + last.y(), breakWidth, last.height()),
                palette().brush(QPalette::Highlight));
        }
        if (m_caretShown && m_text.lineOf(m_caret) == line)
            lay->drawCursor(&painter, at, column(*lay, line, m_caret), 1);
        y += layoutHeight(*lay);
    }
}

void HistoryView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    m_layouts.clear();
    updateScrollBar();
}

void HistoryView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_layouts.clear();
        updateScrollBar();
    }
}
