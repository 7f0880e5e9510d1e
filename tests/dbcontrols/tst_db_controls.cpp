#include "dbcontrols/db_combo_box.h"
#include "dbcontrols/db_edit.h"
#include "dbcontrols/db_memo.h"
#include "dbcontrols/db_navigator.h"
#include "dbcontrols/db_text.h"
#include "dbcontrols/field_data_link.h"
#include "dbcontrols/visible_text.h"
#include "store/data_module.h"
#include "store/table.h"
#include "support/contact_fixture.h"
#include "support/scripted_dialogs.h"
#include "support/typing.h"

#include <QFontMetricsF>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

// Data-bound controls on two windows over one data source, as the program uses them.
class TestDbControls : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void controlsShowNothingUntilAttached();
    void typingInOneWindowIsSavedByMoveInAnother();
    void memoReachesRecordBeforeMoveAndFollowsCancel();
    void memoChangeShowsInOtherWindow();
    void comboTakesListEntryOrTypedText();
    void navigatorButtonsFollowState();
    void deleteAsksFirst();
    void insertThenCancelLeavesNoRecord();
    void longTextLooksAsDrawnWhole_data();
    void longTextLooksAsDrawnWhole();
    void typingOnEmptyTableKeepsEveryKey();

private:
    std::unique_ptr<ContactFixture> m_fx;
    std::unique_ptr<QWidget> m_entry; // a data entry window
    std::unique_ptr<QWidget> m_card;  // a second window on the same record
    DBEdit *m_name = nullptr;
    DBEdit *m_phone = nullptr;
    DBMemo *m_notes = nullptr;
    DBComboBox *m_country = nullptr;
    DBNavigator *m_navigator = nullptr;
    DBText *m_shownName = nullptr;
    DBMemo *m_shownNotes = nullptr;
    DBNavigator *m_cardNavigator = nullptr;
};

void TestDbControls::init()
{
    m_fx = std::make_unique<ContactFixture>();
    m_fx->add(QStringLiteral("Alfa"), QString(), QString(),
              {"Polska", "", "", "", "", "111", "", "", "", "pierwsza\r\ndruga"});
    m_fx->add(QStringLiteral("Beta"));
    m_fx->add(QStringLiteral("Gamma"));
    m_fx->table().first();

    m_entry = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(m_entry.get());
    m_name = new DBEdit(QStringLiteral("DBEdit1"), QStringLiteral("Nazwa"));
    m_phone = new DBEdit(QStringLiteral("DBEdit10"), QStringLiteral("tel"));
    m_notes = new DBMemo(QStringLiteral("DBMemo1"), QStringLiteral("Uwagi"));
    m_country = new DBComboBox(QStringLiteral("DBComboBox1"), QStringLiteral("Kraj"));
    m_country->addItems({QStringLiteral("Polska"), QStringLiteral("Niemcy")});
    m_navigator = new DBNavigator(QStringLiteral("DBNavigator1"),
                                  {DBNavigator::First, DBNavigator::Prior, DBNavigator::Next,
                                   DBNavigator::Last, DBNavigator::Insert, DBNavigator::Delete,
                                   DBNavigator::Edit, DBNavigator::Post, DBNavigator::Cancel,
                                   DBNavigator::Refresh});
    for (QWidget *w : {static_cast<QWidget *>(m_name), static_cast<QWidget *>(m_phone),
                       static_cast<QWidget *>(m_notes), static_cast<QWidget *>(m_country),
                       static_cast<QWidget *>(m_navigator)})
        layout->addWidget(w);

    m_card = std::make_unique<QWidget>();
    auto *cardLayout = new QVBoxLayout(m_card.get());
    m_shownName = new DBText(QStringLiteral("DBText1"), QStringLiteral("Nazwa"));
    m_shownNotes = new DBMemo(QStringLiteral("m1"), QStringLiteral("Uwagi"));
    m_shownNotes->setReadOnly(true);
    m_cardNavigator =
        new DBNavigator(QStringLiteral("DBNavigator1"), {DBNavigator::First, DBNavigator::Prior,
                                                         DBNavigator::Next, DBNavigator::Last});
    cardLayout->addWidget(m_shownName);
    cardLayout->addWidget(m_shownNotes);
    cardLayout->addWidget(m_cardNavigator);
}

void TestDbControls::cleanup()
{
    m_entry.reset();
    m_card.reset();
    m_fx.reset();
}

void TestDbControls::controlsShowNothingUntilAttached()
{
    QCOMPARE(m_name->text(), QString());
    QCOMPARE(m_shownName->text(), QString());
    QTest::keyClicks(m_name, QStringLiteral("x")); // nothing to edit yet
    QCOMPARE(m_name->text(), QString());
    QVERIFY(!m_navigator->button(DBNavigator::Next)->isEnabled());

    FieldDataLink::attachAll(m_entry.get(), m_fx->dm().d1);
    FieldDataLink::attachAll(m_card.get(), m_fx->dm().d1);
    m_navigator->setDataSource(m_fx->dm().d1);
    QCOMPARE(m_name->text(), QStringLiteral("Alfa"));
    QCOMPARE(m_phone->text(), QStringLiteral("111"));
    QCOMPARE(m_country->currentText(), QStringLiteral("Polska"));
    QCOMPARE(m_notes->toPlainText(), QStringLiteral("pierwsza\ndruga"));
    QCOMPARE(m_shownName->text(), QStringLiteral("Alfa"));
    QVERIFY(m_navigator->button(DBNavigator::Next)->isEnabled());
    m_entry->show(); // a box displays its text once shown
    QCOMPARE(m_name->displayText(), QStringLiteral("Alfa"));
    QCOMPARE(m_country->lineEdit()->displayText(), QStringLiteral("Polska"));
}

void TestDbControls::typingInOneWindowIsSavedByMoveInAnother()
{
    FieldDataLink::attachAll(m_entry.get(), m_fx->dm().d1);
    FieldDataLink::attachAll(m_card.get(), m_fx->dm().d1);
    m_cardNavigator->setDataSource(m_fx->dm().d1);
    m_entry->show();
    m_name->setFocus();
    m_name->end(false);
    QTest::keyClicks(m_name, QStringLiteral(" Sp. z o.o."));
    QCOMPARE(m_fx->table().state(), DataSetState::Edit);
    QCOMPARE(m_shownName->text(), QStringLiteral("Alfa Sp. z o.o."));
    // The other window's navigator leaves the record: the change is posted.
    QTest::mouseClick(m_cardNavigator->button(DBNavigator::Next), Qt::LeftButton);
    QCOMPARE(m_fx->table().state(), DataSetState::Browse);
    QCOMPARE(m_name->text(), QStringLiteral("Beta"));
    QCOMPARE(m_fx->sqlite3(QStringLiteral("SELECT count(*) FROM Kartax2000 WHERE Nazwa = "
                                          "'Alfa Sp. z o.o.'")),
             QStringLiteral("1\n"));
}

void TestDbControls::memoReachesRecordBeforeMoveAndFollowsCancel()
{
    FieldDataLink::attachAll(m_entry.get(), m_fx->dm().d1);
    m_navigator->setDataSource(m_fx->dm().d1);
    m_entry->show();
    m_notes->setFocus();
    m_notes->moveCursor(QTextCursor::End);
    typeText(m_notes, QStringLiteral("\ntrzecia"));
    QCOMPARE(m_fx->table().state(), DataSetState::Edit);
    m_navigator->btnClick(DBNavigator::Next);
    m_navigator->btnClick(DBNavigator::Prior);
    QCOMPARE(m_fx->table().fieldText(QStringLiteral("Uwagi")),
             QStringLiteral("pierwsza\r\ndruga\r\ntrzecia"));

    m_notes->setFocus();
    QTest::keyClicks(m_notes, QStringLiteral("!"));
    m_navigator->btnClick(DBNavigator::Cancel);
    QCOMPARE(m_fx->table().state(), DataSetState::Browse);
    QCOMPARE(m_notes->toPlainText(), QStringLiteral("pierwsza\ndruga\ntrzecia"));
}

void TestDbControls::memoChangeShowsInOtherWindow()
{
    FieldDataLink::attachAll(m_entry.get(), m_fx->dm().d1);
    FieldDataLink::attachAll(m_card.get(), m_fx->dm().d1);
    m_entry->show();
    m_notes->setFocus();
    m_notes->selectAll();
    QTest::keyClicks(m_notes, QStringLiteral("nowe uwagi"));
    // Shown in the other window as soon as the user pauses or leaves the memo.
    QTRY_COMPARE(m_shownNotes->toPlainText(), QStringLiteral("nowe uwagi"));
    QVERIFY(m_shownNotes->isReadOnly());
}

void TestDbControls::comboTakesListEntryOrTypedText()
{
    FieldDataLink::attachAll(m_entry.get(), m_fx->dm().d1);
    m_entry->show();
    m_country->setCurrentIndex(1);
    emit m_country->activated(1);
    QCOMPARE(m_fx->table().fieldText(QStringLiteral("Kraj")), QStringLiteral("Niemcy"));
    m_country->lineEdit()->selectAll();
    QTest::keyClicks(m_country->lineEdit(), QStringLiteral("Atlantyda"));
    QCOMPARE(m_fx->table().fieldText(QStringLiteral("Kraj")), QStringLiteral("Atlantyda"));
    m_fx->table().post();
    QCOMPARE(m_country->currentText(), QStringLiteral("Atlantyda"));
}

void TestDbControls::navigatorButtonsFollowState()
{
    m_navigator->setDataSource(m_fx->dm().d1);
    const auto enabled = [this](DBNavigator::Button b) {
        return m_navigator->button(b)->isEnabled();
    };
    QVERIFY(!enabled(DBNavigator::First) && !enabled(DBNavigator::Prior));
    QVERIFY(enabled(DBNavigator::Next) && enabled(DBNavigator::Last));
    QVERIFY(!enabled(DBNavigator::Post) && !enabled(DBNavigator::Cancel));
    QVERIFY(enabled(DBNavigator::Delete) && enabled(DBNavigator::Insert));
    m_navigator->btnClick(DBNavigator::Next);
    QVERIFY(enabled(DBNavigator::First) && enabled(DBNavigator::Next));
    m_navigator->btnClick(DBNavigator::Last);
    QVERIFY(!enabled(DBNavigator::Next) && !enabled(DBNavigator::Last));
    m_navigator->btnClick(DBNavigator::Edit);
    QVERIFY(enabled(DBNavigator::Post) && enabled(DBNavigator::Cancel));
    QVERIFY(!enabled(DBNavigator::Edit));
    m_navigator->btnClick(DBNavigator::Cancel);
    QCOMPARE(m_navigator->button(DBNavigator::Insert)->toolTip(), QStringLiteral("dodaj"));
    QCOMPARE(m_navigator->button(DBNavigator::Refresh)->accessibleName(),
             QStringLiteral("odśwież"));

    ContactFixture empty;
    DBNavigator navigator(QStringLiteral("nav"), {DBNavigator::First, DBNavigator::Delete});
    navigator.setDataSource(empty.dm().d1);
    for (auto b : {DBNavigator::First, DBNavigator::Prior, DBNavigator::Next, DBNavigator::Last,
                   DBNavigator::Delete})
        QVERIFY(!navigator.button(b)->isEnabled());
    QVERIFY(navigator.button(DBNavigator::Insert)->isEnabled());
}

void TestDbControls::deleteAsksFirst()
{
    m_navigator->setDataSource(m_fx->dm().d1);
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Cancel);
    m_navigator->btnClick(DBNavigator::Delete);
    QCOMPARE(m_fx->table().recordCount(), 3);
    QCOMPARE(dialogs->requests().first().text, QStringLiteral("Delete record?"));
    QCOMPARE(dialogs->requests().first().buttons,
             QList<DialogButton>({DialogButton::Ok, DialogButton::Cancel}));
    dialogs->queue(DialogButton::Ok);
    m_navigator->btnClick(DBNavigator::Delete);
    QCOMPARE(m_fx->table().recordCount(), 2);
    QCOMPARE(m_fx->table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("Beta"));
}

void TestDbControls::insertThenCancelLeavesNoRecord()
{
    FieldDataLink::attachAll(m_entry.get(), m_fx->dm().d1);
    m_navigator->setDataSource(m_fx->dm().d1);
    m_navigator->btnClick(DBNavigator::Insert);
    QCOMPARE(m_name->text(), QString());
    QTest::keyClicks(m_name, QStringLiteral("Delta"));
    m_navigator->btnClick(DBNavigator::Cancel);
    QCOMPARE(m_fx->table().recordCount(), 3);
    QCOMPARE(m_name->text(), QStringLiteral("Alfa"));
}

void TestDbControls::typingOnEmptyTableKeepsEveryKey()
{
    TTable &t = m_fx->table();
    while (!t.isEmpty())
        t.deleteRecord();
    FieldDataLink::attachAll(m_entry.get(), m_fx->dm().d1);
    m_entry->show();
    m_name->setFocus();
    // The first key starts a new record; the refresh that follows must not eat it.
    QTest::keyClicks(m_name, QStringLiteral("XY"));
    QCOMPARE(m_name->text(), QStringLiteral("XY"));
    t.post();
    QCOMPARE(m_fx->sqlite3(QStringLiteral("SELECT Nazwa FROM Kartax2000")), QStringLiteral("XY\n"));
}

// A long value draws only the start of its lines, as far as they can be seen, yet
// the label shows the pixels of the whole text and keeps the whole value.
void TestDbControls::longTextLooksAsDrawnWhole_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("framed");
    QTest::addColumn<bool>("drawnWhole");
    const QString words = QStringLiteral("Zażółć gęślą jaźń, Łódź ul. Świętokrzyska 12/4 ");
    const QString line = words.repeated(200);
    QTest::newRow("one line") << line << 18 << false << false;
    QTest::newRow("lines, the middle ones seen")
        << (line + u'\n').repeated(9) << 40 << true << false;
    QTest::newRow("taller glyphs out of sight")
        << line + QStringLiteral("漢字 ☃ é") << 18 << false << false;
    QTest::newRow("tabs, a separator")
        << (words + u'\t').repeated(200) + QChar(0x2028) + line << 40 << true << false;
    QTest::newRow("right-to-left out of sight")
        << line + QStringLiteral(" 12 שלום") << 18 << false << true;
}

void TestDbControls::longTextLooksAsDrawnWhole()
{
    QFETCH(QString, text);
    QFETCH(int, height);
    QFETCH(bool, framed);
    QFETCH(bool, drawnWhole);
    DBText shown(QStringLiteral("DBText1"), QStringLiteral("Nazwa"));
    QLabel whole;
    whole.setTextFormat(Qt::PlainText);
    QFont font(QStringLiteral("Arial"));
    font.setUnderline(true);
    for (QLabel *label : {static_cast<QLabel *>(&shown), &whole}) {
        label->setGeometry(0, 0, 300, height);
        label->setFont(font);
        label->setFrameStyle(framed ? QFrame::Box : QFrame::NoFrame);
        label->setText(text);
    }
    QCOMPARE(VisibleText::linesStart(text, QFontMetricsF(font), 300).isNull(), drawnWhole);
    QCOMPARE(shown.text(), text);
    QVERIFY(shown.grab().toImage() == whole.grab().toImage());
}

QTEST_MAIN(TestDbControls)
#include "tst_db_controls.moc"
