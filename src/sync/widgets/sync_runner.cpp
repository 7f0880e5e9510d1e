#include "sync/widgets/sync_runner.h"

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/settings_store.h"
#include "platform/widgets/dialogs.h"
#include "store/sql_engine.h"
#include "store/table.h"
#include "sync/sync_conflicts.h"

#include <QScopedValueRollback>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <future>

namespace {

// A sync left for a moment after an edit that held back a server change ends.
constexpr int kSoonMs = 1000;

SyncReport failed(const QString &message)
{
    SyncReport report;
    report.error.kind = DavError::Refused;
    report.error.message = message;
    return report;
}

SyncReport runCardDavSync(TTable &table, const SyncTarget &target, const SyncRunner::Hooks &hooks)
{
    CardDavSync sync(table);
    sync.setBusy(hooks.busy);
    sync.setProgress(hooks.progress);
    sync.setConfirm(hooks.confirm);
    // Another copy of the program syncing the same book: this sync says so at once
    // rather than hold a worker thread waiting.
    sync.setWaitForLock(false);
    return sync.run(target);
}

} // namespace

SyncRunner::SyncRunner(TTable &contacts, PasswordStore &keyring, QObject *parent)
    : QObject(parent), m_contacts(contacts), m_keyring(keyring), m_sync(runCardDavSync),
      m_timer(new QTimer(this)), m_soon(new QTimer(this))
{
    m_timer->setObjectName(QStringLiteral("syncTimer"));
    connect(m_timer, &QTimer::timeout, this, &SyncRunner::syncNow);
    m_soon->setSingleShot(true);
    m_soon->setInterval(kSoonMs);
    connect(m_soon, &QTimer::timeout, this, &SyncRunner::syncNow);
    connect(&m_contacts, &TTable::stateChanged, this, &SyncRunner::watchEditing);
}

SyncRunner::~SyncRunner()
{
    // The worker's hooks answer "stop" from now on; its report is not awaited.
    m_stop = true;
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

void SyncRunner::reloadSettings()
{
    try {
        SettingsStore store;
        m_settings = CardDavSettings::load(store);
    } catch (const KaxError &error) {
        m_settings = CardDavSettings();
        reportError(error.message());
    }
    if (m_settings.configured() && m_settings.interval > 0)
        m_timer->start(m_settings.interval * 60 * 1000);
    else
        m_timer->stop();
    emit configuredChanged(m_settings.configured());
}

void SyncRunner::startUp()
{
    reloadSettings();
    if (!m_settings.configured())
        return;
    countConflicts(); // copies kept by an earlier run
    syncNow();
}

void SyncRunner::syncNow()
{
    if (m_thread || m_starting)
        return; // the running sync takes what this request would have
    m_soon->stop();
    // The keyring's answer is awaited in an event loop, where a timer may ask again.
    const QScopedValueRollback starting(m_starting, true);
    run();
}

void SyncRunner::run()
{
    if (!m_settings.configured()) {
        // Only a request by hand gets here, and the status panel is hidden: say it.
        const QString message = QStringLiteral("Synchronizacja CardDAV nie jest ustawiona: podaj "
                                               "adres serwera i użytkownika w menu Ustawienia → "
                                               "Synchronizacja CardDAV…");
        showMessage(DialogKind::Information, QStringLiteral("Synchronizacja CardDAV"), message);
        finish(failed(message));
        return;
    }
    if (!m_contacts.active()) {
        finish(failed(QStringLiteral("Książka adresowa nie jest otwarta.")));
        return;
    }
    SyncTarget target;
    target.book = m_settings.book();
    target.user = m_settings.user;
    QString error;
    // The keyring answers on the thread that asks: the GUI thread, which owns it.
    if (!m_settings.password(m_keyring, &target.password, &error)) {
        finish(failed(error));
        return;
    }

    // The worker's table: the same book and table as the windows' one.
    const QString file = m_contacts.engine()->inFile() ? m_contacts.path() : QString();
    const QString alias = m_contacts.databaseName();
    const QString tableName = m_contacts.tableName();
    Hooks hooks;
    hooks.busy = [this](qint64 id) { return id >= 0 && id == m_editing.load(); };
    hooks.progress = [this](int percent, const QString &step) {
        QMetaObject::invokeMethod(
            this, [this, percent, step] { emit progress(percent, step); }, Qt::QueuedConnection);
        return !m_stop.load();
    };
    hooks.confirm = [this](const SyncPlan &plan) { return askConfirmation(plan); };

    m_stop = false;
    m_thread = QThread::create([this, file, alias, tableName, target, hooks, sync = m_sync] {
        SyncReport report;
        try {
            TTable table;
            if (file.isEmpty())
                table.setDatabaseName(alias);
            else
                table.setDatabaseFile(file);
            table.setTableName(tableName);
            table.open();
            report = sync(table, target, hooks);
        } catch (const KaxError &error) {
            report = failed(error.message());
        } catch (const std::exception &error) {
            report = failed(QString::fromLocal8Bit(error.what()));
        }
        QMetaObject::invokeMethod(
            this, [this, report] { finish(report); }, Qt::QueuedConnection);
    });
    m_thread->setObjectName(QStringLiteral("CardDavSync"));
    emit started();
    m_thread->start();
}

bool SyncRunner::askConfirmation(const SyncPlan &plan)
{
    // Asked on the GUI thread through the program's dialogs while this worker waits;
    // a runner being destroyed stops the waiting.
    auto answer = std::make_shared<std::promise<bool>>();
    std::future<bool> future = answer->get_future();
    QMetaObject::invokeMethod(
        this,
        [plan, answer] {
            DialogRequest request;
            request.kind = DialogKind::Confirmation;
            request.caption = QStringLiteral("Synchronizacja CardDAV");
            request.text = plan.describe();
            request.buttons = {DialogButton::Yes, DialogButton::No};
            request.defaultButton = DialogButton::No;
            request.escapeButton = DialogButton::No;
            answer->set_value(Dialogs::current().ask(request) == DialogButton::Yes);
        },
        Qt::QueuedConnection);
    while (future.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        if (m_stop.load())
            return false;
    }
    return future.get();
}

void SyncRunner::finish(const SyncReport &report)
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
    m_lastReport = report;
    m_lastFinished = Clock::now();
    // The work done before an error stays done: the windows show it either way.
    if (report.received > 0 || report.deleted > 0) {
        if (m_contacts.editing())
            m_refreshPending = true;
        else
            refreshContacts();
    }
    if (m_settings.configured())
        countConflicts();
    if (report.deferred > 0) {
        if (m_editing.load() < 0)
            m_soon->start();
        else
            m_deferredPending = true;
    }
    emit finished(report);
}

void SyncRunner::refreshContacts()
{
    m_refreshPending = false;
    if (!m_contacts.active() || m_contacts.editing())
        return;
    try {
        m_contacts.refresh();
    } catch (const KaxError &error) {
        reportError(error.message());
    }
}

void SyncRunner::watchEditing()
{
    m_editing = m_contacts.state() == DataSetState::Edit ? m_contacts.recordId() : -1;
    if (m_contacts.editing())
        return;
    // The edit ended: what waited for it follows once the table has settled.
    if (m_refreshPending)
        QTimer::singleShot(0, this, &SyncRunner::refreshContacts);
    if (m_deferredPending) {
        m_deferredPending = false;
        m_soon->start();
    }
}

void SyncRunner::countConflicts()
{
    // A book opened for reading only cannot have been synced by this copy.
    if (!m_contacts.active() || m_contacts.readOnly())
        return;
    int count = 0;
    try {
        SyncConflicts conflicts(m_contacts.database(), m_contacts.tableName());
        conflicts.ensure();
        count = conflicts.count();
    } catch (const KaxError &error) {
        reportError(error.message());
        return;
    }
    if (count != m_conflicts) {
        m_conflicts = count;
        emit conflictsChanged(count);
    }
}
