#pragma once

#include "forms/form.h"
#include "forms/search_row.h"

#include <functional>

class ClickLabel;
class DBEdit;
class DBNavigator;
class DBText;
class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QStatusBar;
class QTimer;
class QToolButton;
class TTable;
class TTelefon;
enum class SearchKind;

// The main window `Form1`: the current contact as a card, the button column, the
// menu, the date, the clock and the search row. Its commands show the other
// windows or hand over to their commands.
class TForm1 final : public KaxForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm1)

public:
    // The windows that the main window's buttons and menu show.
    enum class Window {
        Composer,     // Form16, the e-mail composer
        Signature,    // Form17
        Favourites,   // Form2, the web favourites
        DialSettings, // Form4
        Information,  // Form5
        About,        // Form3
        DataEntry,    // Form10
        History,      // Form11
        FullRecord,   // Form13
    };
    // What the main window asks of the rest of the program; the application object
    // gives them. A command may find its window or data not created yet and do nothing.
    struct Commands
    {
        std::function<void(Window)> show;      // shows a window and raises it
        std::function<void()> call;            // the call command (tel1)
        std::function<void()> openWeb;         // the web command (SpeedButton3)
        std::function<void()> showFind;        // the window "Znajdź"
        std::function<void()> previewFullData; // the report "Pełne dane"
        std::function<void()> previewLabels;   // the address labels
        std::function<void()> showHelp;        // the help's contents and index
        // Posts an edit still open in any window; false when that failed (shown).
        std::function<bool()> postOpenEdit;
        // The contact table; nullptr before the data module exists.
        std::function<TTable *()> contacts;
        std::function<void()> syncNow;           // a CardDAV sync now
        std::function<void()> showSyncSettings;  // the CardDAV settings window
        std::function<void()> showSyncConflicts; // the conflict copies of the sync
        std::function<void()> showBackups;       // the backups and their restore
        std::function<void()> showDeleted;       // the deleted contacts
        std::function<void()> undoImport;        // takes the last import back
    };

    explicit TForm1(Commands commands, QWidget *parent = nullptr);
    ~TForm1() override;

    QWidget *clientArea() const { return m_client; }
    // Where the card is on the screen; empty while the window is hidden or minimised.
    QRect cardOnScreen() const;

    // Banner
    QFrame *Panel1;
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    DBEdit *DBEdit1;  // Http, hidden
    DBEdit *DBEdit2;  // Email, hidden
    DBEdit *DBEdit3;  // Tel, hidden
    QLineEdit *Edit1; // the dialling setting read at creation, hidden

    // Card
    ClickLabel *Label4;
    QLabel *Label5;
    QLabel *Label6;
    QLabel *Label7;
    QLabel *Label8;
    QLabel *Label9;
    QLabel *Label10;
    QLabel *Label11;
    ClickLabel *Label12;
    QLabel *Label13;
    ClickLabel *Label14;
    ClickLabel *Label15;
    QLabel *Label16;
    ClickLabel *Label17;
    DBText *DBText1;
    DBText *DBText2;
    DBText *DBText3;
    DBText *DBText4;
    DBText *DBText5;
    DBText *DBText6;
    DBText *DBText7;
    DBText *DBText8;
    DBText *DBText9;
    DBText *DBText10;
    DBText *DBText11;
    DBText *DBText12;

    // Search row
    QToolButton *s;
    QLineEdit *n1;
    QLineEdit *b1;
    QLineEdit *p1;

    // Button column
    QToolButton *tel1;
    QToolButton *SpeedButton2;
    QToolButton *SpeedButton3;
    QToolButton *SpeedButton4;
    QToolButton *n;
    QToolButton *b;
    QToolButton *p;
    DBNavigator *DBNavigator1;
    QToolButton *SpeedButton8;

    // Menu
    QMenuBar *MainMenu1;
    QAction *Wpiszdane1;
    QAction *Dane1;
    QAction *Historia1;
    QAction *Znajdz1;
    QAction *Import1;
    QAction *Eksport1;
    QAction *Eksport2;
    QAction *SynchronizujTeraz;
    QAction *KonfliktySynchronizacji1;
    QAction *CofnijImport1;
    QAction *UsunieteKontakty1;
    QAction *KopieZapasowe1;
    QAction *Wyjcie1;
    QAction *Modem1;
    QMenu *Drukowanie1;
    QAction *Penedane1;
    QAction *Etykiety1;
    QAction *Podpis1;
    QAction *SynchronizacjaCardDAV1;
    QAction *StronyWWW1;
    QAction *Help1;
    QAction *Informacje1;
    QAction *About1;

    // Status bar: shown while it holds a panel to show (the sync's).
    QStatusBar *StatusBar1;

    QTimer *Timer1;
    TTelefon *tt1 = nullptr; // the modem dialler used by the call command

    // Handlers
    void FormCreate();
    void Label17Click();
    void tel1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void StronyWWW1Click();
    void Label4Click();
    void nClick();
    void bClick();
    void pClick();
    void sClick();
    void n1KeyUp();
    void b1KeyUp();
    void p1KeyUp();
    void SpeedButton8Click();
    void Wyjcie1Click();
    // Writes every contact to a vCard or CSV file the user names.
    void Znajdz1Click();
    void Import1Click();
    // Imports a file given on the command line, as the menu's import does.
    void importFile(const QString &path);
    void Eksport1Click();
    void Eksport2Click();
    void Wpiszdane1Click();
    void Dane1Click();
    void Historia1Click();
    void Modem1Click();
    void Podpis1Click();
    void Informacje1Click();
    void About1Click();
    void Penedane1Click();
    void Etykiety1Click();
    void Help1Click();
    void SynchronizujTerazClick();
    void SynchronizacjaCardDAV1Click();
    void KonfliktySynchronizacji1Click();
    void CofnijImport1Click();
    void UsunieteKontakty1Click();
    void KopieZapasowe1Click();

    // Puts a panel into the status bar, which shows while the panel is visible.
    void addStatusPanel(QWidget *panel);

    // Ends the program (Zamknij, Wyjście, Esc, the close box): an edit still open in
    // any window is posted first. When that fails, the engine's message is shown,
    // the program stays open with the edit, and false is returned.
    bool endProgram();

signals:
    // The program is being ended (Zamknij, Wyjście, Esc or the close box).
    void endRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildBanner();
    void buildCard();
    void buildButtons();
    void buildMenu();
    void fitStatusBar();
    void openSearch(SearchKind kind);
    void search(SearchKind kind);
    void showWindow(Window window);
    // Posts an open edit as a move would; false when that failed or cannot be done.
    bool postOpenEdit();
    TTable *contacts() const;

    QWidget *m_client;
    QFrame *m_card;
    QFrame *m_buttons;
    SearchRow m_searchRow; // the boxes n1, b1 and p1
    Commands m_commands;
    QList<QWidget *> m_statusPanels; // owned by the status bar
};
