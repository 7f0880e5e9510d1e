#include "app/main_window.h"
#include "app/program.h"
#include "entry/data_entry_window.h"
#include "entry/full_record_view.h"
#include "find/find_model.h"
#include "find/find_window.h"
#include "store/table.h"
#include "support/contact_fixture.h"
#include "support/kartax_test_main.h"
#include "support/program_fixture.h"
#include "support/scripted_dialogs.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

// The window "Znajdź": typing lists the matches, rows load as needed, Enter moves the
// shared cursor, and the keys that move between box and list.
class TestFindWindow : public QObject
{
    Q_OBJECT

private slots:
    void typingListsMatchesAndEnterOpensThem();
    void rowsLoadAsScrolledAndKeysMove();
    void everyWindowOpensItWithCtrlF();
    void countsInPolish();
    void placedBesideTheCard_data();
    void placedBesideTheCard();
};

namespace {

TFindWindow *openFind(ProgramFixture &fx)
{
    fx.form1().Znajdz1->trigger();
    TFindWindow *find = fx.program().findWindow();
    if (find && QTest::qWaitForWindowActive(find))
        return find;
    return nullptr;
}

} // namespace

void TestFindWindow::typingListsMatchesAndEnterOpensThem()
{
    ProgramFixture fx;
    insertContact(fx.table(), QStringLiteral("Alfa"));
    insertContact(fx.table(), QStringLiteral("Hurtownia Łódź"), QStringLiteral("Meble"), QString(),
                  {"PL", "Łódź", "", "", "", "42 555 11 22"});
    insertContact(fx.table(), QStringLiteral("Beta"));
    fx.table().first();
    TForm1 &form = fx.form1();
    form.show();
    // A name typed in the main window's search box first.
    form.nClick();
    form.n1->setFocus();
    QTest::keyClicks(form.n1, QStringLiteral("al"));
    TFindWindow *find = openFind(fx);
    QVERIFY(find);
    QCOMPARE(fx.form1().Znajdz1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
    QCOMPARE(find->helpContext(), 22);
    QTest::keyClicks(find->Szukaj, QStringLiteral("LODZ"));
    QTRY_COMPARE(find->model()->rowCount(), 1);
    QCOMPARE(find->Stan->text(), QStringLiteral("1 kontakt"));
    // "Hurtownia Łódź" marks its last four letters; the town is all of it.
    const auto spans = find->model()->matchedSpans(find->model()->index(0, 0));
    QCOMPARE(spans, (QList<std::pair<int, int>>{{10, 4}}));
    QTest::keyClicks(find->Szukaj, QStringLiteral(" 42555"));
    find->searchNow();
    QCOMPARE(find->Stan->text(), QStringLiteral("1 kontakt"));
    QCOMPARE(find->model()->matchedSpans(find->model()->index(0, 4)),
             (QList<std::pair<int, int>>{{0, 6}}));

    QTest::keyClick(find->Szukaj, Qt::Key_Return);
    QCOMPARE(fx.table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("Hurtownia Łódź"));
    QVERIFY(find->isVisible());
    find->Szukaj->setText(QStringLiteral("zz"));
    find->searchNow();
    QCOMPARE(find->Stan->text(), QStringLiteral("0 kontaktów"));
    // Esc hides the window; its release in the main window's search box, focused
    // again, is no typing there and leaves the contact opened.
    QTest::keyPress(find->Szukaj, Qt::Key_Escape);
    QVERIFY(!find->isVisible());
    QApplication::setActiveWindow(&form);
    QTRY_VERIFY(form.n1->hasFocus());
    QTest::keyRelease(form.n1, Qt::Key_Escape);
    QCOMPARE(fx.table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("Hurtownia Łódź"));
    QTest::keyClick(form.n1, Qt::Key_Left); // a key typed there searches again
    QCOMPARE(fx.table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("Alfa"));
}

// The window opens beside the card, or below it, wherever the screen has more room.
void TestFindWindow::placedBesideTheCard_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QRect>("card");
    QTest::addColumn<int>("border"); // the window frame's sides and bottom
    QTest::addColumn<int>("title");
    QTest::addColumn<QRect>("place");
    QTest::newRow("right, whole") << QRect(0, 0, 2560, 1440) << QRect(600, 300, 424, 251) << 0 << 0
                                  << QRect(1028, 300, 1000, 480);
    QTest::newRow("below, lower") << QRect(0, 0, 1280, 1024) << QRect(351, 440, 424, 251) << 0 << 0
                                  << QRect(280, 695, 1000, 329);
    QTest::newRow("left, framed") << QRect(0, 0, 1920, 1080) << QRect(1400, 500, 424, 251) << 4
                                  << 24 << QRect(392, 524, 1000, 480);
    QTest::newRow("no room") << QRect(0, 0, 800, 600) << QRect(188, 174, 424, 251) << 0 << 0
                             << QRect();
}

void TestFindWindow::placedBesideTheCard()
{
    QFETCH(QRect, screen);
    QFETCH(QRect, card);
    QFETCH(int, border);
    QFETCH(int, title);
    QFETCH(QRect, place);
    QCOMPARE(TFindWindow::placeBeside(card, screen, QSize(1000, 480), QSize(480, 240),
                                      QMargins(border, title, border, border)),
             place);
}

void TestFindWindow::rowsLoadAsScrolledAndKeysMove()
{
    ProgramFixture fx;
    for (int i = 0; i < 120; ++i)
        insertContact(fx.table(), QStringLiteral("Firma %1").arg(i));
    TFindWindow *find = openFind(fx);
    QVERIFY(find);
    // The model reads a page at a time as the list asks for more.
    FindModel *model = find->model();
    model->search(&fx.table(), QStringLiteral("firma"));
    QCOMPARE(model->rowCount(), FindModel::kPage);
    QVERIFY(model->canFetchMore({}));
    model->fetchMore({});
    QCOMPARE(model->rowCount(), 2 * FindModel::kPage);
    // The window reads on between events until the count is known.
    find->Szukaj->setText(QStringLiteral("firma"));
    find->searchNow();
    QTRY_COMPARE(find->Stan->text(), QStringLiteral("120 kontaktów"));
    QCOMPARE(model->rowCount(), 120);
    QVERIFY(!model->canFetchMore({}));
    QCOMPARE(model->data(model->index(119, 0), Qt::DisplayRole).toString(), "Firma 119");

    QTest::keyClick(find->Szukaj, Qt::Key_Down);
    QCOMPARE(find->focusWidget(), find->Wyniki);
    QTest::keyClick(find->Wyniki, Qt::Key_Down);
    QCOMPARE(find->Wyniki->currentIndex().row(), 1);
    QTest::keyClick(find->Wyniki, Qt::Key_Return);
    QCOMPARE(fx.table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("Firma 1"));
    QTest::keyClick(find->Wyniki, Qt::Key_Up);
    QTest::keyClick(find->Wyniki, Qt::Key_Up);
    QCOMPARE(find->focusWidget(), find->Szukaj);

    // A text the search refuses is told once, then shown under the list while typed on.
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Ok);
    QStringList words;
    for (int i = 0; i < 65; ++i)
        words << QStringLiteral("słowo%1").arg(i);
    find->Szukaj->setText(words.join(u' '));
    find->searchNow();
    QTest::keyClicks(find->Szukaj, QStringLiteral("x"));
    find->searchNow();
    QCOMPARE(dialogs->requests().size(), 1);
    QVERIFY(find->Stan->text().startsWith(QStringLiteral("Szukany tekst ma za dużo różnych słów")));
}

void TestFindWindow::everyWindowOpensItWithCtrlF()
{
    ProgramFixture fx;
    for (QWidget *window : {static_cast<QWidget *>(fx.program().object<TForm10>()),
                            static_cast<QWidget *>(fx.program().object<TForm13>())}) {
        QAction *find = window->findChild<QAction *>(QStringLiteral("Znajdz1"));
        QVERIFY(find);
        QCOMPARE(find->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
        find->trigger();
        QVERIFY(fx.program().findWindow()->isVisible());
        fx.program().findWindow()->hide();
    }
}

void TestFindWindow::countsInPolish()
{
    const QStringList texts{contactCountText(1, 1000),  contactCountText(3, 1000),
                            contactCountText(5, 1000),  contactCountText(12, 1000),
                            contactCountText(22, 1000), contactCountText(1001, 1000)};
    QCOMPARE(texts, QStringList({"1 kontakt", "3 kontakty", "5 kontaktów", "12 kontaktów",
                                 "22 kontakty", "ponad 1000 kontaktów"}));
}

KARTAX_TEST_MAIN(TestFindWindow)
#include "tst_find_window.moc"
