#pragma once

#include "sync/sync_engine.h"
#include "sync/sync_settings.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class PasswordStore;
class QThread;
class QTimer;
class TTable;

// Runs the CardDAV sync of the windows' contact table in the background: one sync at a
// time, on a worker thread with a table of its own over the same book, at program
// start, every Interval minutes and on request. It tells the worker which record an
// open edit holds, asks the user's consent on the GUI thread while the worker waits,
// and refreshes the windows' table after a sync that changed contacts.
class SyncRunner final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SyncRunner)

public:
    // What one sync may ask of the runner, from the worker thread.
    struct Hooks
    {
        std::function<bool(qint64 id)> busy;                            // an open edit holds it
        std::function<bool(int percent, const QString &step)> progress; // false: stop
        std::function<bool(const SyncPlan &plan)> confirm;              // the user's answer
    };
    // One sync on the worker's own open table; the default runs CardDavSync.
    using SyncFunction =
        std::function<SyncReport(TTable &table, const SyncTarget &target, const Hooks &hooks)>;

    // `contacts` is the windows' table (t1); the keyring is read for the password.
    SyncRunner(TTable &contacts, PasswordStore &keyring, QObject *parent = nullptr);
    // A sync still running is asked to stop and waited for.
    ~SyncRunner() override;

    void setSyncFunction(SyncFunction sync) { m_sync = std::move(sync); }

    // Reads the settings anew (after the settings window saved them) and sets the timer.
    void reloadSettings();
    // At program start: a sync when one is configured.
    void startUp();
    // A sync now, unless one runs already (then nothing more happens).
    void syncNow();

    bool configured() const { return m_settings.configured(); }
    bool running() const { return m_thread != nullptr; }
    const CardDavSettings &settings() const { return m_settings; }
    // The result of the last sync and when it ended; nothing before the first.
    const std::optional<SyncReport> &lastReport() const { return m_lastReport; }
    QDateTime lastFinished() const { return m_lastFinished; }
    // Conflict copies waiting for the user, as counted after the last sync or choice.
    int conflicts() const { return m_conflicts; }
    // Counts the conflict copies again (after the conflict window resolved one).
    void countConflicts();

signals:
    void started();
    void progress(int percent, const QString &step);
    void finished(const SyncReport &report);
    void configuredChanged(bool configured);
    void conflictsChanged(int count);

private:
    void run();
    void finish(const SyncReport &report);
    void watchEditing();
    bool askConfirmation(const SyncPlan &plan);
    void refreshContacts();

    TTable &m_contacts;
    PasswordStore &m_keyring;
    SyncFunction m_sync;
    CardDavSettings m_settings;
    QTimer *m_timer; // every Interval minutes
    QTimer *m_soon;  // once, after an edit that held back a server change
    QThread *m_thread = nullptr;
    std::atomic<qint64> m_editing{-1}; // the record an open edit holds, for the worker
    std::atomic<bool> m_stop{false};
    std::optional<SyncReport> m_lastReport;
    QDateTime m_lastFinished;
    int m_conflicts = 0;
    bool m_starting = false;        // reading the password before the worker starts
    bool m_refreshPending = false;  // contacts changed while an edit was open
    bool m_deferredPending = false; // a sync left changes to the record being edited
};
