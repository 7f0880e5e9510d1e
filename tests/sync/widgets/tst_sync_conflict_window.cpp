#include "store/data_module.h"
#include "store/table.h"
#include "support/contact_fixture.h"
#include "support/scripted_dialogs.h"
#include "sync/sync_conflicts.h"
#include "sync/widgets/sync_conflict_window.h"

#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

// The conflict window: a choice per field and further value, kept through the windows'
// table; the user's whole version; closing keeps the copy.
class TestSyncConflictWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void keepsTheChosenValues();
    void restoresMyVersion_data();
    void restoresMyVersion();
    void closingKeepsTheCopy();

private:
    // The contact "Alfa" as the server has it (on the card) and the user's own version.
    ContactRecord serverVersion() const;
    ContactRecord myVersion() const;
    QStringList captions() const;
    SyncConflicts conflicts() { return {table().database(), table().tableName()}; }
    TTable &table() { return m_fx->table(); }

    std::unique_ptr<ContactFixture> m_fx;
    std::unique_ptr<TSyncConflictWindow> m_window;
    qint64 m_alfa = -1;
};

ContactRecord TestSyncConflictWindow::serverVersion() const
{
    ContactRecord record;
    record[ContactRecord::Nazwa] = QStringLiteral("Alfa");
    record[ContactRecord::Tel] = QStringLiteral("22 111 11 11");
    record[ContactRecord::Email] = QStringLiteral("biuro@alfa.pl");
    record.extras.details = {
        {ContactDetail::Phone, QStringLiteral("komórkowy"), {}, "600 100 100"}};
    return record;
}

ContactRecord TestSyncConflictWindow::myVersion() const
{
    ContactRecord record = serverVersion();
    record[ContactRecord::Nazwa] = QStringLiteral("Alfa Sp. z o.o.");
    record[ContactRecord::Tel] = QStringLiteral("22 222 22 22");
    record.extras.details = {{ContactDetail::Phone, QStringLiteral("komórkowy"), {}, "601 200 200"},
                             {ContactDetail::Email, QString(), {}, "jan@alfa.pl"}};
    return record;
}

QStringList TestSyncConflictWindow::captions() const
{
    QStringList texts;
    for (int row = 0; row < m_window->grdPola->rowCount(); ++row)
        texts << m_window->grdPola->item(row, 0)->text();
    return texts;
}

void TestSyncConflictWindow::init()
{
    m_fx = std::make_unique<ContactFixture>();
    m_fx->open();
    m_fx->add(QStringLiteral("Alfa"));
    table().first();
    m_alfa = table().recordId();
    table().edit();
    serverVersion().setInto(table());
    table().setDetails(serverVersion().extras.details);
    table().post();
    conflicts().ensure();
    conflicts().add(m_alfa, QStringLiteral("uid-alfa"), myVersion(), serverVersion());
    m_window = std::make_unique<TSyncConflictWindow>([this] { return &table(); });
    m_window->reload();
    m_window->show();
}

void TestSyncConflictWindow::cleanup()
{
    m_window.reset();
    m_fx.reset();
}

void TestSyncConflictWindow::keepsTheChosenValues()
{
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Konflikt synchronizacji"));
    QCOMPARE(m_window->lstKopie->count(), 1);
    QVERIFY(m_window->lstKopie->item(0)->text().startsWith(QStringLiteral("Alfa Sp. z o.o.\n")));
    QCOMPARE(captions(), QStringList({"Nazwa", "Telefon", "Telefon 2", "E-mail 2"}));
    // Mine for the name and the second e-mail, the server's telephones.
    m_window->choose(0, true);
    m_window->choose(3, true);
    QSignalSpy resolved(m_window.get(), &TSyncConflictWindow::resolved);
    QTest::mouseClick(m_window->btnZachowaj, Qt::LeftButton);
    QCOMPARE(resolved.size(), 1);
    QCOMPARE(table().state(), DataSetState::Browse);
    QCOMPARE(table().recordId(), m_alfa);
    QCOMPARE(table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("Alfa Sp. z o.o."));
    QCOMPARE(table().fieldText(QStringLiteral("Tel")), QStringLiteral("22 111 11 11"));
    const QList<ContactDetail> kept{
        {ContactDetail::Phone, QStringLiteral("komórkowy"), {}, "600 100 100"},
        {ContactDetail::Email, QString(), {}, "jan@alfa.pl"}};
    QCOMPARE(table().details(), kept);
    QCOMPARE(conflicts().count(), 0);
    QCOMPARE(m_window->lstKopie->count(), 0);
    QVERIFY(!m_window->btnZachowaj->isEnabled());
}

void TestSyncConflictWindow::restoresMyVersion_data()
{
    QTest::addColumn<bool>("contactGone");
    QTest::newRow("contact") << false;
    QTest::newRow("contact gone: a new one") << true;
}

void TestSyncConflictWindow::restoresMyVersion()
{
    QFETCH(bool, contactGone);
    if (contactGone) {
        table().deleteRecord();
        m_window->reload();
        QCOMPARE(m_window->btnMoja->text(), QStringLiteral("&Przywróć jako nowy kontakt"));
    }
    QTest::mouseClick(m_window->btnMoja, Qt::LeftButton);
    QCOMPARE(table().recordCount(), 1);
    QCOMPARE(ContactRecord::fromTable(table()).values, myVersion().values);
    QCOMPARE(table().details(), myVersion().extras.details);
    QCOMPARE(conflicts().count(), 0);
}

void TestSyncConflictWindow::closingKeepsTheCopy()
{
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    QVERIFY(!m_window->isVisible());
    m_window->show();
    QTest::mouseClick(m_window->btnZamknij, Qt::LeftButton);
    QVERIFY(!m_window->isVisible());
    QCOMPARE(conflicts().count(), 1);
    QCOMPARE(table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("Alfa"));
    // Leaving the server's version drops the copy and changes nothing.
    QTest::mouseClick(m_window->btnSerwer, Qt::LeftButton);
    QCOMPARE(conflicts().count(), 0);
    QCOMPARE(table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("Alfa"));
}

QTEST_MAIN(TestSyncConflictWindow)
#include "tst_sync_conflict_window.moc"
