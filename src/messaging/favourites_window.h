#pragma once

#include "forms/form.h"
#include "history/history_appender.h"
#include "platform/file_stamp.h"

#include <QColor>
#include <QHash>
#include <QStringList>
#include <functional>

class QCalendarWidget;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QStatusBar;
class QToolButton;

// The favourites and web-service window `Form2` "Ulubione- Serwis WWW": the
// favourite web addresses kept in Ulubione.kax, a typed address to open and
// remember, and nine buttons that open fixed web sites.
class TForm2 final : public KaxForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm2)

public:
    // One of the fixed web-site buttons of the right column.
    struct FixedSite
    {
        const char *name;   // object name of the button
        QString caption;    // the button's caption
        QString address;    // the address opened
        QString logged;     // what the history line carries for it
        QString status;     // the status-bar text under the mouse
        int pixelSize = 13; // caption font
        bool italic = false;
        QColor colour; // caption colour; invalid for the usual text colour
        bool handCursor = true;
    };
    // The nine fixed sites, top to bottom.
    static const QList<FixedSite> &fixedSites();

    // Loads the favourites file (FormCreate).
    explicit TForm2(QWidget *parent = nullptr);
    ~TForm2() override;

    // Where the commands append their history lines.
    void setHistory(HistoryAppender history);
    // How "Historia" shows the history window.
    void setShowHistory(std::function<void()> showHistory);

    // Writes the favourites list to the favourites file when it changed since the file
    // was read or last written: at the end of the program, and when the session ends.
    // Under a lock, the addresses added and removed here are applied to the list in
    // the file as it is on disk, so what another running copy wrote meanwhile stays;
    // the list then shows the file as written. A file that cannot be read is left as
    // it is. A failure is shown in a message box; false when nothing was written.
    bool saveAtExit();
    QString favouritesPath() const { return m_path; }
    // The reason the favourites file could not be read; empty when it was read
    // or did not exist.
    QString loadError() const { return m_loadError; }

    // Splits a favourites file's text into its lines: CR LF, a lone CR or a lone
    // LF ends a line, and a last line without an end counts too.
    static QStringList splitLines(const QString &text);
    // The file's text for a list: every line ends in CR LF; a line break inside an
    // entry becomes a space, so that it stays one entry.
    static QString joinLines(const QStringList &lines);
    // `theirs` with the changes that turned `base` into `ours`: each address removed
    // (as often as it was) taken out, each added one appended in the order of `ours`.
    static QStringList mergeLists(const QStringList &base, const QStringList &ours,
                                  const QStringList &theirs);

    QString statusText() const;

    void Edit1KeyUp();
    void SpeedButton13Click();
    void SpeedButton1Click();
    void SpeedButton12Click();
    void SpeedButton3Click();
    void SpeedButton14Click();
    void SpeedButton11Click();
    void SpeedButton7Click();
    void SpeedButton6Click();
    void SpeedButton10Click();
    void SpeedButton4Click();
    void SpeedButton8Click();
    void SpeedButton15Click();
    void SpeedButton9Click();
    void SpeedButton5Click();
    void SpeedButton2Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildStatusBar();
    void buildList();
    void buildEntryPanel();
    void buildConnectButton();
    void buildSiteColumn();
    void FormCreate();
    void openFixedSite(int index);
    void setListView(bool listView);
    void setStatusText(const QString &text);
    void watchStatus(QWidget *control, const QString &text);
    void appendHistory(const QString &line);

    QFrame *Bevel1 = nullptr;
    QLabel *Label1 = nullptr;
    QComboBox *c1 = nullptr;
    QWidget *Panel1 = nullptr;
    QCalendarWidget *MonthCalendar1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QListWidget *l1 = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QToolButton *SpeedButton3 = nullptr;
    QToolButton *SpeedButton13 = nullptr;
    QLabel *Label4 = nullptr;
    QList<QToolButton *> m_siteButtons;
    QToolButton *SpeedButton14 = nullptr;
    QToolButton *SpeedButton12 = nullptr;
    QToolButton *SpeedButton11 = nullptr;
    QStatusBar *p1 = nullptr;
    QLabel *m_statusPanel = nullptr;

    QHash<QObject *, QString> m_statusTexts;
    QString m_path;
    QString m_loadError;
    FileStamp m_stamp;       // the file as read or last written
    QStringList m_savedList; // the list it held then
    HistoryAppender m_history;
    std::function<void()> m_showHistory;
};
