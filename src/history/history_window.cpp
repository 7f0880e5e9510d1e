#include "history/history_window.h"

#include "forms/form_style.h"
#include "history/history_file.h"
#include "history/history_line.h"
#include "platform/widgets/dialogs.h"

#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>

#include <algorithm>

namespace {

constexpr int kHelpContext = 3;
// Labels end a little before the buttons at x 424.
constexpr int kLabelWidth = 392;

} // namespace

TForm11::TForm11(QWidget *parent)
    : KaxForm(QStringLiteral("Form11"), QStringLiteral("Historia"), QSize(536, 348), kHelpContext,
              parent)
{
    using namespace FormStyle;
    Bevel1 = bevel(this, QStringLiteral("Bevel1"), QRect(0, 0, 536, 348));

    m1 = new QPlainTextEdit(this);
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
    const QString path = HistoryFile::path();
    m_file = GuardedFile(path);
    m_file.markRead();
    // Straight into the document, piece by piece, undo off and in one edit, so
    // that the layout follows once: the quickest way in for a history of many MB.
    QTextDocument *document = m1->document();
    document->setUndoRedoEnabled(false);
    document->clear();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    const TextFile::ReadResult file =
        HistoryFile::load(path, [&cursor](const QString &piece) { cursor.insertText(piece); });
    cursor.endEditBlock();
    document->setUndoRedoEnabled(true);
    m1->moveCursor(QTextCursor::Start);
    if (file.ok)
        return;
    m1->setPlainText(QStringLiteral("\n")); // the initial single empty line
    if (!file.exists)
        return; // no history yet
    m_loadError = file.error;
    reportError(QStringLiteral("Nie można odczytać pliku historii %1: %2").arg(path, file.error));
}

void TForm11::appendLine(const QString &text)
{
    // A line break inside a value would forge further history lines.
    const QString line = singleLine(text);
    QTextDocument *document = m1->document();
    const bool endsWithBreak = document->lastBlock().length() <= 1;
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    if (endsWithBreak) {
        cursor.insertText(line);
        cursor.insertBlock();
    } else {
        cursor.insertBlock();
        cursor.insertText(line);
    }
    cursor.endEditBlock();
}

QStringList TForm11::lines() const
{
    QStringList result;
    const QTextDocument *document = m1->document();
    result.reserve(document->blockCount());
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        result.append(block.text());
    if (!result.isEmpty() && result.constLast().isEmpty())
        result.removeLast(); // a final line break starts no further line
    return result;
}

bool TForm11::saveAtExit()
{
    const QString path = HistoryFile::path();
    if (!m_loadError.isEmpty()) {
        // Writing the window's shorter text would destroy the history that could
        // not be read; keep the file as it is.
        reportError(
            QStringLiteral("Plik historii %1 nie został zapisany, bo nie udało się go odczytać "
                           "przy uruchomieniu programu. Plik pozostał bez zmian.")
                .arg(path));
        return false;
    }
    const QString text = m1->document()->toRawText();
    const GuardedFile::Result result =
        m_file.save([&text](const QString &target) { return HistoryFile::save(target, text); });
    if (!result.ok) {
        reportError(
            QStringLiteral("Nie można zapisać pliku historii %1: %2. Poprzednia zawartość pliku "
                           "pozostała bez zmian.")
                .arg(result.writtenTo, result.error));
        return false;
    }
    if (result.newlyDiverted) {
        reportError(
            QStringLiteral("Plik historii %1 został zmieniony przez inny program (na przykład "
                           "drugą kopię programu Kartax2000), więc pozostał bez zmian. Historię "
                           "z tej sesji zapisano w pliku %2.")
                .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(result.writtenTo)));
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
