#include "forms/form.h"
#include "info/help_system.h"
#include "info/help_viewer.h"
#include "info_fakes.h"
#include "platform/data_folder.h"
#include "support/scripted_dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

// The program's help: finding the help file, showing topics and the finder, and
// F1 in every window.
class TestHelpSystem final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void findsTheHelpFileIgnoringCase();
    void showsATopicByContextNumber_data();
    void showsATopicByContextNumber();
    void reportsAMissingHelpFile();
    void reportsADamagedHelpFile_data();
    void reportsADamagedHelpFile();
    void reportsAContextWithoutATopic();
    void f1OpensTheTopicOfTheWindow();
    void f1ElsewhereIsLeftAlone();
    void finderOffersContentsIndexAndSearch();
    void linksLeadBetweenTopics();

private:
    void writeHelpFile(const QString &name, const QByteArray &data);
    QTemporaryDir m_data;
};

namespace {

const QList<int> windowContexts{1, 2, 3, 5, 6, 7, 8, 9, 16, 17};

// A control that records the keys that reach it.
class KeyRecorder final : public QLineEdit
{
public:
    using QLineEdit::QLineEdit;
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        keys.append(event->key());
        QLineEdit::keyPressEvent(event);
    }
};

HelpViewer &viewer()
{
    HelpViewer *viewer = HelpSystem::viewer();
    if (!viewer)
        qFatal("no help viewer");
    return *viewer;
}

} // namespace

void TestHelpSystem::initTestCase()
{
    QVERIFY(m_data.isValid());
    DataFolder::setOverride(m_data.path());
    HelpSystem::installF1Handler(*qobject_cast<QApplication *>(qApp));
    HelpSystem::installF1Handler(*qobject_cast<QApplication *>(qApp)); // once is enough
    QCOMPARE(qApp->findChildren<HelpKeyFilter *>().size(), 1);
}

void TestHelpSystem::init()
{
    HelpSystem::setHelpFile(QStringLiteral("Kartax.hlp"));
    QDir data(m_data.path());
    for (const QString &entry : data.entryList(QDir::Files))
        data.remove(entry);
    if (HelpSystem::viewer())
        HelpSystem::viewer()->hide();
}

void TestHelpSystem::writeHelpFile(const QString &name, const QByteArray &data)
{
    QFile file(QDir(m_data.path()).filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

void TestHelpSystem::findsTheHelpFileIgnoringCase()
{
    // Nothing beside the program: the copy built into it.
    QCOMPARE(HelpSystem::locateHelpFile(), QStringLiteral(":/help/Kartax.hlp"));
    HelpSystem::setHelpFile(QStringLiteral("Kartax.HLP"));
    QCOMPARE(HelpSystem::locateHelpFile(), QStringLiteral(":/help/Kartax.hlp"));

    // A help file in the data folder comes first, whatever the case of its name.
    writeHelpFile(QStringLiteral("kartax.hlp"), "KARTAX-HELP 1\n[topic 1]\ntitle: Własna\n");
    QCOMPARE(HelpSystem::locateHelpFile(), QDir(m_data.path()).filePath("kartax.hlp"));
    InstalledScriptedDialogs dialogs;
    QVERIFY(HelpSystem::showContext(1));
    QCOMPARE(viewer().currentTitle(), QStringLiteral("Własna"));

    HelpSystem::setHelpFile(QStringLiteral("Inny.hlp"));
    QCOMPARE(HelpSystem::locateHelpFile(), QString());
}

void TestHelpSystem::showsATopicByContextNumber_data()
{
    QTest::addColumn<int>("context");
    QTest::addColumn<QString>("title");
    QTest::newRow("main window") << 1 << "Okno główne – karta kontaktu";
    QTest::newRow("data entry") << 2 << "Wpisywanie danych";
    QTest::newRow("history") << 3 << "Historia";
    QTest::newRow("full record view") << 5 << "Pełne dane kontaktu";
    QTest::newRow("favourites") << 6 << "Ulubione – Serwis WWW";
    QTest::newRow("About") << 7 << "About – o programie";
    QTest::newRow("dialling settings") << 8 << "Ustawienia telefoniczne modemu";
    QTest::newRow("Information") << 9 << "Informacje";
    QTest::newRow("e-mail composer") << 16 << "Napisz list E-mail";
    QTest::newRow("signature") << 17 << "Podpis";
}

void TestHelpSystem::showsATopicByContextNumber()
{
    QFETCH(int, context);
    QFETCH(QString, title);
    InstalledScriptedDialogs dialogs;

    QVERIFY(HelpSystem::showContext(context));
    QVERIFY(viewer().isVisible());
    QCOMPARE(viewer().currentContext(), context);
    QCOMPARE(viewer().currentTitle(), title);
    // The contents point at the topic shown.
    auto *contents = viewer().findChild<QTreeWidget *>(QStringLiteral("contents"));
    QCOMPARE(contents->currentItem()->text(0), title);
    if (context == 7) {
        QVERIFY(QTest::qWaitForWindowExposed(&viewer()));
        saveScreenshot(&viewer(), QStringLiteral("HelpViewer-topic"));
    }
}

void TestHelpSystem::reportsAMissingHelpFile()
{
    HelpSystem::setHelpFile(QStringLiteral("Brak.hlp"));
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Ok);
    dialogs->queue(DialogButton::Ok);

    QVERIFY(!HelpSystem::showContext(1));
    QVERIFY(!HelpSystem::showFinder());
    QCOMPARE(dialogs->texts(),
             QStringList(2, QStringLiteral("Nie znaleziono pliku pomocy „Brak.hlp”.")));
    QCOMPARE(dialogs->requests().first().kind, DialogKind::Error);
    QCOMPARE(dialogs->requests().first().caption, QStringLiteral("Pomoc programu Kartax2000®"));
    QVERIFY(!HelpSystem::viewer() || !HelpSystem::viewer()->isVisible());
}

void TestHelpSystem::reportsADamagedHelpFile_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("reason");
    QTest::newRow("not a help file") << QByteArray("{\"topics\": []}") << "wiersz 1: brak nagłówka";
    QTest::newRow("bad topic") << QByteArray("KARTAX-HELP 1\n[topic x]\n")
                               << "wiersz 2: niepoprawny nagłówek tematu";
    QTest::newRow("cut short") << QByteArray("KARTAX-HELP 1\ntitle: Pomoc \xC4")
                               << "niepoprawne kodowanie znaków";
}

void TestHelpSystem::reportsADamagedHelpFile()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, reason);
    writeHelpFile(QStringLiteral("Kartax.hlp"), data);
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Ok);

    QVERIFY(!HelpSystem::showContext(1));
    QCOMPARE(dialogs->requests().size(), 1);
    const QString text = dialogs->requests().first().text;
    QVERIFY2(text.startsWith(
                 QStringLiteral("Nie można odczytać pliku pomocy „%1”:\n")
                     .arg(QDir::toNativeSeparators(QDir(m_data.path()).filePath("Kartax.hlp")))),
             qPrintable(text));
    QVERIFY2(text.contains(reason), qPrintable(text));
    // The damaged file is not passed over for the built-in copy.
    QVERIFY(!HelpSystem::viewer() || !HelpSystem::viewer()->isVisible());
}

void TestHelpSystem::reportsAContextWithoutATopic()
{
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Ok);
    QVERIFY(!HelpSystem::showContext(4));
    QCOMPARE(dialogs->texts(),
             QStringList{QStringLiteral("Plik pomocy „Kartax.hlp” nie zawiera tematu nr 4.")});
    QCOMPARE(dialogs->requests().first().kind, DialogKind::Warning);
}

void TestHelpSystem::f1OpensTheTopicOfTheWindow()
{
    InstalledScriptedDialogs dialogs;
    for (int context = 1; context <= 17; ++context) {
        KaxForm form(QStringLiteral("Form%1").arg(context), QStringLiteral("Okno"), QSize(200, 80),
                     context);
        auto *edit = new KeyRecorder(&form);
        form.showForm();
        edit->setFocus();
        if (HelpSystem::viewer())
            HelpSystem::viewer()->hide();
        const qsizetype before = dialogs->requests().size();
        if (!windowContexts.contains(context))
            dialogs->queue(DialogButton::Ok);

        QTest::keyClick(edit, Qt::Key_F1);

        QVERIFY2(!edit->keys.contains(Qt::Key_F1), "F1 went on to the control");
        if (windowContexts.contains(context)) {
            QCOMPARE(dialogs->requests().size(), before);
            QVERIFY(viewer().isVisible());
            QCOMPARE(viewer().currentContext(), context);
        } else {
            // A window without a topic of its own: the help says so.
            QCOMPARE(dialogs->requests().size(), before + 1);
            QVERIFY(dialogs->texts().last().endsWith(QStringLiteral("nr %1.").arg(context)));
        }
    }

    // A dialog opened over a window answers F1 with that window's topic.
    KaxForm owner(QStringLiteral("Form16"), QStringLiteral("Okno"), QSize(200, 80), 16);
    QDialog dialog(&owner);
    auto *edit = new KeyRecorder(&dialog);
    dialog.show();
    QTest::keyClick(edit, Qt::Key_F1);
    QCOMPARE(viewer().currentContext(), 16);
}

void TestHelpSystem::f1ElsewhereIsLeftAlone()
{
    InstalledScriptedDialogs dialogs;
    // Outside the program's windows F1 is an ordinary key.
    KeyRecorder loose;
    loose.show();
    QTest::keyClick(&loose, Qt::Key_F1);
    QCOMPARE(loose.keys, QList<int>{Qt::Key_F1});

    // F1 with a modifier is not the help key.
    KaxForm form(QStringLiteral("Form1"), QStringLiteral("Okno"), QSize(200, 80), 1);
    auto *edit = new KeyRecorder(&form);
    form.show();
    QTest::keyClick(edit, Qt::Key_F1, Qt::ShiftModifier);
    QVERIFY(edit->keys.contains(Qt::Key_F1));
    QVERIFY(!HelpSystem::viewer() || !HelpSystem::viewer()->isVisible());
    QVERIFY(dialogs->requests().isEmpty());
}

void TestHelpSystem::finderOffersContentsIndexAndSearch()
{
    InstalledScriptedDialogs dialogs;
    HelpSystem::setHelpFile(QStringLiteral("Kartax.HLP"));
    QVERIFY(HelpSystem::showContext(9));
    QVERIFY(HelpSystem::showFinder());
    HelpViewer &help = viewer();
    QVERIFY(help.isVisible());
    auto *finder = help.findChild<QTabWidget *>(QStringLiteral("finder"));
    auto *contents = help.findChild<QTreeWidget *>(QStringLiteral("contents"));
    QCOMPARE(finder->currentWidget(), contents);
    // The help opens at its first topic, whatever was shown before.
    QCOMPARE(help.currentContext(), help.helpDocument().topics.first().context);
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    saveScreenshot(&help, QStringLiteral("HelpViewer-finder"));
    // Inside the screen's free area (the test screen is 800 pixels wide); Esc closes it.
    QVERIFY(help.screen()->availableGeometry().contains(help.frameGeometry()));
    QTest::keyClick(contents, Qt::Key_Escape);
    QVERIFY(!help.isVisible());
    QVERIFY(HelpSystem::showFinder());

    // Contents: every topic once, under its chapter.
    int topics = 0;
    for (QTreeWidgetItemIterator it(contents); *it; ++it) {
        if ((*it)->data(0, Qt::UserRole).toInt() > 0)
            ++topics;
    }
    QCOMPARE(topics, help.helpDocument().topics.size());
    QVERIFY(contents->topLevelItemCount() < topics);
    QTest::mouseClick(contents->viewport(), Qt::LeftButton, {},
                      contents->visualItemRect(contents->topLevelItem(1)->child(0)).center());
    QCOMPARE(help.currentContext(), contents->topLevelItem(1)->child(0)->data(0, Qt::UserRole));

    // Index: typing selects the nearest keyword, Enter shows its topic.
    help.showIndex();
    auto *indexBox = help.findChild<QLineEdit *>(QStringLiteral("indexBox"));
    auto *indexList = help.findChild<QTreeWidget *>(QStringLiteral("indexList"));
    QTest::keyClicks(indexBox, QStringLiteral("mierni"));
    QCOMPARE(indexList->currentItem()->text(0), QStringLiteral("miernik pamięci"));
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    saveScreenshot(&help, QStringLiteral("HelpViewer-index"));
    QTest::keyClick(indexBox, Qt::Key_Return);
    QCOMPARE(help.currentContext(), 7);

    // Search: every word, diacritics or not.
    help.showSearch();
    auto *searchBox = help.findChild<QLineEdit *>(QStringLiteral("searchBox"));
    auto *results = help.findChild<QListWidget *>(QStringLiteral("searchResults"));
    QTest::keyClicks(searchBox, QStringLiteral("podpis listow"));
    QVERIFY(results->count() >= 2);
    QCOMPARE(results->item(0)->text(), QStringLiteral("Podpis"));
    saveScreenshot(&help, QStringLiteral("HelpViewer-search"));
    QTest::mouseClick(results->viewport(), Qt::LeftButton, {},
                      results->visualItemRect(results->item(0)).center());
    QCOMPARE(help.currentContext(), 17);
    searchBox->clear();
    QTest::keyClicks(searchBox, QStringLiteral("xyzzy"));
    QCOMPARE(results->count(), 0);

    help.showFinder();
    QCOMPARE(finder->currentWidget(), contents);
    QVERIFY(dialogs->requests().isEmpty());
}

void TestHelpSystem::linksLeadBetweenTopics()
{
    InstalledScriptedDialogs dialogs;
    QVERIFY(HelpSystem::showContext(1));
    HelpViewer &help = viewer();
    auto *browser = help.findChild<HelpTopicBrowser *>(QStringLiteral("topicView"));
    auto *back = help.findChild<QToolButton *>(QStringLiteral("backButton"));
    auto *forward = help.findChild<QToolButton *>(QStringLiteral("forwardButton"));

    emit browser->anchorClicked(QUrl(QStringLiteral("topic:16")));
    QCOMPARE(help.currentContext(), 16);
    // Addresses outside the help are not followed.
    emit browser->anchorClicked(QUrl(QStringLiteral("https://example.com/")));
    QCOMPARE(help.currentContext(), 16);

    QVERIFY(back->isEnabled());
    QTest::mouseClick(back, Qt::LeftButton);
    QCOMPARE(help.currentContext(), 1);
    QVERIFY(forward->isEnabled());
    QTest::mouseClick(forward, Qt::LeftButton);
    QCOMPARE(help.currentContext(), 16);
}

QTEST_MAIN(TestHelpSystem)
#include "tst_help_system.moc"
