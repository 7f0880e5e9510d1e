#include "platform/clock.h"
#include "platform/settings_store.h"
#include "store/data_module.h"
#include "store/table.h"
#include "support/contact_fixture.h"
#include "support/dav_test_server.h"
#include "support/memory_password_store.h"
#include "support/scripted_dialogs.h"
#include "sync/widgets/sync_runner.h"
#include "sync/widgets/sync_status_label.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>

// The background sync of the windows' table: one at a time on its own thread, the
// record being edited reported busy, the table refreshed, the status panel's texts.
class TestSyncRunner : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void runsBesideTheWindowsOneAtATime();
    void refreshesAndSyncsAgainAfterAnEdit();
    void statusTexts_data();
    void statusTexts();
    void asksOnTheGuiThread();
    void syncsWithARealServer();

private:
    // Sets up a sync of jan at a server, with his password in the keyring.
    void configure(int interval = 0);

    std::unique_ptr<ContactFixture> m_fx;
    MemoryPasswordStore m_keyring;
};

void TestSyncRunner::configure(int interval)
{
    CardDavSettings settings;
    settings.url = QStringLiteral("http://127.0.0.1:9/dav/");
    settings.user = QStringLiteral("jan");
    settings.interval = interval;
    SettingsStore store;
    settings.save(store);
    m_keyring.write(settings.keyringKey(), QStringLiteral("tajne"), nullptr);
}

void TestSyncRunner::init()
{
    m_fx = std::make_unique<ContactFixture>();
    m_fx->open();
    m_fx->add(QStringLiteral("Alfa"));
    m_fx->add(QStringLiteral("Beta"));
    m_fx->add(QStringLiteral("Gamma"));
    configure();
    Clock::setSource([] { return QDateTime(QDate(2026, 12, 10), QTime(10, 42)); });
}

void TestSyncRunner::cleanup()
{
    Clock::setSource({});
    m_fx.reset();
}

void TestSyncRunner::runsBesideTheWindowsOneAtATime()
{
    TTable &t1 = m_fx->table();
    SyncRunner runner(t1, m_keyring);
    runner.reloadSettings();
    std::atomic<int> calls{0};
    std::atomic<bool> release{false};
    std::atomic<qint64> edited{-1};
    std::atomic<int> busyAnswers{0}; // bit 0: the edited record, bit 1: another
    QString password;
    runner.setSyncFunction(
        [&](TTable &table, const SyncTarget &target, const SyncRunner::Hooks &hooks) {
            ++calls;
            password = target.password;
            hooks.progress(40, QStringLiteral("Wysyłanie zmian"));
            while (!release)
                QThread::msleep(5);
            busyAnswers = (hooks.busy(edited) ? 1 : 0) | (hooks.busy(edited + 1000) ? 2 : 0);
            SyncReport report;
            report.sent = table.recordCount() == 3 ? 1 : -1; // the worker's own table on the book
            return report;
        });
    SyncStatusLabel status(runner);
    QSignalSpy started(&runner, &SyncRunner::started);
    QSignalSpy finished(&runner, &SyncRunner::finished);

    runner.syncNow();
    QVERIFY(runner.running());
    QTRY_COMPARE(status.text(), QStringLiteral("Synchronizacja… 40%"));
    // The windows go on while it runs: the cursor moves, an edit opens.
    t1.first();
    t1.next();
    QCOMPARE(t1.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Beta"));
    t1.edit();
    edited = t1.recordId();
    runner.syncNow(); // asked again while it runs: nothing more
    release = true;
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(calls.load(), 1);
    QCOMPARE(started.size(), 1);
    QCOMPARE(busyAnswers.load(), 1);
    QCOMPARE(password, QStringLiteral("tajne"));
    QVERIFY(!runner.running());
    QCOMPARE(status.text(), QStringLiteral("Zsynchronizowano 10:42: wysłano 1, pobrano 0, "
                                           "usunięto 0, konflikty 0"));
    t1.cancel();
}

void TestSyncRunner::refreshesAndSyncsAgainAfterAnEdit()
{
    TTable &t1 = m_fx->table();
    SyncRunner runner(t1, m_keyring);
    runner.reloadSettings();
    t1.first(); // Alfa
    const qint64 alfa = t1.recordId();
    std::atomic<int> calls{0};
    runner.setSyncFunction([&](TTable &table, const SyncTarget &, const SyncRunner::Hooks &) {
        SyncReport report;
        if (++calls == 1) { // a change from the server, and one held back for an edit
            table.locate(alfa);
            table.edit();
            table.setFieldText(QStringLiteral("Nazwa"), QStringLiteral("Alfa Nowa"));
            table.post();
            report.received = 1;
            report.deferred = 1;
        }
        return report;
    });
    QSignalSpy finished(&runner, &SyncRunner::finished);
    runner.syncNow();
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(t1.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Alfa Nowa"));

    // Changes received while an edit is open wait for its end, as does the next sync.
    t1.next();
    t1.edit();
    calls = 0;
    runner.syncNow();
    QTRY_COMPARE(finished.size(), 2);
    QCOMPARE(t1.state(), DataSetState::Edit);
    QTest::qWait(1500);
    QCOMPARE(calls.load(), 1); // nothing while the edit stays open
    t1.cancel();
    QTRY_COMPARE(finished.size(), 3);
    QCOMPARE(calls.load(), 2);
}

void TestSyncRunner::statusTexts_data()
{
    QTest::addColumn<bool>("configured");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("text");
    QTest::newRow("error") << true << QStringLiteral("Serwer odmówił: 403 Forbidden")
                           << QStringLiteral("Błąd synchronizacji: Serwer odmówił: 403 Forbidden");
    QTest::newRow("not set up")
        << false << QString()
        << QStringLiteral("Błąd synchronizacji: Synchronizacja CardDAV nie jest ustawiona: podaj "
                          "adres serwera i użytkownika w menu Ustawienia → Synchronizacja "
                          "CardDAV…");
}

void TestSyncRunner::statusTexts()
{
    QFETCH(bool, configured);
    QFETCH(QString, error);
    QFETCH(QString, text);
    InstalledScriptedDialogs dialogs;
    if (!configured) {
        SettingsStore store;
        CardDavSettings().save(store);    // nothing set
        dialogs->queue(DialogButton::Ok); // a request by hand hears why nothing happens
    }
    SyncRunner runner(m_fx->table(), m_keyring);
    runner.reloadSettings();
    SyncStatusLabel status(runner);
    QCOMPARE(status.isHidden(), !configured);
    runner.setSyncFunction([&](TTable &, const SyncTarget &, const SyncRunner::Hooks &) {
        SyncReport report;
        report.error.kind = DavError::Refused;
        report.error.message = error;
        return report;
    });
    QSignalSpy finished(&runner, &SyncRunner::finished);
    runner.syncNow();
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(status.text(), text);
    QCOMPARE(status.toolTip(), text);
    QVERIFY(runner.lastReport() && runner.lastReport()->error);
    QCOMPARE(dialogs->pending(), 0);
}

void TestSyncRunner::asksOnTheGuiThread()
{
    InstalledScriptedDialogs dialogs;
    QThread *asked = nullptr;
    dialogs->queue([&](const DialogRequest &) {
        asked = QThread::currentThread();
        return DialogButton::No;
    });
    SyncRunner runner(m_fx->table(), m_keyring);
    runner.reloadSettings();
    SyncPlan plan;
    plan.firstSync = true;
    plan.toSend = 3;
    runner.setSyncFunction([&](TTable &, const SyncTarget &, const SyncRunner::Hooks &hooks) {
        SyncReport report;
        report.sent = hooks.confirm(plan) ? 3 : 0;
        return report;
    });
    QSignalSpy finished(&runner, &SyncRunner::finished);
    runner.syncNow();
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(asked, QThread::currentThread());
    QCOMPARE(dialogs->requests().size(), 1);
    QCOMPARE(dialogs->requests()[0].caption, QStringLiteral("Synchronizacja CardDAV"));
    QCOMPARE(dialogs->requests()[0].text, plan.describe());
    QCOMPARE(runner.lastReport()->sent, 0);
}

void TestSyncRunner::syncsWithARealServer()
{
    DavTestServer server(DavTestServer::Radicale);
    if (!server.available())
        QSKIP(qPrintable(server.unavailableReason()));
    QVERIFY2(server.start(), qPrintable(server.error()));
    CardDavSettings settings;
    settings.url = server.addressBookUrl().toString();
    settings.user = server.user();
    SettingsStore store;
    settings.save(store);
    m_keyring.write(settings.keyringKey(), server.password(), nullptr);
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Yes); // the first sync asks

    TTable &t1 = m_fx->table();
    SyncRunner runner(t1, m_keyring);
    SyncStatusLabel status(runner);
    QSignalSpy finished(&runner, &SyncRunner::finished);
    runner.startUp();
    t1.first();
    t1.next(); // the windows' table moves while the sync runs
    QCOMPARE(t1.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Beta"));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 30000);
    QVERIFY2(!runner.lastReport()->error, qPrintable(runner.lastReport()->error.message));
    QCOMPARE(status.text(), QStringLiteral("Zsynchronizowano 10:42: wysłano 3, pobrano 0, "
                                           "usunięto 0, konflikty 0"));
    runner.syncNow();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 30000);
    QCOMPARE(runner.lastReport()->sent, 0);
    QCOMPARE(dialogs->requests().size(), 1);
}

QTEST_MAIN(TestSyncRunner)
#include "tst_sync_runner.moc"
