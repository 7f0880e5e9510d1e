#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <span>
#include <vector>

class KaxForm;
class TDM9;
class TForm1;
class TForm10;
class TForm11;
class TForm13;
class TForm16;
class TForm17;
class TForm2;
class TFindWindow;
class TTable;
class ReportContainer;
class TerminationSignals;
class PasswordStore;
class SyncRunner;
class TDeletedContactsWindow;
class BackupKeeper;
class TSyncConflictWindow;
class TBackupWindow;

// The application's windows and data module: created once, in the start-up order,
// owned until exit and destroyed in reverse order. Windows reach one another's
// controls and commands only through this object.
class Program final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Program)

public:
    // An empty databaseFile opens the contact table through its alias.
    explicit Program(const QString &databaseFile = QString(), QObject *parent = nullptr);
    ~Program() override;

    // Called after each creation with the object's name and its progress step.
    using CreatedHook = std::function<void(const QString &name, int progressStep)>;
    // Called while the contact table opens with how far a rebuild of its sort keys has
    // got, in per cent, when the opening makes one (the collation rules changed).
    using OpeningHook = std::function<void(int percent)>;
    // Creates everything in order; raises the error of the first creation that fails.
    void create(const CreatedHook &created = {}, const OpeningHook &opening = {});

    static QStringList creationOrder();

    QObject *object(const QString &name) const;
    KaxForm *form(const QString &name) const;
    // The created window or data module of the given class; nullptr before its creation.
    template<class T> T *object() const
    {
        for (const auto &created : m_objects) {
            if (auto *found = dynamic_cast<T *>(created.get()))
                return found;
        }
        return nullptr;
    }
    // The program's "show" for the window of the given class.
    template<class Window> void show()
    {
        if (Window *window = object<Window>())
            window->showForm();
    }
    // Previews the report of the given report container.
    template<class Reports> void previewReport() { preview(object<Reports>()); }

    // Commands that span windows.
    void callCommand();
    void webCommand();
    void showHelpFinder();
    // Shows and raises the window "Znajdź", made at its first showing.
    void showFind();
    TFindWindow *findWindow() const { return m_find.get(); }

    // Writes what the windows keep in files (history, favourites) at program end.
    void saveAtExit();
    // Posts an edit still open in any window, as a move would. A failure is shown
    // with the engine's message and false returned; the edit stays open.
    bool postOpenEdit();
    // The session is ending (logout or shutdown): posts an open edit and writes the
    // history and favourites now, as the end of the program would.
    void commitData();
    // Ends the program on SIGTERM, SIGHUP and SIGINT as its exit commands do; a
    // second signal ends it even when an open edit could not be posted.
    void watchTerminationSignals();

    // A later start of the program asked: brings the main window forward and imports
    // `file` when one is given, once no dialog or import is on screen.
    void takeRequest(const QString &file);

    // Appends one line to the history window's text.
    void appendHistory(const QString &line);

    // The keyring the CardDAV sync reads its password from; before create(). Without
    // one the desktop's keyring is used.
    void usePasswordStore(std::unique_ptr<PasswordStore> keyring);
    // The background CardDAV sync; nullptr before create().
    SyncRunner *syncRunner() const { return m_sync.get(); }
    // At program start, once the main window shows: a sync when one is set up.
    void startSync();
    // At program start: the day's first automatic copy of the book, in the background.
    void startBackups();
    BackupKeeper *backupKeeper() const { return m_backups.get(); }
    // Shows the conflict copies of the sync, the window made at its first showing.
    void showSyncConflicts();
    // The backups window, the deleted contacts and the undo of the last import.
    void showBackups();
    void showDeleted();
    void undoImport();
    // Whether the last import can be undone (a journal of it is kept).
    bool importUndoable() const;
    TDeletedContactsWindow *deletedContactsWindow() const { return m_deleted.get(); }
    TSyncConflictWindow *syncConflictWindow() const { return m_syncConflicts.get(); }
    TBackupWindow *backupWindow() const { return m_backupWindow.get(); }
    // The CardDAV settings window; the sync takes its settings once they are saved.
    void showSyncSettings();

private:
    struct Creation;
    static std::span<const Creation> creations();
    void createAll(const CreatedHook &created);
    TForm1 *createMainWindow();
    void wireFullRecordView();
    // The contact table of the data module, for windows made before it.
    std::function<TTable *()> contacts();
    void preview(ReportContainer *reports);
    void attachDataSource(QObject *root);
    void printHistory();
    void endOnSignal();
    void saveFiles(); // the history and favourites files
    void createSync();
    void createBackups();

    QString m_databaseFile;
    OpeningHook m_opening;                           // during create()
    std::vector<std::unique_ptr<QObject>> m_objects; // in creation order
    bool m_saved = false;
    std::unique_ptr<TerminationSignals> m_signals;
    std::unique_ptr<TFindWindow> m_find;
    std::unique_ptr<PasswordStore> m_keyring;
    std::unique_ptr<SyncRunner> m_sync;
    std::unique_ptr<BackupKeeper> m_backups;
    std::unique_ptr<TSyncConflictWindow> m_syncConflicts;
    std::unique_ptr<TDeletedContactsWindow> m_deleted;
    std::unique_ptr<TBackupWindow> m_backupWindow;
    int m_signalsReceived = 0;

    // The objects that commands spanning windows use, as created.
    TForm1 *Form1 = nullptr;
    TForm16 *Form16 = nullptr;
    TForm17 *Form17 = nullptr;
    TForm2 *Form2 = nullptr;
    TDM9 *DM9 = nullptr;
    TForm10 *Form10 = nullptr;
    TForm11 *Form11 = nullptr;
    TForm13 *Form13 = nullptr;
    ReportContainer *Form6 = nullptr;
    ReportContainer *Form7 = nullptr;
    ReportContainer *Form15 = nullptr;
};
