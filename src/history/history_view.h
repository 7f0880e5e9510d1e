#pragma once

#include "history/history_text.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QStringList>

#include <memory>
#include <unordered_map>
#include <vector>

class QMenu;
class QTextLayout;

// The history's text box: an editable plain text that keeps its text as UTF-8 (about
// one byte a character for a history) and lays out only the lines it shows, wrapped at
// the box's width. Positions count bytes of that UTF-8 text from its start.
class HistoryView final : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit HistoryView(QWidget *parent = nullptr);
    ~HistoryView() override;
    Q_DISABLE_COPY_MOVE(HistoryView)

    // The text with '\n' for every line break, whole or from `from` on.
    QString text(qint64 from = 0) const;
    // The lines; a final line break starts no further line.
    QStringList lines() const;
    qint64 size() const { return m_text.size(); }
    qint64 lineCount() const { return m_text.lineCount(); }
    qint64 lineStart(qint64 line) const { return m_text.lineStart(line); }
    bool endsWithLineBreak() const;

    // Changes made by the program, not undoable: room for a text to come (a hint), text
    // added at the end ('\n' for a line break), and the whole text replaced.
    void reserve(qint64 bytes);
    void appendText(QStringView text);
    void setText(QStringView text);

    qint64 caretPosition() const { return m_caret; }
    // Places the caret at `position` (moved back to a character's start); with
    // `keepAnchor` the text from the anchor to it is selected.
    void setCaretPosition(qint64 position, bool keepAnchor = false);
    bool hasSelection() const { return m_caret != m_anchor; }
    QString selectedText() const;
    // The caret's rectangle in the viewport at `position`, empty when not shown.
    QRect caretRect(qint64 position) const;

    // The user's editing steps, each undoable.
    void insert(QStringView text);
    void removeSelectedText();
    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }
    void undo();
    void redo();
    void cut();
    void copy() const;
    void paste();
    void selectAll();
    // The right button's menu: undo, redo, cut, copy, paste, delete, select all.
    QMenu *createContextMenu(QWidget *parent);

signals:
    // Bytes at `position` were replaced: by the user (an undoable step) or by the program.
    void contentsChange(qint64 position, qint64 removed, qint64 added, bool byUser);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    // A row of the wrapped text: the line and the row within its layout.
    struct Row
    {
        qint64 line = 0;
        int row = 0;
        auto operator<=>(const Row &) const = default;
    };
    // One step for undo and redo: `removed` at `position` was replaced by `inserted`.
    struct Edit
    {
        qint64 position = 0;
        QByteArray removed;
        QByteArray inserted;
    };
    enum class Origin { User, Program };

    std::shared_ptr<QTextLayout> layout(qint64 line) const;
    qreal wrapWidth() const;
    // The layout's character index for a byte position within its line, and back.
    int column(const QTextLayout &layout, qint64 line, qint64 position) const;
    qint64 positionAt(const QTextLayout &layout, qint64 line, int column) const;
    Row rowOf(qint64 position) const;
    int rowCount(qint64 line) const;
    qint64 positionAt(QPoint point) const;
    // The viewport's y of the top of `line`, for a line near the top.
    qreal lineTop(qint64 line) const;

    // Replaces bytes from..to by `utf8` and keeps caret, anchor and view in step.
    void replace(qint64 from, qint64 to, const QByteArray &utf8, Origin origin);
    void userEdit(qint64 from, qint64 to, const QString &text);
    // Takes the last step of `from` back (`back`) or again, and keeps it in `to`.
    void replay(std::vector<Edit> &from, std::vector<Edit> &to, bool back);
    void moveCaret(qint64 position, bool keepAnchor);
    qint64 characterStart(qint64 position) const;
    qint64 nextPosition(qint64 position, bool byWord) const;
    qint64 previousPosition(qint64 position, bool byWord) const;
    qint64 verticalPosition(qint64 position, int rows);
    qint64 rowEdge(qint64 position, bool end) const;
    bool handleEditKey(QKeyEvent *event);
    bool handleMoveKey(QKeyEvent *event);
    void selectWordAt(qint64 position);
    void selectLineAt(qint64 position);

    int visibleRows() const;
    // Scrolls by whole rows (down when positive); the pixels scrolled.
    qreal scrollRows(int rows);
    void setTop(Row top);
    // The top row that shows `bottom` at the bottom of the view; maxTop() that of the last row.
    Row topAbove(Row bottom) const;
    Row maxTop() const;
    void updateScrollBar();
    void ensureCaretVisible();
    void restartBlink();

    HistoryText m_text;
    qint64 m_caret = 0;
    qint64 m_anchor = 0;
    qreal m_wantedX = -1; // the caret's x kept by up and down moves
    Row m_top;            // the first row shown
    bool m_settingScrollBar = false;
    bool m_hiddenChanges = false; // the scroll bar and the top row wait for the view's showing
    std::vector<Edit> m_undo;
    std::vector<Edit> m_redo;
    bool m_typing = false; // the last undo step is typing that more typing joins
    bool m_caretShown = false;
    QBasicTimer m_blink;
    QBasicTimer m_autoScroll;
    QPoint m_dragAt;
    bool m_dragging = false;
    QElapsedTimer m_doubleClick; // since the last double click, for a triple one
    QPoint m_doubleClickAt;
    mutable std::unordered_map<qint64, std::shared_ptr<QTextLayout>> m_layouts;
};
