#pragma once

#include "forms/form.h"
#include "platform/guarded_file.h"

#include <QStringList>

class QFrame;
class QLabel;
class QPlainTextEdit;
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

    // Writes the whole text to the history file: at the end of the program, and when
    // the session ends. A file that could not be read at start-up is left as it is;
    // a file that another program changed since is kept, and the text goes to a dated
    // file beside it, which the user is told of. Failures are shown in a message box;
    // false when nothing was written.
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

    QFrame *Bevel1 = nullptr;
    QPlainTextEdit *m1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QToolButton *SpeedButton2 = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QString m_loadError;
    GuardedFile m_file;
};
