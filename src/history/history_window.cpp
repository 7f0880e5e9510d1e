#include "history/history_window.h"

#include "forms/form_style.h"
#include "history/history_file.h"
#include "history/history_line.h"
#include "history/history_view.h"
#include "platform/file_lock.h"
#include "platform/widgets/dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
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

    m1 = new HistoryView(this);
    m1->setObjectName(QStringLiteral("m1"));
    m1->setGeometry(16, 8, 489, 265);
    m1->setProperty("helpContext", kHelpContext);
    m1->setAccessibleName(QStringLiteral("Historia"));
    m1->setText(u"\n"); // one empty line

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
    // Straight into the text box piece by piece, with room for the whole file made
    // first, so that a history of many MB is neither copied whole nor regrown.
    m1->setText(u"");
    m1->reserve(QFileInfo(m_path).size());
    const TextFile::ReadResult file =
        HistoryFile::load(m_path, [this](const QString &piece) { m1->appendText(piece); });
    m1->setCaretPosition(0);
    if (!file.ok) {
        m1->setText(u"\n"); // the initial single empty line
        if (file.exists) {
            m_loadError = file.error;
            m_fileKnown = false;
            reportError(
                QStringLiteral("Nie można odczytać pliku historii %1: %2").arg(m_path, file.error));
        }
    }
    synced(nullptr);
    connect(m1, &HistoryView::contentsChange, this, &TForm11::contentsChange);
}

void TForm11::contentsChange(qint64 position, qint64, qint64, bool byUser)
{
    m_changed = true;
    // Lines appended, and text typed after the text of the last sync, are new; the
    // user's change within that text is an edit of lines the file holds.
    if (byUser && position < m_syncedLength)
        m_syncedEdited = true;
}

void TForm11::synced(const QString *text)
{
    if (text) {
        // The file holds lines of other copies too: show it as written.
        m1->setText(*text);
        m1->setCaretPosition(m1->size());
    }
    m_syncedLength = m1->size();
    m_changed = false;
    m_syncedEdited = false;
    m_added.clear();
}

void TForm11::appendLine(const QString &text)
{
    // A line break inside a value would forge further history lines.
    const QString line = singleLine(text);
    if (m1->size() == 0 || m1->endsWithLineBreak())
        m1->appendText(line + QLatin1Char('\n'));
    else
        m1->appendText(QLatin1Char('\n') + line);
    m_added << line;
}

QStringList TForm11::lines() const
{
    return m1->lines();
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
    const QString window = m1->text();
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
            merged = HistoryFile::appendLines(file.text, m1->text(m_syncedLength));
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
