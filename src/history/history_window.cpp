#include "history/history_window.h"

#include "forms/form_style.h"
#include "history/history_file.h"
#include "history/history_line.h"
#include "platform/file_lock.h"
#include "platform/widgets/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>

#include <algorithm>
#include <utility>

namespace {

constexpr int kHelpContext = 3;
// Labels end a little before the buttons at x 424.
constexpr int kLabelWidth = 392;

// A history's lines go into the document in groups: within a group a line separator
// (U+2028) parts them, shown, copied and saved like any line break, and only every
// kLinesPerBlock-th break starts a block. A block for every line would cost the
// document about 150 bytes and most of the load time per line.
constexpr int kLinesPerBlock = 64;

// Fills an empty document with text given piece by piece, '\n' for a line break, in
// one edit without undo.
class LineGroups final
{
public:
    explicit LineGroups(QTextDocument *document) : m_document(document), m_cursor(document)
    {
        m_document->setUndoRedoEnabled(false);
        m_document->clear();
        m_cursor.beginEditBlock();
    }

    ~LineGroups()
    {
        // A final break stays a block's end, so that the last block is empty.
        const int last = m_document->characterCount() - 2;
        if (last >= 0 && m_document->characterAt(last) == QChar::LineSeparator) {
            m_cursor.movePosition(QTextCursor::End);
            m_cursor.deletePreviousChar();
            m_cursor.insertBlock();
        }
        m_cursor.endEditBlock();
        m_document->setUndoRedoEnabled(true);
    }
    Q_DISABLE_COPY_MOVE(LineGroups)

    void add(const QString &piece)
    {
        QString text = piece;
        for (QChar &ch : text) {
            if (ch != QLatin1Char('\n'))
                continue;
            if (++m_lines == kLinesPerBlock)
                m_lines = 0;
            else
                ch = QChar::LineSeparator;
        }
        m_cursor.insertText(text);
    }

private:
    QTextDocument *m_document;
    QTextCursor m_cursor;
    int m_lines = 0; // line breaks since the last block began
};

// The history's text field: a triple click selects the line under the mouse with its
// break, as it would were every line a block of its own.
class HistoryEdit final : public QPlainTextEdit
{
public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override
    {
        QPlainTextEdit::mouseDoubleClickEvent(event);
        m_doubleClick.start();
        m_doubleClickAt = event->position().toPoint();
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        // Where the mouse is before the block's selection scrolls the text.
        const QTextCursor at = cursorForPosition(event->position().toPoint());
        QPlainTextEdit::mousePressEvent(event);
        const bool tripleClick = event->button() == Qt::LeftButton && m_doubleClick.isValid() &&
                                 m_doubleClick.elapsed() < QApplication::doubleClickInterval() &&
                                 (event->position().toPoint() - m_doubleClickAt).manhattanLength() <
                                     QApplication::startDragDistance();
        m_doubleClick.invalidate();
        if (tripleClick)
            selectLine(at);
    }

private:
    void selectLine(const QTextCursor &at)
    {
        const QTextBlock block = at.block();
        const QString text = block.text();
        const int offset = at.position() - block.position();
        const qsizetype start = text.lastIndexOf(QChar::LineSeparator, offset - 1) + 1;
        const qsizetype end = text.indexOf(QChar::LineSeparator, offset);
        if (start == 0 && end < 0)
            return; // the block is one line: selected as it is
        QTextCursor line(document());
        line.setPosition(block.position() + int(start));
        const int endPosition = block.position() + int(end < 0 ? text.size() : end);
        line.setPosition(std::min(endPosition + 1, document()->characterCount() - 1),
                         QTextCursor::KeepAnchor);
        setTextCursor(line);
    }

    QElapsedTimer m_doubleClick;
    QPoint m_doubleClickAt;
};

} // namespace

TForm11::TForm11(QWidget *parent)
    : KaxForm(QStringLiteral("Form11"), QStringLiteral("Historia"), QSize(536, 348), kHelpContext,
              parent)
{
    using namespace FormStyle;
    Bevel1 = bevel(this, QStringLiteral("Bevel1"), QRect(0, 0, 536, 348));

    m1 = new HistoryEdit(this);
    m1->setObjectName(QStringLiteral("m1"));
    m1->setGeometry(16, 8, 489, 265);
    m1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m1->setProperty("helpContext", kHelpContext);
    m1->setAccessibleName(QStringLiteral("Historia"));
    m1->setPlainText(QStringLiteral("\n")); // one empty line

    Label1 = label(
        this, QStringLiteral("Label1"),
        QStringLiteral(
            "Do usunięcia użyj prawego przycisku myszki . Po zaznaczeniu tekstu użyj przycisku"),
        QPoint(24, 288));
    Label2 = label(this, QStringLiteral("Label2"), QStringLiteral("Delete z klawiatury komputera"),
                   QPoint(24, 312));
    if (Label1->width() > kLabelWidth) {
        // In the window's font the first sentence is wider than the room left of the
        // buttons: wrap it, and let the second label follow below it.
        Label1->setWordWrap(true);
        Label1->setFixedWidth(kLabelWidth);
        Label1->setFixedHeight(Label1->heightForWidth(kLabelWidth));
        Label2->move(24, std::max(312, Label1->geometry().bottom() + 1));
    }

    SpeedButton2 = toolButton(
        this, QStringLiteral("SpeedButton2"), QStringLiteral("Drukuj"), QRect(424, 280, 97, 25),
        {.icon = icon(QStringLiteral("history-print")), .flat = false, .handCursor = false});
    SpeedButton1 = toolButton(
        this, QStringLiteral("SpeedButton1"), QStringLiteral("&Zamknij"), QRect(424, 312, 97, 25),
        {.icon = icon(QStringLiteral("history-close")), .flat = false, .handCursor = false});
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm11::SpeedButton2Click);
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm11::SpeedButton1Click);

    FormCreate();
}

TForm11::~TForm11() = default;

void TForm11::FormCreate()
{
    m_path = HistoryFile::path();
    m_stamp = FileStamp::of(m_path); // before reading: a change meanwhile shows later
    // Straight into the document, piece by piece, undo off and in one edit, so
    // that the layout follows once: the quickest way in for a history of many MB.
    QTextDocument *document = m1->document();
    TextFile::ReadResult file;
    {
        LineGroups groups(document);
        file = HistoryFile::load(m_path, [&groups](const QString &piece) { groups.add(piece); });
    }
    m1->moveCursor(QTextCursor::Start);
    if (!file.ok) {
        m1->setPlainText(QStringLiteral("\n")); // the initial single empty line
        if (file.exists) {
            m_loadError = file.error;
            m_fileKnown = false;
            reportError(
                QStringLiteral("Nie można odczytać pliku historii %1: %2").arg(m_path, file.error));
        }
    }
    synced(nullptr);
    connect(document, &QTextDocument::contentsChange, this, &TForm11::contentsChange);
}

void TForm11::contentsChange(int position, int, int)
{
    m_changed = true;
    // Lines appended, and text typed after the text of the last sync, are new; a
    // change within that text is an edit of lines the file holds.
    if (!m_appending && position < m_syncedLength)
        m_syncedEdited = true;
}

QString TForm11::text() const
{
    QString text = m1->document()->toRawText();
    for (QChar &ch : text) {
        if (ch == QChar::ParagraphSeparator || ch == QChar::LineSeparator)
            ch = QLatin1Char('\n');
    }
    return text;
}

void TForm11::synced(const QString *text)
{
    if (text) {
        // The file holds lines of other copies too: show it as written.
        const bool appending = std::exchange(m_appending, true);
        LineGroups(m1->document()).add(*text);
        m1->moveCursor(QTextCursor::End);
        m_appending = appending;
    }
    m_syncedLength = m1->document()->characterCount() - 1;
    m_changed = false;
    m_syncedEdited = false;
    m_added.clear();
}

void TForm11::appendLine(const QString &text)
{
    // A line break inside a value would forge further history lines.
    const QString line = singleLine(text);
    QTextDocument *document = m1->document();
    const QTextBlock last = document->lastBlock();
    const bool endsWithBreak =
        last.length() <= 1 || last.text().endsWith(QChar(QChar::LineSeparator));
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    m_appending = true;
    cursor.beginEditBlock();
    if (endsWithBreak) {
        cursor.insertText(line);
        cursor.insertBlock();
    } else {
        cursor.insertBlock();
        cursor.insertText(line);
    }
    cursor.endEditBlock();
    m_appending = false;
    m_added << line;
}

QStringList TForm11::lines() const
{
    QStringList result;
    const QTextDocument *document = m1->document();
    result.reserve(document->blockCount());
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        result.append(block.text().split(QChar::LineSeparator));
    if (!result.isEmpty() && result.constLast().isEmpty())
        result.removeLast(); // a final line break starts no further line
    return result;
}

bool TForm11::saveAtExit()
{
    if (!m_changed)
        return m_fileKnown;
    const QString unchanged = QStringLiteral(" Historia z tej sesji nie została zapisana; plik "
                                             "pozostał bez zmian.");
    FileLock lock(m_path);
    if (const IoResult locked = lock.lock(); !locked.ok) {
        reportError(QStringLiteral("Nie można zapisać pliku historii %1: %2.%3")
                        .arg(m_path, locked.error, unchanged));
        return false;
    }
    const QString window = text();
    QString merged;
    bool editsDropped = false;
    if (m_fileKnown && FileStamp::of(m_path) == m_stamp) {
        merged = window; // no other copy wrote meanwhile
    } else {
        TextFile::ReadResult file = HistoryFile::read(m_path);
        if (!file.ok && file.exists) {
            reportError(QStringLiteral("Nie można odczytać pliku historii %1: %2.%3")
                            .arg(m_path, file.error, unchanged));
            return false;
        }
        if (!m_syncedEdited) {
            merged = HistoryFile::appendLines(file.text, window.mid(m_syncedLength));
        } else {
            const QString added =
                m_added.isEmpty() ? QString() : m_added.join(QLatin1Char('\n')) + QLatin1Char('\n');
            merged = HistoryFile::appendLines(file.text, added);
            editsDropped = true;
        }
    }
    const TextFile::WriteResult written = HistoryFile::save(m_path, merged);
    if (!written.ok) {
        reportError(
            QStringLiteral("Nie można zapisać pliku historii %1: %2. Poprzednia zawartość pliku "
                           "pozostała bez zmian.")
                .arg(m_path, written.error));
        return false;
    }
    const bool wasRead = m_fileKnown;
    m_stamp = FileStamp::of(m_path);
    m_fileKnown = true;
    m_loadError.clear();
    synced(merged == window ? nullptr : &merged);
    if (editsDropped) {
        const QString why = wasRead ? QStringLiteral("zmieniła w międzyczasie inna kopia programu "
                                                     "Kartax2000")
                                    : QStringLiteral("nie dał się odczytać przy uruchomieniu "
                                                     "programu");
        showMessage(DialogKind::Information, QStringLiteral("Kartax2000®"),
                    QStringLiteral("Plik historii %1 %2. Wiersze dopisane w tej sesji dodano na "
                                   "jego końcu, ale zmian wprowadzonych w oknie historii (usunięte "
                                   "lub poprawione wiersze) nie zapisano.")
                        .arg(QDir::toNativeSeparators(m_path), why));
    }
    return true;
}

void TForm11::SpeedButton1Click()
{
    close();
}

void TForm11::SpeedButton2Click()
{
    emit printRequested();
}
