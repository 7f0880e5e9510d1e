#include "messaging/favourites_window.h"
#include "platform/clock.h"
#include "platform/data_folder.h"
#include "platform/shell_open.h"
#include "support/kartax_test_main.h"
#include "support/recording_shell.h"
#include "support/scripted_dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

const QString suffix = QStringLiteral(" dnia 05 wtorek marzec 2024 godzina 14:05:09");

QStringList items(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

QStringList items(const QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

} // namespace

// The favourites window: the favourites file, the two lists, the connect and
// remove commands, the fixed web sites and their history lines.
class TestFavouritesWindow final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void noFileStartsEmptyAndUnchangedWritesNothing();
    void lineEndsOnReading_data();
    void lineEndsOnReading();
    void polishLettersKeepTheirEncoding();
    void typedAddressIsMirroredAddedOpenedAndLogged();
    void repeatedAddressStandsTwice();
    void removalReachesTheDropDownAtNextStart();
    void connectWithEmptyEntryOpensTheDropDownText();
    void fixedSitesOpenAndLogWithTwoSpaces();
    void viewsSwitchAndSurviveClosing();
    void statusTexts();
    void unreadableFileIsReportedAndKept();
    void failedSaveIsReported();
    void entryStaysOneLineAndAnotherCopysFileIsKept();
    void mergeKeepsBothCopiesChanges_data();
    void mergeKeepsBothCopiesChanges();

private:
    // Sets the entry as typing would, the drop-down mirroring it.
    static void enter(TForm2 *window, const QString &text)
    {
        window->findChild<QLineEdit *>("Edit1")->setText(text);
        window->findChild<QComboBox *>("c1")->setEditText(text);
    }
    std::unique_ptr<TForm2> create()
    {
        auto window = std::make_unique<TForm2>();
        window->setHistory([this](const QString &line) { m_history << line; });
        return window;
    }
    void writeFile(const QByteArray &bytes)
    {
        QFile file(m_dir->filePath(QStringLiteral("Ulubione.kax")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray readFile() const
    {
        QFile file(m_dir->filePath(QStringLiteral("Ulubione.kax")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordingShell> m_shell;
    QStringList m_history;
};

void TestFavouritesWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    DataFolder::setOverride(m_dir->path());
    Clock::setSource([] { return QDateTime(QDate(2024, 3, 5), QTime(14, 5, 9)); });
    m_shell = std::make_unique<RecordingShell>();
    m_history.clear();
}

void TestFavouritesWindow::cleanup()
{
    m_shell.reset();
    DataFolder::setOverride(QString());
    Clock::setSource({});
}

void TestFavouritesWindow::noFileStartsEmptyAndUnchangedWritesNothing()
{
    auto window = create();
    QCOMPARE(window->findChild<QListWidget *>("l1")->count(), 0);
    QCOMPARE(window->findChild<QComboBox *>("c1")->count(), 0);
    QVERIFY(window->saveAtExit());
    QCOMPARE(readFile(), QByteArray("<missing>"));
}

void TestFavouritesWindow::lineEndsOnReading_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("written");
    // Written with one address added.
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"}
                           << QByteArray("a\r\nb\r\nz\r\n");
    QTest::newRow("LF only") << QByteArray("a\nb\n\nc") << QStringList{"a", "b", "", "c"}
                             << QByteArray("a\r\nb\r\n\r\nc\r\nz\r\n");
    QTest::newRow("lone CR and mixed")
        << QByteArray("a\rb\r\nc\n\r") << QStringList{"a", "b", "c", ""}
        << QByteArray("a\r\nb\r\nc\r\n\r\nz\r\n");
    QTest::newRow("one empty line")
        << QByteArray("\r\n") << QStringList{""} << QByteArray("\r\nz\r\n");
}

void TestFavouritesWindow::lineEndsOnReading()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, written);
    writeFile(file);
    auto window = create();
    QCOMPARE(items(window->findChild<QListWidget *>("l1")), lines);
    auto *c1 = window->findChild<QComboBox *>("c1");
    QCOMPARE(items(c1), lines);
    QCOMPARE(c1->currentText(), QString());
    enter(window.get(), QStringLiteral("z"));
    window->SpeedButton13Click();
    QVERIFY(window->saveAtExit());
    QCOMPARE(readFile(), written);
}

void TestFavouritesWindow::polishLettersKeepTheirEncoding()
{
    writeFile(QByteArray("http://\xbf\xf3\xb3w.pl\r\n")); // "żółw" in Windows-1250
    auto window = create();
    QCOMPARE(items(window->findChild<QListWidget *>("l1")), QStringList{"http://żółw.pl"});
    enter(window.get(), QStringLiteral("ą.pl"));
    window->SpeedButton13Click();
    QVERIFY(window->saveAtExit());
    QCOMPARE(readFile(), QByteArray("http://\xbf\xf3\xb3w.pl\r\n\xb9.pl\r\n"));
}

void TestFavouritesWindow::typedAddressIsMirroredAddedOpenedAndLogged()
{
    auto window = create();
    auto *edit = window->findChild<QLineEdit *>("Edit1");
    auto *c1 = window->findChild<QComboBox *>("c1");
    QTest::keyClicks(edit, QStringLiteral("a"));
    QCOMPARE(c1->currentText(), QStringLiteral("a"));
    QTest::mouseClick(window->findChild<QToolButton *>("SpeedButton13"), Qt::LeftButton);
    QCOMPARE(items(window->findChild<QListWidget *>("l1")), QStringList{"a"});
    QCOMPARE(items(c1), QStringList{"a"});
    QCOMPARE(m_shell->urls, QStringList{"http://a"});
    QCOMPARE(m_history, QStringList{"a" + suffix});
    QCOMPARE(edit->text(), QString());
    QCOMPARE(c1->currentText(), QStringLiteral("a"));
}

void TestFavouritesWindow::repeatedAddressStandsTwice()
{
    auto window = create();
    auto *edit = window->findChild<QLineEdit *>("Edit1");
    for (int i = 0; i < 2; ++i) {
        QTest::keyClicks(edit, QStringLiteral("www.onet.pl"));
        window->SpeedButton13Click();
    }
    QCOMPARE(items(window->findChild<QComboBox *>("c1")), QStringList(2, "www.onet.pl"));
    QVERIFY(window->saveAtExit());
    QCOMPARE(readFile(), QByteArray("www.onet.pl\r\nwww.onet.pl\r\n"));
    QCOMPARE(m_shell->urls, QStringList(2, "http://www.onet.pl"));
}

void TestFavouritesWindow::removalReachesTheDropDownAtNextStart()
{
    writeFile("www.onet.pl\r\nwww.wp.pl\r\n");
    {
        auto window = create();
        window->SpeedButton12Click();
        auto *l1 = window->findChild<QListWidget *>("l1");
        window->SpeedButton1Click(); // nothing selected: nothing removed
        QCOMPARE(l1->count(), 2);
        l1->setCurrentRow(0);
        QTest::mouseClick(window->findChild<QToolButton *>("SpeedButton1"), Qt::LeftButton);
        QCOMPARE(items(l1), QStringList{"www.wp.pl"});
        QCOMPARE(items(window->findChild<QComboBox *>("c1")),
                 (QStringList{"www.onet.pl", "www.wp.pl"}));
        QCOMPARE(readFile(), QByteArray("www.onet.pl\r\nwww.wp.pl\r\n"));
        QVERIFY(window->saveAtExit());
    }
    auto restarted = create();
    QCOMPARE(items(restarted->findChild<QComboBox *>("c1")), QStringList{"www.wp.pl"});
}

void TestFavouritesWindow::connectWithEmptyEntryOpensTheDropDownText()
{
    writeFile("ftp://ftp.icm.edu.pl\r\n");
    auto window = create();
    auto *c1 = window->findChild<QComboBox *>("c1");
    c1->setCurrentIndex(0);
    window->SpeedButton13Click();
    QCOMPARE(m_shell->urls, QStringList{"ftp://ftp.icm.edu.pl"});
    QCOMPARE(m_history, QStringList{suffix});
    QCOMPARE(items(window->findChild<QListWidget *>("l1")),
             (QStringList{"ftp://ftp.icm.edu.pl", ""}));
    QCOMPARE(c1->currentText(), QStringLiteral("ftp://ftp.icm.edu.pl"));
}

void TestFavouritesWindow::fixedSitesOpenAndLogWithTwoSpaces()
{
    auto window = create();
    const QList<TForm2::FixedSite> &sites = TForm2::fixedSites();
    QCOMPARE(sites.size(), 9);
    for (const TForm2::FixedSite &site : sites) {
        m_shell->urls.clear();
        m_history.clear();
        auto *button = window->findChild<QToolButton *>(QString::fromLatin1(site.name));
        QVERIFY2(button, site.name);
        QCOMPARE(button->text(), site.caption);
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(site.address.startsWith(QStringLiteral("https://")));
        QCOMPARE(m_shell->urls, QStringList{site.address});
        QCOMPARE(m_history, QStringList{site.logged + " " + suffix});
    }
    QCOMPARE(sites.last().logged, QStringLiteral("www.wp.pl"));
    // Captions, compared with the window's own texts.
    QCOMPARE(window->windowTitle(), QStringLiteral("Ulubione- Serwis WWW"));
    const QList<std::pair<const char *, const char *>> captions{
        {"Label1", "Wybierz ulubiony adres internetowy"},
        {"Label2", "Wpisz adres który zostanie dodany do "},
        {"Label3", "listy ulubionych w chwili połączenia"},
        {"SpeedButton1", "Usuń z listy"},
        {"SpeedButton3", "&Zamknij"},
        {"SpeedButton13", "Połącz"},
        {"Label4", "Kartax2000®"},
        {"SpeedButton7", "Strona WWW autora"},
        {"SpeedButton6", "BSC Polska"},
        {"SpeedButton10", "Chip Magazyn Komputerowy"},
        {"SpeedButton4", "ENTER Magazyn Komputerowy"},
        {"SpeedButton8", "//WWW.Magazyn Internetowy"},
        {"SpeedButton15", "PC WORLD KOMPUTER"},
        {"SpeedButton5", "ALTAVISTA POLSKA"},
        {"SpeedButton2", "Wirtualna Polska"},
        {"SpeedButton14", "Historia"},
        {"SpeedButton12", "&Edytuj"},
        {"SpeedButton11", "&Zamknij"}};
    for (const auto &[name, caption] : captions) {
        const QObject *control = window->findChild<QObject *>(QLatin1String(name));
        QCOMPARE(control->property("text").toString(), QString::fromUtf8(caption));
    }
    QVERIFY(window->findChild<QToolButton *>("SpeedButton9")->text().startsWith("Serwis "));
}

void TestFavouritesWindow::viewsSwitchAndSurviveClosing()
{
    auto window = create();
    window->show();
    auto *panel = window->findChild<QWidget *>("Panel1");
    auto *l1 = window->findChild<QListWidget *>("l1");
    QVERIFY(panel->isVisible() && !l1->isVisible());
    QTest::mouseClick(window->findChild<QToolButton *>("SpeedButton12"), Qt::LeftButton);
    QVERIFY(!panel->isVisible() && l1->isVisible());
    QTest::mouseClick(window->findChild<QToolButton *>("SpeedButton11"), Qt::LeftButton);
    QVERIFY(!window->isVisible());
    window->showForm();
    QVERIFY(!panel->isVisible() && l1->isVisible());
    QTest::mouseClick(window->findChild<QToolButton *>("SpeedButton3"), Qt::LeftButton);
    QVERIFY(panel->isVisible() && !l1->isVisible());
    int shown = 0;
    window->setShowHistory([&shown] { ++shown; });
    QTest::mouseClick(window->findChild<QToolButton *>("SpeedButton14"), Qt::LeftButton);
    QCOMPARE(shown, 1);
}

void TestFavouritesWindow::statusTexts()
{
    auto window = create();
    const auto hover = [&window](const char *name) {
        auto *control = window->findChild<QWidget *>(QString::fromLatin1(name));
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(control, &enter);
        return window->statusText();
    };
    const QList<std::pair<const char *, const char *>> texts{
        {"SpeedButton7", "Strona autora programu"},
        {"MonthCalendar1", "Strona autora programu"}, // stays as it was
        {"SpeedButton10", "Chip magazyn komputerowy"},
        {"SpeedButton4", "Enter Magazyn komputerowy"},
        {"SpeedButton8", "//WWW. Magazyn Internetowy"},
        {"SpeedButton15", "PC WORLD KOMPUTER Magazyn Komputerowy"},
        {"SpeedButton9", "Bezpłatne kont i strony WWW. Idealny serwis"},
        {"SpeedButton5", "Altavista Polska"},
        {"SpeedButton2", "Wirtualna Polska"},
        {"SpeedButton13", "Dokonuje polączenia z wybranym adresem internetowym z listy"},
        {"SpeedButton11", "Zamyka panel ulubionych stron WWW"},
        {"SpeedButton1", "Usuwa zaznaczony adres"},
        {"SpeedButton3", "Zamyka widok listy"},
        {"l1", "Zaznacz na liście i usuń adres"},
        {"Edit1", "Wpisz adres z który chcesz się połączyć"},
        {"Label4", ""},
        {"SpeedButton9", "Bezpłatne kont i strony WWW. Idealny serwis"},
        {"p1", ""}};
    for (const auto &[name, text] : texts)
        QCOMPARE(hover(name), QString::fromUtf8(text));
    QVERIFY(hover("SpeedButton6").contains(QStringLiteral("BSC Polska")));
}

void TestFavouritesWindow::unreadableFileIsReportedAndKept()
{
    // A folder in the file's place cannot be read as a file.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("Ulubione.kax")));
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Ok);
    auto window = create();
    QCOMPARE(dialogs->requests().size(), 1);
    QVERIFY(dialogs->requests().first().text.contains(QStringLiteral("Ulubione.kax")));
    QVERIFY(!window->loadError().isEmpty());
    QVERIFY(!window->saveAtExit());
    QVERIFY(QFileInfo(m_dir->filePath(QStringLiteral("Ulubione.kax"))).isDir());
}

void TestFavouritesWindow::failedSaveIsReported()
{
    DataFolder::setOverride(m_dir->filePath(QStringLiteral("missing/folder")));
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Ok);
    auto window = create();
    enter(window.get(), QStringLiteral("www.onet.pl"));
    window->SpeedButton13Click();
    QVERIFY(!window->saveAtExit());
    QCOMPARE(dialogs->requests().size(), 1);
    QCOMPARE(dialogs->requests().first().kind, DialogKind::Error);
}

void TestFavouritesWindow::entryStaysOneLineAndAnotherCopysFileIsKept()
{
    writeFile("www.onet.pl\r\n");
    auto window = create();
    auto other = create(); // a second copy that only opens and closes
    enter(window.get(), QStringLiteral("www.a.pl"));
    window->findChild<QLineEdit *>("Edit1")->setText(QStringLiteral("www.a.pl\nwww.b.pl\u2028"));
    window->SpeedButton13Click();
    QVERIFY(other->saveAtExit());
    QCOMPARE(readFile(), QByteArray("www.onet.pl\r\n"));
    writeFile("www.onet.pl\r\ninny.pl\r\n"); // a third one added an address meanwhile
    QVERIFY(window->saveAtExit());
    QCOMPARE(readFile(), QByteArray("www.onet.pl\r\ninny.pl\r\nwww.a.pl www.b.pl \r\n"));
    QCOMPARE(items(window->findChild<QListWidget *>("l1")),
             (QStringList{"www.onet.pl", "inny.pl", "www.a.pl www.b.pl "}));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList({"Ulubione.kax"}));
}

void TestFavouritesWindow::mergeKeepsBothCopiesChanges_data()
{
    QTest::addColumn<QStringList>("base");
    QTest::addColumn<QStringList>("ours");
    QTest::addColumn<QStringList>("theirs");
    QTest::addColumn<QStringList>("merged");
    QTest::newRow("both added") << QStringList{"a"} << QStringList{"a", "b"}
                                << QStringList{"a", "c"} << QStringList{"a", "c", "b"};
    QTest::newRow("removed here, added there")
        << QStringList{"a", "b"} << QStringList{"b"} << QStringList{"a", "b", "c"}
        << QStringList{"b", "c"};
    QTest::newRow("removed in both")
        << QStringList{"a", "b"} << QStringList{"b"} << QStringList{"b"} << QStringList{"b"};
    QTest::newRow("one of two copies removed")
        << QStringList{"a", "a"} << QStringList{"a"} << QStringList{"a", "a", "c"}
        << QStringList{"a", "c"};
    QTest::newRow("added twice here")
        << QStringList{"a"} << QStringList{"a", "b", "a"} << QStringList{} << QStringList{"b", "a"};
}

void TestFavouritesWindow::mergeKeepsBothCopiesChanges()
{
    QFETCH(QStringList, base);
    QFETCH(QStringList, ours);
    QFETCH(QStringList, theirs);
    QFETCH(QStringList, merged);
    QCOMPARE(TForm2::mergeLists(base, ours, theirs), merged);
}

KARTAX_POLISH_TEST_MAIN(TestFavouritesWindow)

#include "tst_favourites_window.moc"
