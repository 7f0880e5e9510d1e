#include "store/book_backup.h"
#include "store/database_alias.h"
#include "store/table.h"
#include "store/widgets/backup_window.h"
#include "support/contact_fixture.h"
#include "support/kartax_test_main.h"
#include "support/report_fakes.h"
#include "support/scripted_dialogs.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

// The window "Kopie zapasowe": the copies listed with their contacts counted, a
// comparison, and a restore of a chosen contact and of the whole book, each after a copy
// of today's book is kept.
class TestBackupWindow : public QObject
{
    Q_OBJECT

private slots:
    void comparesAndRestores();
};

void TestBackupWindow::comparesAndRestores()
{
    ContactFixture book;
    book.add(QStringLiteral("Alfa"));
    book.add(QStringLiteral("Beta"));
    TTable &t = book.table();
    const QString folder = BookBackup::folder(BookBackup::bookOf(t));
    QVERIFY(QDir().mkpath(folder));
    const QString copy =
        QDir(folder).filePath(BookBackup::fileName(QDateTime({2026, 12, 1}, {8, 15})));
    book.sql(QStringLiteral("VACUUM INTO '%1'").arg(copy));
    QVERIFY(t.locate(1));
    t.deleteRecord();
    book.add(QStringLiteral("Gamma"));

    TBackupWindow window([&t] { return &t; });
    window.reload();
    auto *copies = window.findChild<QTableWidget *>(QStringLiteral("grdKopie"));
    QCOMPARE(copies->rowCount(), 1);
    QCOMPARE(copies->item(0, 0)->text(), QStringLiteral("01.12.2026 08:15"));
    QTRY_VERIFY(window.countsDone());
    QCOMPARE(copies->item(0, 1)->text(), QStringLiteral("2"));

    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("btnPorownaj")),
                      Qt::LeftButton);
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblWynik"))->text(),
             QStringLiteral("W kopii: 2 kontakty, dziś: 2 kontakty. Od tego czasu dodano 1, "
                            "usunięto 1, zmieniono 0."));
    auto *changes = window.findChild<QTreeWidget *>(QStringLiteral("trwRoznice"));
    QCOMPARE(changes->topLevelItemCount(), 2);
    QCOMPARE(changes->topLevelItem(0)->text(0), QStringLiteral("Alfa (usunięty)"));
    QCOMPARE(changes->topLevelItem(1)->text(0), QStringLiteral("Gamma (dodany)"));

    // Alfa chosen: it alone comes back, after today's book is copied.
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Yes);
    dialogs->queue(DialogButton::Yes);
    changes->topLevelItem(0)->setCheckState(0, Qt::Checked);
    auto *restore = window.findChild<QPushButton *>(QStringLiteral("btnPrzywroc"));
    QTest::mouseClick(restore, Qt::LeftButton);
    QVERIFY(dialogs->texts().value(0).startsWith(
        QStringLiteral("Przywrócić z kopii z 01.12.2026 08:15 wybrane kontakty (1)?")));
    QCOMPARE(book.walkForward(), (QStringList{"Alfa", "Beta", "Gamma"}));
    QCOMPARE(BookBackup::list(folder).size(), 2);
    QCOMPARE(copies->rowCount(), 2);

    // None chosen: the whole book as the old copy (now listed second) holds it.
    copies->setCurrentCell(1, 0);
    QTest::mouseClick(restore, Qt::LeftButton);
    QVERIFY(dialogs->texts().value(1).startsWith(
        QStringLiteral("Przywrócić całą książkę adresową z kopii z 01.12.2026 08:15?")));
    QCOMPARE(book.walkForward(), (QStringList{"Alfa", "Beta"}));
    QCOMPARE(dialogs->pending(), 0);

    // Another folder, chosen in the folder dialog, lists its own copies (none).
    ReportFakeFileDialogs files;
    files.folderAnswers << book.folder();
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("btnFolder")), Qt::LeftButton);
    QCOMPARE(copies->rowCount(), 0);
    QCOMPARE(BookBackup::folder(BookBackup::bookOf(t)), book.folder());

    window.show(); // Esc closes it from any control
    QTest::keyClick(copies, Qt::Key_Escape);
    QVERIFY(!window.isVisible());
}

KARTAX_TEST_MAIN(TestBackupWindow)
#include "tst_backup_window.moc"
