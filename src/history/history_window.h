#pragma once

#include "forms/form.h"
#include "platform/file_stamp.h"

#include <QStringList>

class QFrame;
class QLabel;
class HistoryView;
class QToolButton;

// The history window "Historia": the log of calls, letters and web visits, loaded
// from Historia.kax when the window is created and written back by saveAtExit().
class TForm11 final : public KaxForm
{
    Q_OBJECT

public:
    explicit TForm11(QWidget *parent = nullptr);
    ~TForm11() override;
    Q_DISABLE_COPY_MOVE(TForm11)

    // Appends one history line (control characters and line separators become spaces): after the
    // last line when the text ends with a line break, otherwise after an inserted line break. The
    // line becomes the last non-empty line and is followed by a line break only in the first case.
    void appendLine(const QString &line);
    // The text's lines as they stand (a final line break starts no further line).
    QStringList lines() const;

    // Writes what changed since the file was read or last written: at the end of the
    // program, and when the session ends. The history is a log that several running
    // copies add to: under a lock, the lines added here are appended to the file as it
    // is on disk, so lines another copy wrote meanwhile stay. Only when no other copy
    // changed the file do this window's own edits (deleted or changed lines) replace
    // its text; when both did, the added lines are appended, the edits are dropped and
    // the user is told. The window then shows the file as written. Nothing is written
    // when nothing changed. Failures are shown in a message box; false when nothing
    // could be written.
    bool saveAtExit();

    // The reason the history file could not be read at creation; empty when it was
    // read or did not exist.
    QString loadError() const { return m_loadError; }

    void SpeedButton1Click();
    void SpeedButton2Click();

signals:
    // "Drukuj": the history printout is to be previewed with lines().
    void printRequested();

private:
    void FormCreate();
    void contentsChange(qint64 position, qint64 removed, qint64 added, bool byUser);
    // The file holds `text` now, as the window does: what follows counts as new.
    void synced(const QString *text);

    QFrame *Bevel1 = nullptr;
    HistoryView *m1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QToolButton *SpeedButton2 = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QString m_loadError;
    QString m_path;
    FileStamp m_stamp;           // the file as read or last written
    bool m_fileKnown = true;     // the window's text was the file's at the last sync
    qint64 m_syncedLength = 0;   // bytes of the text (UTF-8) that the file held then
    bool m_changed = false;      // the text changed since
    bool m_syncedEdited = false; // ... within its first m_syncedLength characters
    QStringList m_added;         // lines appended since
};
