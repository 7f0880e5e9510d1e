#include "app/main_window.h"
#include "app/program.h"
#include "dbcontrols/db_edit.h"
#include "dbcontrols/db_navigator.h"
#include "dbcontrols/db_text.h"
#include "exchange/contact_import.h"
#include "forms/date_text.h"
#include "history/history_window.h"
#include "messaging/favourites_window.h"
#include "platform/clock.h"
#include "platform/settings_store.h"
#include "store/backup_keeper.h"
#include "store/book_backup.h"
#include "store/table.h"
#include "store/widgets/deleted_contacts_window.h"
#include "support/contact_fixture.h"
#include "support/program_fixture.h"
#include "support/recording_shell.h"
#include "support/scripted_dialogs.h"
#include "support/typing.h"
#include "sync/sync_conflicts.h"
#include "sync/sync_settings.h"
#include "sync/widgets/sync_conflict_window.h"
#include "sync/widgets/sync_runner.h"

#include <QAccessible>
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <QToolButton>
#include <csignal>
#include <tuple>

// The main window: card, navigator, search row, commands, menu, clock and Esc.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void dailyCopyInTheBackgroundAndOneWarning();
    void cleanup();
    void emptyTableShowsEmptyCardAndDisablesMoving();
    void cardFollowsNavigation();
    void searchRowOpensSwitchesAndCloses();
    void everySearchKindMovesTheCard();
    void captionValueAndButtonShareHandlers();
    void callAndWebCommandsFromCardAndButtons();
    void historyAndFavouritesWrittenAtExit();
    void menuShowsEveryWindow();
    void escEndsProgramFromAnyControl();
    void endingPostsOpenEditOrStaysOpen();
    void dialSettingReadOnceAtCreation();
    void missingSettingLeavesEdit1Empty();
    void dateAndClock();
    void exactCaptions();
    void assistiveTechnologyReadsEveryControl();
    void syncPanelAndConflictsFromMenu();
    void importUndoneAndContactBroughtBackFromMenu();

private:
    static QToolButton *navButton(TForm1 &form, DBNavigator::Button which)
    {
        return form.DBNavigator1->button(which);
    }
};

void TestMainWindow::cleanup()
{
    Clock::setSource({});
}

void TestMainWindow::emptyTableShowsEmptyCardAndDisablesMoving()
{
    ProgramFixture fx;
    TForm1 &form = fx.form1();
    // An empty value is read out as its caption and as empty.
    for (DBText *text : form.findChildren<DBText *>()) {
        QCOMPARE(text->text(), QString());
        QCOMPARE(QAccessible::queryAccessibleInterface(text)->text(QAccessible::Description),
                 QStringLiteral("pusty"));
    }
    QCOMPARE(QAccessible::queryAccessibleInterface(form.DBText7)->text(QAccessible::Name),
             QStringLiteral("Telefax"));
    for (auto button :
         {DBNavigator::First, DBNavigator::Prior, DBNavigator::Next, DBNavigator::Last})
        QVERIFY(!navButton(form, button)->isEnabled());
    QVERIFY(navButton(form, DBNavigator::First)->isVisibleTo(&form));
    QVERIFY(!navButton(form, DBNavigator::Insert)->isVisibleTo(&form));
    // The card says how to fill the book, with the menu items that do it.
    const auto *hint = form.findChild<QLabel *>(QStringLiteral("emptyBookHint"));
    QVERIFY(hint && hint->isVisibleTo(&form));
    for (const QAction *item : {form.Wpiszdane1, form.Import1})
        QVERIFY2(hint->text().contains(QStringLiteral("Program → ") + item->text()),
                 qPrintable(hint->text()));
}

void TestMainWindow::cardFollowsNavigation()
{
    ProgramFixture fx;
    TTable &t = fx.table();
    insertContact(t, QStringLiteral("Alfa"), QStringLiteral("Meble"), QStringLiteral("Jan"),
                  {"Polska", "Łódź", "90-001", "ul. Piotrkowska 1", "łódzkie", "42 111 11 11",
                   "42 111 11 12", "biuro@alfa.pl", "www.alfa.pl"});
    insertContact(t, QStringLiteral("Beta"));
    const QString longTel = QStringLiteral("+48 42 111 11 11 wew. 123, 124 lub 125");
    const QString longHttp = QStringLiteral("https://www.gamma.example.pl/oferta/meble-biurowe/"
                                            "krzesla?kolor=czarny");
    insertContact(t, QStringLiteral("Gamma"), {}, {},
                  {"", "", "", "ul. Długa 1\r\nII piętro", "", longTel, "", "", longHttp});
    t.first();
    TForm1 &form = fx.form1();
    QVERIFY(!form.findChild<QLabel *>(QStringLiteral("emptyBookHint"))->isVisibleTo(&form));
    QCOMPARE(form.DBText1->text(), QStringLiteral("Alfa"));
    QCOMPARE(form.DBText5->text(), QStringLiteral("Łódź"));
    QCOMPARE(form.DBText8->text(), QStringLiteral("42 111 11 11"));
    QCOMPARE(form.DBText12->text(), QStringLiteral("www.alfa.pl"));
    QCOMPARE(form.DBEdit3->text(), QStringLiteral("42 111 11 11"));
    QCOMPARE(form.DBEdit1->text(), QStringLiteral("www.alfa.pl"));
    QVERIFY(!navButton(form, DBNavigator::First)->isEnabled());
    QVERIFY(!navButton(form, DBNavigator::Prior)->isEnabled());
    QVERIFY(navButton(form, DBNavigator::Next)->isEnabled());

    QTest::mouseClick(navButton(form, DBNavigator::Next), Qt::LeftButton);
    QCOMPARE(form.DBText1->text(), QStringLiteral("Beta"));
    QCOMPARE(form.DBText5->text(), QString());
    QCOMPARE(form.DBEdit3->text(), QString());
    QVERIFY(navButton(form, DBNavigator::First)->isEnabled());
    QTest::mouseClick(navButton(form, DBNavigator::Last), Qt::LeftButton);
    QCOMPARE(form.DBText1->text(), QStringLiteral("Gamma"));
    QVERIFY(!navButton(form, DBNavigator::Next)->isEnabled());
    QVERIFY(!navButton(form, DBNavigator::Last)->isEnabled());
    // Long values, and one of two lines, are shortened within their room and whole in
    // their tooltips; a short one needs no tooltip.
    QVERIFY(form.DBText8->geometry().right() < form.Label13->x());
    QVERIFY(form.DBText12->geometry().right() < form.findChild<QWidget *>("Panel2")->width());
    QCOMPARE(form.DBText8->toolTip(), longTel);
    QCOMPARE(form.DBText12->toolTip(), longHttp);
    QCOMPARE(form.DBText9->toolTip(), QStringLiteral("ul. Długa 1\r\nII piętro"));
    QCOMPARE(form.DBText1->toolTip(), QString());
    QTest::mouseClick(navButton(form, DBNavigator::First), Qt::LeftButton);
    QCOMPARE(form.DBText1->text(), QStringLiteral("Alfa"));
}

void TestMainWindow::searchRowOpensSwitchesAndCloses()
{
    ProgramFixture fx;
    insertContact(fx.table(), QStringLiteral("Alfa"), QStringLiteral("Zegarki"));
    insertContact(fx.table(), QStringLiteral("Beta"), QStringLiteral("Apteki"));
    insertContact(fx.table(), QStringLiteral("Borys"), QStringLiteral("Meble"));
    fx.table().first();
    TForm1 &form = fx.form1();
    form.show();
    QVERIFY(form.Label16->isVisible());
    QTest::mouseClick(form.n, Qt::LeftButton);
    QVERIFY(form.n1->isVisible() && !form.b1->isVisible() && !form.p1->isVisible());
    QVERIFY(form.s->isVisible());
    QVERIFY(!form.Label16->isVisible());
    // Opening a box neither focuses it nor moves the record.
    QVERIFY(!form.n1->hasFocus());
    QCOMPARE(form.DBText1->text(), QStringLiteral("Alfa"));

    QTest::keyClicks(form.n1, QStringLiteral("b"));
    QCOMPARE(form.DBText1->text(), QStringLiteral("Beta"));
    QTest::keyClicks(form.n1, QStringLiteral("o"));
    QCOMPARE(form.DBText1->text(), QStringLiteral("Borys"));
    QTest::keyClick(form.n1, Qt::Key_Backspace);
    QCOMPARE(form.DBText1->text(), QStringLiteral("Beta"));
    QTest::keyClick(form.n1, Qt::Key_Backspace);
    QCOMPARE(form.DBText1->text(), QStringLiteral("Alfa")); // an empty box finds the first

    // Switching kind empties the boxes and leaves the record until the next key.
    QTest::keyClicks(form.n1, QStringLiteral("bo"));
    QTest::mouseClick(form.b, Qt::LeftButton);
    QCOMPARE(form.n1->text(), QString());
    QVERIFY(!form.n1->isVisible() && form.b1->isVisible());
    QCOMPARE(form.DBText1->text(), QStringLiteral("Borys"));
    QCOMPARE(fx.table().indexName(), QStringLiteral("nInd"));
    QTest::keyClicks(form.b1, QStringLiteral("a"));
    QCOMPARE(form.DBText1->text(), QStringLiteral("Beta"));

    QTest::mouseClick(form.s, Qt::LeftButton);
    QVERIFY(!form.n1->isVisible() && !form.b1->isVisible() && !form.p1->isVisible());
    QVERIFY(!form.s->isVisible());
    QVERIFY(form.Label16->isVisible());
    QCOMPARE(form.b1->text(), QString());
    // Closing keeps the record and the branch order.
    QCOMPARE(form.DBText1->text(), QStringLiteral("Beta"));
    QTest::mouseClick(form.DBNavigator1->button(DBNavigator::Next), Qt::LeftButton);
    QCOMPARE(form.DBText1->text(), QStringLiteral("Borys"));
}

void TestMainWindow::everySearchKindMovesTheCard()
{
    ProgramFixture fx;
    insertContact(fx.table(), QStringLiteral("Alfa"), QStringLiteral("Zegarki"),
                  QStringLiteral("Żak"));
    insertContact(fx.table(), QStringLiteral("Beta"), QStringLiteral("Apteki"),
                  QStringLiteral("Nowak"));
    fx.table().first();
    TForm1 &form = fx.form1();
    form.show();
    form.pClick();
    typeText(form.p1, QStringLiteral("ż"));
    QCOMPARE(form.DBText3->text(), QStringLiteral("Żak"));
    QCOMPARE(fx.table().indexName(), QStringLiteral("fInd"));
    form.bClick();
    QTest::keyClicks(form.b1, QStringLiteral("ap"));
    QCOMPARE(form.DBText2->text(), QStringLiteral("Apteki"));
    form.nClick();
    QTest::keyClicks(form.n1, QStringLiteral("zzz"));
    QCOMPARE(form.DBText1->text(), QStringLiteral("Beta")); // beyond every key: the last
    // A key that does not change the text searches again.
    QTest::mouseClick(form.DBNavigator1->button(DBNavigator::First), Qt::LeftButton);
    QTest::keyClick(form.n1, Qt::Key_Left);
    QCOMPARE(form.DBText1->text(), QStringLiteral("Beta"));
}

void TestMainWindow::captionValueAndButtonShareHandlers()
{
    ProgramFixture fx;
    insertContact(fx.table(), QStringLiteral("Alfa"));
    TForm1 &form = fx.form1();
    form.show();
    KaxForm *full = fx.program().form(QStringLiteral("Form13"));
    for (QWidget *clickable :
         {static_cast<QWidget *>(form.Label4), static_cast<QWidget *>(form.DBText1)}) {
        full->hide();
        QTest::mouseClick(clickable, Qt::LeftButton);
        QVERIFY(full->isVisible());
    }
    KaxForm *composer = fx.program().form(QStringLiteral("Form16"));
    for (QWidget *clickable :
         {static_cast<QWidget *>(form.Label14), static_cast<QWidget *>(form.DBText11),
          static_cast<QWidget *>(form.SpeedButton2)}) {
        composer->hide();
        QTest::mouseClick(clickable, Qt::LeftButton);
        QVERIFY(composer->isVisible());
    }
    KaxForm *favourites = fx.program().form(QStringLiteral("Form2"));
    favourites->hide();
    QTest::mouseClick(form.SpeedButton4, Qt::LeftButton);
    QVERIFY(favourites->isVisible());
    // Clickable items show a hand cursor.
    for (QWidget *clickable :
         {static_cast<QWidget *>(form.Label12), static_cast<QWidget *>(form.DBText8),
          static_cast<QWidget *>(form.tel1)})
        QCOMPARE(clickable->cursor().shape(), Qt::PointingHandCursor);
}

void TestMainWindow::callAndWebCommandsFromCardAndButtons()
{
    QFile::remove(SettingsStore::defaultPath()); // no dialling setting: no call, no line
    Clock::setSource([] { return QDateTime(QDate(2026, 1, 5), QTime(14, 5, 9)); });
    ProgramFixture fx;
    insertContact(fx.table(), QStringLiteral("Alfa"), {}, {},
                  {"", "", "", "", "", "123", "", "a@alfa.pl", "www.alfa.pl"});
    TForm1 &form = fx.form1();
    form.show();
    RecordingShell shell;
    InstalledScriptedDialogs dialogs;
    for (int i = 0; i < 3; ++i)
        dialogs->queue(DialogButton::Ok); // no dialling method chosen: the user is told
    TForm11 &history = *fx.program().object<TForm11>();
    const int before = history.lines().size();
    const auto call = [&form] {
        for (QWidget *clickable :
             {static_cast<QWidget *>(form.tel1), static_cast<QWidget *>(form.Label12),
              static_cast<QWidget *>(form.DBText8)})
            QTest::mouseClick(clickable, Qt::LeftButton);
    };
    call();
    QCOMPARE(dialogs->requests().size(), 3);
    QCOMPARE(history.lines().size(), before);
    // The desktop's telephone chosen in the dialling settings holds without a restart.
    fx.program().form(QStringLiteral("Form4"))->findChild<QToolButton *>("SpeedButton10")->click();
    call();
    for (QWidget *clickable :
         {static_cast<QWidget *>(form.SpeedButton3), static_cast<QWidget *>(form.Label15),
          static_cast<QWidget *>(form.DBText12)})
        QTest::mouseClick(clickable, Qt::LeftButton);
    const QStringList lines = history.lines().mid(before);
    QCOMPARE(lines.size(), 6);
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(
            lines[i].startsWith(QStringLiteral("Połączenie telefoniczne z numerem :  123 dnia ")),
            qPrintable(lines[i]));
        QVERIFY2(lines[3 + i].startsWith(QStringLiteral("www.alfa.pl dnia ")),
                 qPrintable(lines[3 + i]));
        QVERIFY(lines[i].endsWith(QStringLiteral(" godzina 14:05:09")));
    }
    QCOMPARE(shell.urls, QStringList(3, QStringLiteral("tel:123")) +
                             QStringList(3, QStringLiteral("http://www.alfa.pl")));
    QCOMPARE(dialogs->requests().size(), 3);
}

void TestMainWindow::historyAndFavouritesWrittenAtExit()
{
    QString folder;
    {
        ProgramFixture fx;
        folder = fx.folder();
        fx.program().object<TForm11>()->appendLine(QStringLiteral("wpis"));
        // The favourites are written when they changed.
        fx.program()
            .object<TForm2>()
            ->findChild<QListWidget *>(QStringLiteral("l1"))
            ->addItem(QStringLiteral("www.a.pl"));
        fx.program().saveAtExit();
        QVERIFY(QFile::exists(folder + QStringLiteral("/Historia.kax")));
        QVERIFY(QFile::exists(folder + QStringLiteral("/Ulubione.kax")));
        QFile history(folder + QStringLiteral("/Historia.kax"));
        QVERIFY(history.open(QIODevice::ReadOnly));
        QCOMPARE(history.readAll(), QByteArray("\r\nwpis\r\n"));
    }
}

void TestMainWindow::menuShowsEveryWindow()
{
    ProgramFixture fx;
    TForm1 &form = fx.form1();
    const QList<QPair<QAction *, QString>> items{
        {form.Wpiszdane1, "Form10"}, {form.Dane1, "Form13"},   {form.Historia1, "Form11"},
        {form.Modem1, "Form4"},      {form.Podpis1, "Form17"}, {form.StronyWWW1, "Form2"},
        {form.Informacje1, "Form5"}, {form.About1, "Form3"}};
    for (const auto &[action, name] : items) {
        KaxForm *window = fx.program().form(name);
        QVERIFY(!window->isVisible());
        action->trigger();
        QVERIFY2(window->isVisible(), qPrintable(name));
        window->close(); // closing only hides
        QVERIFY(!window->isVisible());
        QVERIFY(fx.program().form(name));
    }
    QCOMPARE(form.Wyjcie1->shortcut(), QKeySequence(Qt::Key_Escape));
    QCOMPARE(form.SynchronizujTeraz->shortcut(), QKeySequence(Qt::Key_F9));
    QVERIFY(!form.KonfliktySynchronizacji1->isEnabled()); // no conflict copies
    QVERIFY(form.StatusBar1->isHidden());                 // no sync set up
    QStringList menus;
    for (QAction *menu : form.MainMenu1->actions())
        menus << menu->text();
    QCOMPARE(menus, QStringList({"&Program", "U&stawienia", "&Ulubione", "P&omoc"}));
    QStringList printing;
    for (QAction *item : form.Drukowanie1->actions())
        printing << item->text();
    QCOMPARE(printing, QStringList({"Pełne dane", "Etykiety"}));
}

void TestMainWindow::escEndsProgramFromAnyControl()
{
    ProgramFixture fx;
    TForm1 &form = fx.form1();
    form.show();
    QSignalSpy ending(&form, &TForm1::endRequested);
    form.nClick();
    form.n1->setFocus();
    QTest::keyClick(form.n1, Qt::Key_Escape);
    QCOMPARE(ending.count(), 1);
    QTest::keyClick(form.tel1, Qt::Key_Escape);
    QCOMPARE(ending.count(), 2);
    QTest::mouseClick(form.SpeedButton8, Qt::LeftButton);
    QCOMPARE(ending.count(), 3);
    form.close();
    QCOMPARE(ending.count(), 4);
    // Esc that closes a menu closes only the menu.
    form.show();
    QMenu *menu = form.findChild<QMenu *>(QStringLiteral("Program1"));
    menu->popup(form.mapToGlobal(QPoint(0, 0)));
    QTRY_VERIFY(menu->isVisible());
    QTest::keyClick(menu, Qt::Key_Escape);
    QVERIFY(!menu->isVisible());
    QCOMPARE(ending.count(), 4);
}

void TestMainWindow::endingPostsOpenEditOrStaysOpen()
{
    ProgramFixture fx;
    insertContact(fx.table(), QStringLiteral("Alfa"));
    TForm1 &form = fx.form1();
    QSignalSpy ending(&form, &TForm1::endRequested);
    fx.table().edit();
    fx.table().setFieldText(QStringLiteral("Region"), QStringLiteral("mazowieckie"));
    // A post that fails (another user changed the record) keeps the program and the edit.
    ContactFixture::sqlite3Against(fx.databasePath(),
                                   QStringLiteral("UPDATE Kartax2000 SET Tel = '1'"));
    {
        InstalledScriptedDialogs dialogs;
        dialogs->queue(DialogButton::Ok);
        QVERIFY(!form.endProgram());
        QCOMPARE(dialogs->texts().size(), 1);
    }
    QCOMPARE(ending.count(), 0);
    QCOMPARE(fx.table().fieldText(QStringLiteral("Region")), QStringLiteral("mazowieckie"));
    // Ended by a signal, as at logout: the edit made again is posted.
    fx.table().cancel();
    fx.table().edit();
    fx.table().setFieldText(QStringLiteral("Region"), QStringLiteral("mazowieckie"));
    fx.program().watchTerminationSignals();
    ::raise(SIGTERM);
    QTRY_COMPARE(ending.count(), 1);
    QCOMPARE(ContactFixture::sqlite3Against(fx.databasePath(),
                                            QStringLiteral("SELECT Region, Tel FROM Kartax2000")),
             QStringLiteral("mazowieckie|1\n"));
}

void TestMainWindow::dialSettingReadOnceAtCreation()
{
    {
        SettingsStore settings;
        QVERIFY(settings.openKey(QStringLiteral("\\Kax"), true));
        settings.writeString(QStringLiteral("Tel"), QStringLiteral("5"));
    }
    ProgramFixture fx;
    QCOMPARE(fx.form1().Edit1->text(), QStringLiteral("5"));
    {
        SettingsStore settings;
        QVERIFY(settings.openKey(QStringLiteral("\\Kax"), true));
        settings.writeString(QStringLiteral("tel"), QStringLiteral("2"));
    }
    QCOMPARE(fx.form1().Edit1->text(), QStringLiteral("5"));
    QFile::remove(SettingsStore::defaultPath());
}

void TestMainWindow::missingSettingLeavesEdit1Empty()
{
    QFile::remove(SettingsStore::defaultPath());
    {
        ProgramFixture fx;
        QCOMPARE(fx.form1().Edit1->text(), QString());
        QVERIFY(!fx.form1().Edit1->isVisibleTo(&fx.form1()));
    }
    // A value of another type is reported and counts as missing.
    {
        QSettings raw(SettingsStore::defaultPath(), QSettings::IniFormat);
        raw.setValue(QStringLiteral("Kax/Tel"), QByteArray("\x04", 1));
    }
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Ok);
    ProgramFixture fx;
    QCOMPARE(fx.form1().Edit1->text(), QString());
    // Reported once, by the main window, although the dialling settings read it too.
    QCOMPARE(dialogs->texts(), QStringList({QStringLiteral("Invalid data type for 'tel'")}));
    QFile::remove(SettingsStore::defaultPath());
}

void TestMainWindow::dateAndClock()
{
    QDateTime now(QDate(2026, 3, 9), QTime(7, 5, 3));
    Clock::setSource([&now] { return now; });
    ProgramFixture fx;
    TForm1 &form = fx.form1();
    const QString date = form.Label16->text();
    QVERIFY(date.contains(QStringLiteral("09")) && date.contains(QStringLiteral("2026")));
    QCOMPARE(form.Label17->text(), QStringLiteral("07:05:03"));
    now = QDateTime(QDate(2026, 3, 10), QTime(0, 0, 1));
    QTest::mouseClick(form.Label17, Qt::LeftButton);
    QCOMPARE(form.Label17->text(), QStringLiteral("00:00:01"));
    QCOMPARE(form.Label16->text(), date); // the date is set only at creation
    QCOMPARE(form.Timer1->interval(), 1000);
    QVERIFY(form.Timer1->isActive());
    // In the regional settings: Polish names, and the time separator of the region.
    const QLocale polish(QLocale::Polish, QLocale::Poland);
    QCOMPARE(DateText::longDate(QDate(2026, 3, 9), polish),
             QStringLiteral("poniedziałek 09 marzec 2026"));
    QCOMPARE(DateText::clock(QTime(7, 5, 3), polish), QStringLiteral("07:05:03"));
    QCOMPARE(DateText::clock(QTime(7, 5, 3), QLocale(QLocale::Finnish, QLocale::Finland)),
             QStringLiteral("07.05.03"));
}

void TestMainWindow::exactCaptions()
{
    ProgramFixture fx;
    TForm1 &form = fx.form1();
    QCOMPARE(form.windowTitle(), QStringLiteral("Kartax2000®"));
    QCOMPARE(form.clientArea()->size(), QSize(586, 365));
    QCOMPARE(form.tel1->text(), QStringLiteral("  Połącz         "));
    QCOMPARE(form.SpeedButton2->text(), QStringLiteral("  E-mail          "));
    QCOMPARE(form.SpeedButton3->text(), QStringLiteral(" Internet      "));
    QCOMPARE(form.SpeedButton4->text(), QStringLiteral(" Ulubione       "));
    QCOMPARE(form.p->text(), QStringLiteral("Przedstaw.    "));
    QCOMPARE(form.SpeedButton8->text(), QStringLiteral(" &Zamknij        "));
    QCOMPARE(form.s->text(), QStringLiteral("Zamknij wyszukiwanie"));
    QCOMPARE(form.Label4->text(), QStringLiteral("Nazwa:"));
    // Picture-only navigator buttons are named by their hints.
    QCOMPARE(form.DBNavigator1->button(DBNavigator::Next)->accessibleName(),
             QStringLiteral("następny"));
    // No caption is clipped, across or down; the date, the clock and the search row
    // stand inside the card's frame.
    for (QLabel *label : form.findChildren<QLabel *>()) {
        if (!label->isVisibleTo(&form) || label->text().isEmpty() || qobject_cast<DBText *>(label))
            continue;
        if (label->wordWrap()) // wrapped across its width: all its lines fit down
            QVERIFY2(label->height() >= label->heightForWidth(label->width()),
                     qPrintable(label->text()));
        else
            QVERIFY2(label->width() >= label->sizeHint().width() &&
                         label->height() >= label->fontMetrics().height(),
                     qPrintable(label->text()));
    }
    for (QToolButton *button : form.findChildren<QToolButton *>()) {
        if (!button->text().isEmpty())
            QVERIFY2(button->width() >= button->sizeHint().width() &&
                         button->height() >= button->fontMetrics().height() + 4,
                     qPrintable(button->text()));
    }
    const QFrame *card = form.findChild<QFrame *>(QStringLiteral("Panel2"));
    for (const QWidget *row : std::initializer_list<QWidget *>{form.Label16, form.Label17, form.s,
                                                               form.n1, form.b1, form.p1})
        QVERIFY2(card->contentsRect().contains(row->geometry()), qPrintable(row->objectName()));
    QVERIFY(form.n1->height() >= form.n1->minimumSizeHint().height());
}

void TestMainWindow::assistiveTechnologyReadsEveryControl()
{
    ProgramFixture fx;
    insertContact(fx.table(), QStringLiteral("Łódzka Spółdzielnia"), QStringLiteral("Meble"),
                  QStringLiteral("Jan"),
                  {"Polska", "Łódź", "90-001", "Długa 1", "łódzkie", "42 111", "42 112", "a@b.pl",
                   "www.b.pl"});
    TForm1 &form = fx.form1();
    form.show();
    const auto read = [](QWidget *widget) { return QAccessible::queryAccessibleInterface(widget); };
    // Each value is read as its text, labelled by its caption.
    const QList<std::tuple<const char *, const char *, const char *>> card{
        {"DBText1", "Łódzka Spółdzielnia", "Nazwa:"},
        {"DBText2", "Meble", "Branża"},
        {"DBText3", "Jan", "Przedstawiciel"},
        {"DBText4", "Polska", "Kraj"},
        {"DBText5", "Łódź", "Miejscowość"},
        {"DBText6", "90-001", "Kod"},
        {"DBText9", "Długa 1", "Ulica"},
        {"DBText10", "łódzkie", "Region"},
        {"DBText8", "42 111", "Telefon"},
        {"DBText7", "42 112", "Telefax"},
        {"DBText11", "a@b.pl", "e-mail"},
        {"DBText12", "www.b.pl", "http://"}};
    for (const auto &[name, value, caption] : card) {
        QAccessibleInterface *text = read(form.findChild<QWidget *>(QLatin1String(name)));
        QCOMPARE(text->text(QAccessible::Name), QString::fromUtf8(value));
        QCOMPARE(text->role(), QAccessible::StaticText);
        const auto labels = text->relations(QAccessible::Label);
        QCOMPARE(labels.size(), 1);
        QCOMPARE(labels[0].first->text(QAccessible::Name), QString::fromUtf8(caption));
    }
    QCOMPARE(read(form.Label17)->text(QAccessible::Name), form.Label17->text()); // the clock
    // Every control a user can reach has a name.
    for (QWidget *widget : form.findChildren<QWidget *>()) {
        QAccessibleInterface *control = read(widget);
        const QAccessible::Role role = control->role();
        if (widget->isVisibleTo(&form) &&
            (role == QAccessible::Button || role == QAccessible::EditableText ||
             role == QAccessible::StaticText))
            QVERIFY2(!control->text(QAccessible::Name).isEmpty(), qPrintable(widget->objectName()));
    }
    QCOMPARE(read(form.n1)->text(QAccessible::Name), QStringLiteral("Szukaj nazwą"));
    QCOMPARE(read(form.tel1)->role(), QAccessible::Button);
}

void TestMainWindow::syncPanelAndConflictsFromMenu()
{
    ProgramFixture fx;
    insertContact(fx.table(), QStringLiteral("Alfa"));
    fx.table().first();
    const ContactRecord record = ContactRecord::fromTable(fx.table());
    SyncConflicts conflicts(fx.table().database(), fx.table().tableName());
    conflicts.ensure();
    conflicts.add(fx.table().recordId(), QStringLiteral("uid-1"), record, record);
    CardDavSettings settings;
    settings.url = QStringLiteral("https://dav.example.org/");
    settings.user = QStringLiteral("jan");
    SettingsStore store;
    settings.save(store);
    TForm1 &form = fx.form1();
    const int height = form.height();
    fx.program().syncRunner()->reloadSettings();
    fx.program().syncRunner()->countConflicts();
    QVERIFY(!form.StatusBar1->isHidden());
    QVERIFY(form.height() > height); // the bar below the card, which keeps its size
    QCOMPARE(form.clientArea()->size(), QSize(586, 365));
    QVERIFY(form.KonfliktySynchronizacji1->isEnabled());
    form.KonfliktySynchronizacji1->trigger();
    QVERIFY(fx.program().syncConflictWindow()->isVisible());
    QCOMPARE(fx.program().syncConflictWindow()->lstKopie->count(), 1);
}

void TestMainWindow::importUndoneAndContactBroughtBackFromMenu()
{
    ProgramFixture fx;
    const QDateTime at(QDate(2026, 12, 10), QTime(8, 15));
    Clock::setSource([at] { return at; });
    const auto restoreClock = qScopeGuard([] { Clock::setSource({}); });
    TForm1 &form = fx.form1();
    QMenu *menu = nullptr;
    for (QObject *owner : form.CofnijImport1->associatedObjects())
        menu = menu ? menu : qobject_cast<QMenu *>(owner);
    QVERIFY(menu);
    emit menu->aboutToShow();
    QVERIFY(!form.CofnijImport1->isEnabled()); // nothing imported yet
    const QString path = fx.folder() + QStringLiteral("/nowe.vcf");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("BEGIN:VCARD\nFN:Alfa\nEND:VCARD\nBEGIN:VCARD\nFN:Beta\nEND:VCARD\n");
    file.close();
    QVERIFY(ContactImport::importFile(fx.table(), path, {}).ok);
    emit menu->aboutToShow();
    QVERIFY(form.CofnijImport1->isEnabled());

    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Yes);
    dialogs->queue(DialogButton::Ok);
    form.CofnijImport1->trigger();
    QCOMPARE(dialogs->texts(),
             QStringList({QStringLiteral("Cofnąć import z 10.12.2026 08:15 z pliku %1?\n\nDodane "
                                         "kontakty (2) zostaną usunięte (pozostaną wśród "
                                         "usuniętych kontaktów), a w uzupełnionych kontaktach "
                                         "(0) wrócą poprzednie dane.")
                              .arg(path),
                          QStringLiteral("Cofnięto import: usunięto 2, przywrócono 0.")}));
    QVERIFY(fx.table().isEmpty());

    // Both come back from the window; the card shows the first chosen.
    form.UsunieteKontakty1->trigger();
    TDeletedContactsWindow *window = fx.program().deletedContactsWindow();
    QVERIFY(window->isVisible());
    window->grdUsuniete->selectAll();
    window->btnPrzywroc->click();
    window->btnZamknij->click();
    QVERIFY(!window->isVisible());
    QCOMPARE(fx.table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("Beta"));
    QCOMPARE(walkForward(fx.table()), QStringList({"Alfa", "Beta"}));
}

void TestMainWindow::dailyCopyInTheBackgroundAndOneWarning()
{
    ProgramFixture fx;
    InstalledScriptedDialogs dialogs;
    BackupKeeper &keeper = *fx.program().backupKeeper();
    QSignalSpy finished(&keeper, &BackupKeeper::finished);
    fx.program().startBackups();
    QTRY_COMPARE(finished.size(), 1);
    fx.program().startBackups(); // one copy a day
    QCOMPARE(BookBackup::list(fx.folder() + QStringLiteral("/Kopie")).size(), 1);

    BookBackup::setFolder(QStringLiteral("/dev/null/Kopie")); // no folder can be made there
    dialogs->queue(DialogButton::Ok);
    fx.program().startBackups();
    QTRY_COMPARE(finished.size(), 2);
    keeper.copyNow();
    QTRY_COMPARE(finished.size(), 3);
    BookBackup::setFolder(QString());
    QCOMPARE(dialogs->texts(),
             QStringList{"Nie udało się zrobić kopii zapasowej książki adresowej.\nNie można "
                         "utworzyć folderu kopii zapasowych /dev/null/Kopie.\n\nMożesz dalej "
                         "pracować; program spróbuje ponownie przy następnym uruchomieniu."});
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
