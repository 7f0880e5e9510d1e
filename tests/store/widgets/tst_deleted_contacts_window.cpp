#include "platform/clock.h"
#include "store/table.h"
#include "store/widgets/deleted_contacts_window.h"
#include "support/contact_fixture.h"
#include "support/scripted_dialogs.h"

#include <QPushButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTest>
#include <QTimeZone>

// The deleted contacts window: newest first, several brought back at once with their
// ids, the table moved to the first of them.
class TestDeletedContactsWindow : public QObject
{
    Q_OBJECT

private slots:
    void bringsTheChosenBack();
};

void TestDeletedContactsWindow::bringsTheChosenBack()
{
    ContactFixture fx;
    ScriptedDialogs dialogs; // strict: an error box fails the test
    Dialogs::install(&dialogs);
    const auto uninstall = qScopeGuard([] { Dialogs::install(nullptr); });
    QDateTime now(QDate(2026, 12, 10), QTime(8, 15), QTimeZone::utc());
    Clock::setSource([&now] { return now; });
    const auto restoreClock = qScopeGuard([] { Clock::setSource({}); });
    for (const char *name : {"Alfa", "Beta", "Gamma"})
        fx.add(QString::fromUtf8(name), {}, {},
               {"", "Łódź", "", "", "", QStringLiteral("42 %1").arg(name)});
    TTable &t = fx.table();
    QHash<QString, qint64> ids;
    for (t.first(); !t.eof(); t.next())
        ids.insert(t.fieldText(QStringLiteral("Nazwa")), t.recordId());
    t.first();
    for (int i = 0; i < 3; ++i) {
        now = now.addSecs(60);
        t.deleteRecord(); // Alfa, then Beta, then Gamma
    }

    TDeletedContactsWindow window([&t] { return &t; });
    window.reload();
    QTableWidget *grid = window.findChild<QTableWidget *>(QStringLiteral("grdUsuniete"));
    QCOMPARE(grid->rowCount(), 3);
    QStringList first;
    for (int column = 0; column < 4; ++column)
        first << grid->item(0, column)->text();
    QCOMPARE(first, (QStringList{"Gamma", "Łódź", "42 Gamma",
                                 now.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm"))}));
    grid->selectRow(1);
    grid->selectionModel()->select(grid->model()->index(2, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("btnPrzywroc")),
                      Qt::LeftButton);
    QCOMPARE(grid->rowCount(), 1);
    QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("Gamma"));
    QCOMPARE(t.recordId(), ids.value(QStringLiteral("Beta")));
    QCOMPARE(fx.walkForward(), (QStringList{"Alfa", "Beta"}));
    t.first();
    QCOMPARE(t.recordId(), ids.value(QStringLiteral("Alfa")));
}

QTEST_MAIN(TestDeletedContactsWindow)
#include "tst_deleted_contacts_window.moc"
