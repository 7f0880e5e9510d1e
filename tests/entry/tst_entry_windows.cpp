#include "app/main_window.h"
#include "app/program.h"
#include "dbcontrols/db_combo_box.h"
#include "dbcontrols/db_edit.h"
#include "dbcontrols/db_memo.h"
#include "dbcontrols/db_navigator.h"
#include "dbcontrols/db_text.h"
#include "entry/data_entry_window.h"
#include "entry/details_list.h"
#include "entry/details_window.h"
#include "entry/full_record_view.h"
#include "history/history_window.h"
#include "messaging/email_composer.h"
#include "platform/settings_store.h"
#include "store/table.h"
#include "support/contact_fixture.h"
#include "support/kartax_test_main.h"
#include "support/program_fixture.h"
#include "support/recording_shell.h"
#include "support/scripted_dialogs.h"
#include "support/typing.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QToolButton>

// The data entry window and the full record view, over the whole program's windows.
class TestEntryWindows : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void layoutCaptionsAndTabOrder();
    void typedEditIsSavedByMoveInMainWindow();
    void closedWindowKeepsEditPending();
    void insertTakesItsPlaceAndCancelLeavesNothing();
    void deletingOnlyRecordEmptiesEverything();
    void failedPostKeepsTypedValues();
    void searchRowStatesAndSavesOpenEdit();
    void notesChangeShowsInFullView();
    void fullViewFollowsEveryWindow();
    void fullViewLinksRunMainCommands();
    void veryLongTextsAreStoredAndShown();
    void fullViewListsAndRunsFurtherValues();
    void furtherValuesEditedWithTheRecord();

private:
    // Gives Alfa two more telephones, an e-mail address, an address and a birthday.
    void giveAlfaFurtherValues();
    // Clicks "Więcej…" and runs `act` in the window it opens; the window is then closed.
    static void inDetailsWindow(QToolButton *more, TDetailsWindow *window,
                                const std::function<void(TDetailsWindow &)> &act);

    std::unique_ptr<ProgramFixture> m_fx;
    TForm10 *m_entry = nullptr;
    TForm13 *m_full = nullptr;
    TForm1 *m_main = nullptr;
};

void TestEntryWindows::init()
{
    QFile::remove(SettingsStore::defaultPath());
    m_fx = std::make_unique<ProgramFixture>();
    insertContact(m_fx->table(), QStringLiteral("Alfa"), QStringLiteral("Meble"),
                  QStringLiteral("Nowak"),
                  {"Polska", "Łódź", "90-001", "Piotrkowska 1", "łódzkie", "42 111", "42 112",
                   "biuro@alfa.pl", "www.alfa.pl", "pierwsza\r\ndruga"});
    insertContact(m_fx->table(), QStringLiteral("Gamma"), QStringLiteral("Apteki"));
    m_fx->table().first();
    m_entry = m_fx->program().object<TForm10>();
    m_full = m_fx->program().object<TForm13>();
    m_main = m_fx->program().object<TForm1>();
}

void TestEntryWindows::cleanup()
{
    m_fx.reset();
}

void TestEntryWindows::layoutCaptionsAndTabOrder()
{
    QCOMPARE(m_entry->windowTitle(),
             QStringLiteral("Wpisywanie danych do bazy programu Kartax2000®"));
    QCOMPARE(m_entry->size(), QSize(583, 380));
    QCOMPARE(m_entry->helpContext(), 2);
    QCOMPARE(m_full->windowTitle(), QStringLiteral("Pełne dane"));
    QCOMPARE(m_full->size(), QSize(586, 381));
    QCOMPARE(m_full->helpContext(), 5);
    QCOMPARE(m_entry->DBEdit10->accessibleName(), QStringLiteral("Telefon"));
    QCOMPARE(m_entry->DBComboBox1->accessibleName(), QStringLiteral("Kraj"));
    QCOMPARE(m_entry->DBComboBox1->count(), 168);
    QCOMPARE(m_entry->DBComboBox1->itemText(0), QStringLiteral("Polska"));
    QCOMPARE(m_entry->DBNavigator1->button(DBNavigator::Insert)->accessibleName(),
             QStringLiteral("dodaj"));
    QCOMPARE(m_entry->DBEdit1->text(), QStringLiteral("Alfa"));
    QCOMPARE(m_entry->DBComboBox1->currentText(), QStringLiteral("Polska"));
    // The memo comes first in the tab order and has the focus when first shown.
    m_entry->showForm();
    QApplication::setActiveWindow(m_entry);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(m_entry->DBMemo1));
    // Tab runs memo, fields, search boxes (hidden now), navigator, and round again.
    QList<QWidget *> expected{m_entry->DBMemo1, m_entry->DBEdit1,     m_entry->DBEdit2,
                              m_entry->DBEdit3, m_entry->DBComboBox1, m_entry->DBEdit4,
                              m_entry->DBEdit5, m_entry->DBEdit6,     m_entry->DBEdit7,
                              m_entry->DBEdit8, m_entry->DBEdit9,     m_entry->DBEdit10,
                              m_entry->DBEdit11};
    for (QToolButton *button : m_entry->DBNavigator1->findChildren<QToolButton *>()) {
        if (button->isEnabled())
            expected << button;
    }
    expected << m_entry->DBMemo1;
    QList<QWidget *> chain{QApplication::focusWidget()};
    while (chain.size() < expected.size()) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        chain << QApplication::focusWidget();
    }
    QCOMPARE(chain, expected);
    // No caption is cut.
    for (QLabel *label : m_entry->findChildren<QLabel *>()) {
        if (!label->text().isEmpty() && !label->wordWrap())
            QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
    }
    for (QLabel *label : m_full->findChildren<QLabel *>()) {
        if (!label->text().isEmpty() && !qobject_cast<DBText *>(label))
            QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
    }
}

void TestEntryWindows::typedEditIsSavedByMoveInMainWindow()
{
    m_entry->showForm();
    m_entry->DBEdit10->setFocus();
    m_entry->DBEdit10->end(false);
    QTest::keyClicks(m_entry->DBEdit10, QStringLiteral(" 99"));
    QCOMPARE(m_fx->table().state(), DataSetState::Edit);
    QCOMPARE(m_main->DBText8->text(), QStringLiteral("42 111 99")); // every window follows
    QTest::mouseClick(m_main->DBNavigator1->button(DBNavigator::Next), Qt::LeftButton);
    QCOMPARE(m_fx->table().state(), DataSetState::Browse);
    QCOMPARE(m_entry->DBEdit1->text(), QStringLiteral("Gamma"));
    m_fx->table().first();
    QCOMPARE(m_entry->DBEdit10->text(), QStringLiteral("42 111 99"));
}

void TestEntryWindows::closedWindowKeepsEditPending()
{
    m_entry->showForm();
    m_entry->DBEdit5->selectAll();
    typeText(m_entry->DBEdit5, QStringLiteral("Kraków"));
    QTest::mouseClick(m_entry->SpeedButton1, Qt::LeftButton);
    QVERIFY(!m_entry->isVisible());
    QCOMPARE(m_fx->table().state(), DataSetState::Edit);
    // Cancel drops it...
    m_fx->table().cancel();
    QCOMPARE(m_main->DBText5->text(), QStringLiteral("Łódź"));
    // ...leaving the record in any window saves it.
    m_entry->DBEdit5->selectAll();
    typeText(m_entry->DBEdit5, QStringLiteral("Gdańsk"));
    m_full->DBNavigator1->btnClick(DBNavigator::Last);
    m_fx->table().first();
    QCOMPARE(m_main->DBText5->text(), QStringLiteral("Gdańsk"));
}

void TestEntryWindows::insertTakesItsPlaceAndCancelLeavesNothing()
{
    DBNavigator *nav = m_entry->DBNavigator1;
    nav->btnClick(DBNavigator::Insert);
    QCOMPARE(m_entry->DBEdit1->text(), QString());
    QCOMPARE(m_main->DBText1->text(), QString());
    nav->btnClick(DBNavigator::Cancel);
    QCOMPARE(m_fx->table().recordCount(), 2);
    QCOMPARE(m_entry->DBEdit1->text(), QStringLiteral("Alfa"));

    nav->btnClick(DBNavigator::Insert);
    QTest::keyClicks(m_entry->DBEdit1, QStringLiteral("Beta"));
    m_entry->DBComboBox1->lineEdit()->setFocus();
    typeText(m_entry->DBComboBox1->lineEdit(), QStringLiteral("Wyspy Owcze"));
    nav->btnClick(DBNavigator::Post);
    QCOMPARE(m_main->DBText1->text(), QStringLiteral("Beta"));
    QCOMPARE(m_main->DBText4->text(), QStringLiteral("Wyspy Owcze"));
    QCOMPARE(walkForward(m_fx->table()), QStringList({"Alfa", "Beta", "Gamma"}));
}

void TestEntryWindows::deletingOnlyRecordEmptiesEverything()
{
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Ok);
    dialogs->queue(DialogButton::Ok);
    m_entry->DBNavigator1->btnClick(DBNavigator::Delete);
    m_entry->DBNavigator1->btnClick(DBNavigator::Delete);
    QVERIFY(m_fx->table().isEmpty());
    QCOMPARE(m_entry->DBEdit1->text(), QString());
    QCOMPARE(m_entry->DBMemo1->toPlainText(), QString());
    QCOMPARE(m_full->m1->toPlainText(), QString());
    for (auto b : {DBNavigator::First, DBNavigator::Prior, DBNavigator::Next, DBNavigator::Last,
                   DBNavigator::Delete})
        QVERIFY(!m_entry->DBNavigator1->button(b)->isEnabled());
    QVERIFY(m_entry->DBNavigator1->button(DBNavigator::Insert)->isEnabled());
}

void TestEntryWindows::failedPostKeepsTypedValues()
{
    ContactFixture::sqlite3Against(m_fx->databasePath(),
                                   QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON "
                                                  "Kartax2000 BEGIN SELECT RAISE(ABORT, "
                                                  "'database is locked'); END"));
    m_entry->showForm();
    m_entry->DBEdit2->selectAll();
    QTest::keyClicks(m_entry->DBEdit2, QStringLiteral("Zegarki"));
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Ok);
    // The click's error reaches the application's error report.
    QTest::mouseClick(m_entry->DBNavigator1->button(DBNavigator::Post), Qt::LeftButton);
    QCOMPARE(
        dialogs->texts(),
        QStringList(
            {QStringLiteral("Błąd bazy danych %1: database is locked").arg(m_fx->databasePath())}));
    QCOMPARE(m_fx->table().state(), DataSetState::Edit);
    QCOMPARE(m_entry->DBEdit2->text(), QStringLiteral("Zegarki"));
    QVERIFY(m_entry->DBNavigator1->button(DBNavigator::Post)->isEnabled());
    ContactFixture::sqlite3Against(m_fx->databasePath(), QStringLiteral("DROP TRIGGER refuse"));
    QTest::mouseClick(m_entry->DBNavigator1->button(DBNavigator::Post), Qt::LeftButton);
    QCOMPARE(m_fx->table().state(), DataSetState::Browse);
    QCOMPARE(m_main->DBText2->text(), QStringLiteral("Zegarki"));
}

void TestEntryWindows::searchRowStatesAndSavesOpenEdit()
{
    m_entry->showForm();
    QVERIFY(m_entry->s1->isVisible() && !m_entry->s2->isVisible() && !m_entry->n->isVisible());
    QTest::mouseClick(m_entry->s1, Qt::LeftButton);
    QVERIFY(!m_entry->s1->isVisible() && m_entry->s2->isVisible());
    QVERIFY(m_entry->n->isVisible() && m_entry->b->isVisible() && m_entry->p->isVisible());
    QCOMPARE(m_entry->Label16->text(),
             QStringLiteral("Wybierz jedną z trzech opcji autowyszukiwania"));
    QVERIFY(!m_entry->n1->isVisible());

    // A changed record is saved before the search moves away from it.
    m_entry->DBEdit3->selectAll();
    QTest::keyClicks(m_entry->DBEdit3, QStringLiteral("Kowalski"));
    QTest::mouseClick(m_entry->b, Qt::LeftButton);
    QVERIFY(m_entry->b1->isVisible() && !m_entry->n1->isVisible());
    QTest::mouseClick(m_entry->b1, Qt::LeftButton);
    QTest::keyClicks(m_entry->b1, QStringLiteral("ap"));
    QCOMPARE(m_entry->DBEdit1->text(), QStringLiteral("Gamma"));
    QCOMPARE(m_fx->table().state(), DataSetState::Browse);
    m_fx->table().last();
    QCOMPARE(m_main->DBText3->text(), QStringLiteral("Kowalski"));

    // A click into a box empties all three.
    QTest::mouseClick(m_entry->b1, Qt::LeftButton);
    QCOMPARE(m_entry->b1->text(), QString());
    QTest::mouseClick(m_entry->s2, Qt::LeftButton);
    QVERIFY(m_entry->s1->isVisible() && !m_entry->s2->isVisible());
    QVERIFY(!m_entry->n->isVisible() && !m_entry->b1->isVisible());
    QCOMPARE(m_entry->Label16->text(),
             QStringLiteral("Kliknij i wybierz opcję do autowyszukiwania"));
    QCOMPARE(m_fx->table().indexName(), QStringLiteral("bInd"));
}

void TestEntryWindows::notesChangeShowsInFullView()
{
    m_entry->showForm();
    m_full->showForm();
    QCOMPARE(m_full->m1->toPlainText(), QStringLiteral("pierwsza\ndruga"));
    QVERIFY(m_full->m1->isReadOnly());
    m_entry->DBMemo1->setFocus();
    m_entry->DBMemo1->moveCursor(QTextCursor::End);
    typeText(m_entry->DBMemo1, QStringLiteral("\ntrzecia"));
    QTRY_COMPARE(m_full->m1->toPlainText(), QStringLiteral("pierwsza\ndruga\ntrzecia"));
    QCOMPARE(m_full->notesLines(), QStringList({"pierwsza", "druga", "trzecia"}));
}

void TestEntryWindows::fullViewFollowsEveryWindow()
{
    QCOMPARE(m_full->DBText1->text(), QStringLiteral("Alfa"));
    QTest::mouseClick(m_full->DBNavigator1->button(DBNavigator::Next), Qt::LeftButton);
    QCOMPARE(m_main->DBText1->text(), QStringLiteral("Gamma"));
    QCOMPARE(m_entry->DBEdit1->text(), QStringLiteral("Gamma"));
    m_main->show();
    m_main->nClick();
    QTest::keyClicks(m_main->n1, QStringLiteral("a"));
    QCOMPARE(m_full->DBText1->text(), QStringLiteral("Alfa"));
    QCOMPARE(m_full->DBText9->text(), QStringLiteral("42 111"));
}

void TestEntryWindows::fullViewLinksRunMainCommands()
{
    RecordingShell shell;
    m_main->Edit1->setText(QStringLiteral("8")); // calls go to the desktop's telephone
    TForm11 &history = *m_fx->program().object<TForm11>();
    const int before = history.lines().size();
    m_full->showForm();
    QTest::mouseClick(m_full->Label9, Qt::LeftButton);
    QTest::mouseClick(m_full->DBText12, Qt::LeftButton);
    QTest::mouseClick(m_full->DBText11, Qt::LeftButton);
    // Only the text is clickable: a click far right of the short address sends nothing.
    QVERIFY(m_full->DBText11->width() < 120 && m_full->DBText11->toolTip().isEmpty());
    QTest::mouseClick(m_full, Qt::LeftButton, {}, m_full->DBText11->pos() + QPoint(250, 5));
    QVERIFY(
        !m_fx->program().object<TForm16>()->isVisible()); // the letter goes without the composer
    const QStringList lines = history.lines().mid(before);
    QCOMPARE(lines.size(), 3);
    QVERIFY(
        lines[0].startsWith(QStringLiteral("Połączenie telefoniczne z numerem :  42 111 dnia ")));
    QVERIFY(lines[1].startsWith(QStringLiteral("www.alfa.pl dnia ")));
    QVERIFY(lines[2].startsWith(QStringLiteral("poczta e-mail : biuro@alfa.pl dnia ")));
    QCOMPARE(shell.urls,
             QStringList({QStringLiteral("tel:42111"), QStringLiteral("http://www.alfa.pl"),
                          QStringLiteral("mailto:biuro@alfa.pl?Subject=&Body=")}));
    QTest::mouseClick(m_full->SpeedButton4, Qt::LeftButton); // the address on the map
    QCOMPARE(shell.last(), QStringLiteral("https://www.openstreetmap.org/search?query="
                                          "Piotrkowska%201%2C%2090-001%2C%20%C5%81%C3%B3d%C5%BA"
                                          "%2C%20Polska"));
}

void TestEntryWindows::veryLongTextsAreStoredAndShown()
{
    const QString longName(10000, QLatin1Char('x'));
    QString notes;
    while (notes.size() < 1024 * 1024)
        notes += QStringLiteral("Notatka o kliencie, zażółć gęślą jaźń. ").repeated(8) +
                 QStringLiteral("\n");
    m_entry->showForm();
    m_full->showForm();
    m_entry->DBEdit1->setText(longName);
    emit m_entry->DBEdit1->textEdited(longName);
    m_entry->DBMemo1->setPlainText(notes);
    m_entry->DBNavigator1->btnClick(DBNavigator::Post);
    // The renamed record now sorts last; leave it and come back.
    m_fx->table().first();
    m_fx->table().last();
    // The box holds what its width shows until it takes the focus, then the whole text.
    QCOMPARE(m_entry->DBEdit1->wholeText(), longName);
    QVERIFY(m_entry->DBEdit1->text().size() < 1000);
    QVERIFY(longName.startsWith(m_entry->DBEdit1->text()));
    QFocusEvent focusIn(QEvent::FocusIn);
    QCoreApplication::sendEvent(m_entry->DBEdit1, &focusIn);
    QCOMPARE(m_entry->DBEdit1->text(), longName);
    QCOMPARE(m_full->DBText1->text(), longName);
    QCOMPARE(m_full->DBText1->width(), 340); // shortened with "…", whole in the tooltip
    QVERIFY(m_full->DBText1->toolTip().startsWith(QStringLiteral("xxxx")));
    // Long notes show their first lines at once and the rest right after.
    QVERIFY(notes.startsWith(m_entry->DBMemo1->toPlainText()));
    QTRY_COMPARE(m_entry->DBMemo1->toPlainText(), notes);
    QTRY_COMPARE(m_full->m1->toPlainText(), notes);
    QCOMPARE(m_fx->table().fieldText(QStringLiteral("Uwagi")).size(),
             notes.size() + notes.count(QLatin1Char('\n')));
}

void TestEntryWindows::giveAlfaFurtherValues()
{
    TTable &table = m_fx->table();
    table.first();
    table.edit();
    table.setDetails({{ContactDetail::Phone, QStringLiteral("służbowy"), QString(), "42 113"},
                      {ContactDetail::Phone, QStringLiteral("komórkowy"), QString(), "600 100 200"},
                      {ContactDetail::Email, QString(), QStringLiteral("szef"), "szef@alfa.pl"},
                      {ContactDetail::Address, QStringLiteral("domowy"), QString(),
                       ContactDetail::joinAddress({"", "", "Długa 5", "Łódź", "", "90-002", ""})},
                      {ContactDetail::Birthday, QString(), QString(), "1970-05-17"}});
    table.post();
}

void TestEntryWindows::inDetailsWindow(QToolButton *more, TDetailsWindow *window,
                                       const std::function<void(TDetailsWindow &)> &act)
{
    QTimer::singleShot(0, window, [window, act] {
        const auto close = qScopeGuard([window] {
            if (window->isVisible())
                QTest::keyClick(window, Qt::Key_Escape);
        });
        QVERIFY(window->isVisible());
        act(*window);
    });
    QTest::mouseClick(more, Qt::LeftButton);
    QVERIFY(!window->isVisible());
}

void TestEntryWindows::fullViewListsAndRunsFurtherValues()
{
    giveAlfaFurtherValues();
    RecordingShell shell;
    m_main->Edit1->setText(QStringLiteral("8")); // calls go to the desktop's telephone
    TForm11 &history = *m_fx->program().object<TForm11>();
    const int before = history.lines().size();
    m_full->showForm();
    QVERIFY(m_full->btnWiecej->isEnabled());
    QCOMPARE(m_full->btnWiecej->toolTip(),
             QStringLiteral("Dalsze dane kontaktu: 2 × Telefon, 1 × E-mail, 1 × Adres, 1 × "
                            "Urodziny"));
    inDetailsWindow(m_full->btnWiecej, m_full->DetailsWindow, [](TDetailsWindow &window) {
        DetailsList *list = window.List;
        QCOMPARE(window.Heading->text(), QStringLiteral("Alfa"));
        QStringList rows;
        for (int row = 0; row < list->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < list->columnCount(); ++column)
                cells << list->item(row, column)->text();
            rows << cells.join(u'|');
        }
        QCOMPARE(rows,
                 QStringList({"Telefon|służbowy||42 113", "Telefon|komórkowy||600 100 200",
                              "E-mail||szef|szef@alfa.pl", "Adres|domowy||Długa 5, 90-002 Łódź",
                              "Urodziny|||1970-05-17"}));
        // A click on the second telephone dials it; Enter on the e-mail writes to it;
        // the address and the birthday lead nowhere.
        const auto click = [list](int row) {
            QTest::mouseClick(
                list->viewport(), Qt::LeftButton, {},
                list->visualItemRect(list->item(row, DetailsList::ValueColumn)).center());
        };
        click(1);
        click(3);
        list->setCurrentCell(2, 0);
        QTest::keyClick(list, Qt::Key_Return);
        list->setCurrentCell(4, 0);
        QTest::keyClick(list, Qt::Key_Return);
        QVERIFY(window.isVisible());
    });
    QCOMPARE(shell.urls, QStringList({QStringLiteral("tel:600100200"),
                                      QStringLiteral("mailto:szef@alfa.pl?Subject=&Body=")}));
    const QStringList lines = history.lines().mid(before);
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].startsWith(
        QStringLiteral("Połączenie telefoniczne z numerem :  600 100 200 dnia ")));
    QVERIFY(lines[1].startsWith(QStringLiteral("poczta e-mail : szef@alfa.pl dnia ")));
    m_full->DBNavigator1->btnClick(DBNavigator::Next);
    QVERIFY(!m_full->btnWiecej->isEnabled());
    QCOMPARE(m_full->btnWiecej->toolTip(), QStringLiteral("Ten kontakt nie ma dalszych danych."));
}

void TestEntryWindows::furtherValuesEditedWithTheRecord()
{
    giveAlfaFurtherValues();
    const QList<ContactDetail> stored = m_fx->table().details();
    m_entry->showForm();
    QCOMPARE(m_fx->table().state(), DataSetState::Browse);
    // Added in the editor, the value is posted with the record.
    inDetailsWindow(m_entry->btnWiecej, m_entry->DetailsEditor, [this](TDetailsWindow &window) {
        QCOMPARE(m_fx->table().state(), DataSetState::Edit); // as typing starts it
        QCOMPARE(window.List->rowCount(), 5);
        QTest::mouseClick(window.AddButton, Qt::LeftButton);
        window.KindBox->setCurrentIndex(ContactDetail::Email);
        QTest::keyClicks(window.TypeBox->lineEdit(), QStringLiteral("prywatny"));
        QTest::keyClicks(window.ValueEdit, QStringLiteral("dom@alfa.pl"));
        QTest::mouseClick(window.OkButton, Qt::LeftButton);
    });
    m_entry->DBNavigator1->btnClick(DBNavigator::Post);
    m_fx->table().last();
    m_fx->table().first();
    QList<ContactDetail> expected = stored;
    expected << ContactDetail{ContactDetail::Email, QStringLiteral("prywatny"), QString(),
                              QStringLiteral("dom@alfa.pl")};
    QCOMPARE(m_fx->table().details(), expected);
    // Added and moved up, then dropped with the record's cancel.
    inDetailsWindow(m_entry->btnWiecej, m_entry->DetailsEditor, [](TDetailsWindow &window) {
        QTest::mouseClick(window.AddButton, Qt::LeftButton);
        QTest::keyClicks(window.ValueEdit, QStringLiteral("700 800 900"));
        QTest::mouseClick(window.UpButton, Qt::LeftButton);
        QTest::mouseClick(window.OkButton, Qt::LeftButton);
    });
    QCOMPARE(m_fx->table().details().at(5).value, QStringLiteral("700 800 900"));
    QVERIFY(m_fx->table().modified());
    m_entry->DBNavigator1->btnClick(DBNavigator::Cancel);
    m_fx->table().last();
    m_fx->table().first();
    QCOMPARE(m_fx->table().details(), expected);
}

KARTAX_TEST_MAIN(TestEntryWindows)
#include "tst_entry_windows.moc"
