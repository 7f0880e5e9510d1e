#include "dial/dial_settings_window.h"
#include "platform/errors.h"
#include "platform/settings_store.h"
#include "support/fake_restart.h"
#include "support/scripted_dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

void storeRaw(const QString &value)
{
    QSettings ini(SettingsStore::defaultPath(), QSettings::IniFormat);
    ini.setValue(QStringLiteral("Kax/Tel"), value);
}

QString storedTel()
{
    SettingsStore store;
    if (!store.openKey(QStringLiteral("Kax"), false))
        return QStringLiteral("(no key)");
    return store.readString(QStringLiteral("Tel"));
}

QString panelText(const TForm4 &form, int panel)
{
    const auto *label = form.findChild<QLabel *>(QStringLiteral("p1Panel%1").arg(panel));
    return label ? label->text() : QStringLiteral("(no panel)");
}

} // namespace

// The dialling settings window: what it shows of the stored setting, what its
// buttons store, and the restart button.
class TestDialSettings final : public QObject
{
    Q_OBJECT

private slots:
    void realDialogOpensCentredOnTheScreen();
    void initTestCase();
    void init();
    void windowLayout();
    void statusShowsStoredSetting_data();
    void statusShowsStoredSetting();
    void valueOfAnotherTypeCountsAsMissing();
    void buttonsStoreTheirDigit_data();
    void buttonsStoreTheirDigit();
    void failedWriteIsRaised();
    void restartAsksTheSystem();
    void restartRefusalCarriesTheReason();
    void restartIsRefusedUnlessInstalled();
};

void TestDialSettings::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("KARTAX_TEST_SCRATCH"),
             "run through run_test.sh: this test writes the settings file");
}

void TestDialSettings::init()
{
    QFile::remove(SettingsStore::defaultPath());
}

void TestDialSettings::windowLayout()
{
    InstalledScriptedDialogs dialogs;
    TForm4 form;
    QCOMPARE(form.objectName(), QStringLiteral("Form4"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Ustawienia telefoniczne modemu"));
    QCOMPARE(form.size(), QSize(369, 237));
    QCOMPARE(form.helpContext(), 8);
    QVERIFY(!form.windowIcon().isNull());

    const QStringList captions = {"COM 1  PULSE", "COM 2  PULSE", "COM 3  PULSE", "COM 4  PULSE",
                                  "COM 1  TONE",  "COM 2  TONE",  "COM 3  TONE",  "COM 4  TONE"};
    for (int i = 0; i < 8; ++i) {
        auto *button = form.findChild<QToolButton *>(QStringLiteral("SpeedButton%1").arg(i + 1));
        QVERIFY(button);
        QCOMPARE(button->text(), captions[i]);
        QCOMPARE(button->geometry(), QRect(i < 4 ? 24 : 224, 32 + (i % 4) * 32, 121, 25));
        QCOMPARE(button->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(button->autoRaise());
        // The pulse column shows its image right of the caption, the tone column left.
        QCOMPARE(button->layoutDirection(), i < 4 ? Qt::RightToLeft : Qt::LeftToRight);
    }
    auto *restart = form.findChild<QToolButton *>(QStringLiteral("SpeedButton9"));
    QVERIFY(restart);
    QCOMPARE(restart->text(), QStringLiteral("   &Restart"));
    QCOMPARE(restart->geometry(), QRect(136, 192, 97, 22)); // below the desktop telephone
    auto *telephone = form.findChild<QToolButton *>(QStringLiteral("SpeedButton10"));
    QCOMPARE(telephone->text(), QStringLiteral("Telefon systemowy (tel:)"));
    QCOMPARE(telephone->geometry(), QRect(24, 160, 321, 25));

    auto *p1 = form.findChild<QStatusBar *>(QStringLiteral("p1"));
    QVERIFY(p1);
    QCOMPARE(p1->geometry().bottom(), 236);
    QCOMPARE(panelText(form, 1), QStringLiteral("Ustawienie portu"));
    auto *edit = form.findChild<QLineEdit *>(QStringLiteral("Edit1"));
    QVERIFY(edit && edit->isHidden());
}

void TestDialSettings::statusShowsStoredSetting_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("status");
    QTest::newRow("0") << "0"
                       << "Ustawienie COM 1 / PULSE ";
    QTest::newRow("1") << "1"
                       << "Ustawienie COM 2 / PULSE";
    QTest::newRow("2") << "2"
                       << "Ustawienie COM 3 / PULSE";
    QTest::newRow("3") << "3"
                       << "Ustawienie COM 4 / PULSE";
    QTest::newRow("4") << "4"
                       << "Ustawienie COM 1 / TONE";
    QTest::newRow("5") << "5"
                       << "Ustawienie COM 2 / TONE";
    QTest::newRow("6") << "6"
                       << "Ustawienie COM 3 / TONE";
    QTest::newRow("7") << "7"
                       << "Ustawienie COM 4 / TONE";
    QTest::newRow("8") << "8"
                       << "Telefon systemowy (tel:)";
    QTest::newRow("9") << "9"
                       << "";
    QTest::newRow("04") << "04"
                        << "";
    QTest::newRow("leading space") << " 4"
                                   << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("no value") << QString() << "";
}

void TestDialSettings::statusShowsStoredSetting()
{
    QFETCH(QString, stored);
    QFETCH(QString, status);
    if (!stored.isNull())
        storeRaw(stored);
    InstalledScriptedDialogs dialogs;
    TForm4 form;
    QCOMPARE(panelText(form, 0), status);
    QCOMPARE(form.findChild<QLineEdit *>(QStringLiteral("Edit1"))->text(),
             stored.isNull() ? QString() : stored);
    QCOMPARE(dialogs->requests().size(), 0);
}

void TestDialSettings::valueOfAnotherTypeCountsAsMissing()
{
    {
        QSettings ini(SettingsStore::defaultPath(), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Kax/Tel"), QByteArray("\x04\x00", 2));
    }
    InstalledScriptedDialogs dialogs; // the main window reports it, not this one
    TForm4 form;
    QCOMPARE(dialogs->requests().size(), 0);
    QCOMPARE(form.findChild<QLineEdit *>(QStringLiteral("Edit1"))->text(), QString());
    QCOMPARE(panelText(form, 0), QString());
}

void TestDialSettings::buttonsStoreTheirDigit_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("digit");
    for (int i = 1; i <= 8; ++i)
        QTest::addRow("SpeedButton%d", i) << i << QString::number(i - 1);
    QTest::addRow("SpeedButton10, desktop telephone") << 10 << QStringLiteral("8");
}

void TestDialSettings::buttonsStoreTheirDigit()
{
    QFETCH(int, button);
    QFETCH(QString, digit);
    storeRaw(QStringLiteral("2"));
    InstalledScriptedDialogs dialogs;
    TForm4 form;
    QStringList announced;
    connect(&form, &TForm4::settingStored, [&announced](const QString &s) { announced << s; });
    form.show();
    const auto checked = [&form] {
        QStringList names;
        for (const QToolButton *b : form.findChildren<QToolButton *>())
            if (b->isChecked())
                names << b->objectName();
        return names;
    };
    QCOMPARE(checked(), QStringList{QStringLiteral("SpeedButton3")});
    const QString name = QStringLiteral("SpeedButton%1").arg(button);
    // Clicked twice: a second click leaves the choice as it is.
    for (int click = 0; click < 2; ++click) {
        QTest::mouseClick(form.findChild<QToolButton *>(name), Qt::LeftButton);
        QCOMPARE(storedTel(), digit);
        // The new setting shows at once, and is announced for the calls.
        QCOMPARE(panelText(form, 0), TForm4::statusText(digit));
        QCOMPARE(checked(), QStringList{name});
        QCOMPARE(form.setting(), digit);
    }
    QCOMPARE(announced, QStringList(2, digit));
    TForm4 next;
    QCOMPARE(panelText(next, 0), TForm4::statusText(digit));
    QCOMPARE(dialogs->requests().size(), 0);
}

void TestDialSettings::failedWriteIsRaised()
{
    // A folder in the settings file's place: the store cannot be written.
    QVERIFY(QDir().mkpath(SettingsStore::defaultPath()));
    InstalledScriptedDialogs dialogs;
    TForm4 form;
    try {
        form.SpeedButton5Click();
        QFAIL("a failed write must raise");
    } catch (const SettingsError &error) {
        QCOMPARE(error.message(), QStringLiteral("Failed to set data for 'Tel'"));
    }
    QCOMPARE(form.setting(), QString()); // nothing chosen, nothing checked
    QVERIFY(!form.findChild<QToolButton *>(QStringLiteral("SpeedButton5"))->isChecked());
    QVERIFY(QDir().rmdir(SettingsStore::defaultPath()));
}

void TestDialSettings::restartAsksTheSystem()
{
    InstalledScriptedDialogs dialogs;
    FakeRestart restart;
    TForm4 form;
    form.show();
    QTest::mouseClick(form.findChild<QToolButton *>(QStringLiteral("SpeedButton9")),
                      Qt::LeftButton);
    QCOMPARE(restart.requests, 1);
    QCOMPARE(dialogs->requests().size(), 0);
}

void TestDialSettings::restartRefusalCarriesTheReason()
{
    InstalledScriptedDialogs dialogs;
    FakeRestart restart;
    restart.refusal = QStringLiteral("Interactive authentication required.");
    TForm4 form;
    try {
        form.SpeedButton9Click();
        QFAIL("a refused restart must raise");
    } catch (const KaxError &error) {
        QCOMPARE(error.message(), restart.refusal);
    }
    QCOMPARE(restart.requests, 1);
}

void TestDialSettings::restartIsRefusedUnlessInstalled()
{
    // Without an installed restart no request ever reaches the system.
    QVERIFY(!dynamic_cast<LogindRestart *>(&Restart::current()));
    InstalledScriptedDialogs dialogs;
    TForm4 form;
    QVERIFY_THROWS_EXCEPTION(KaxError, form.SpeedButton9Click());
}

// The dialler's message dialogs: the real box opens centred on the screen.
void TestDialSettings::realDialogOpensCentredOnTheScreen()
{
    Dialogs::install(nullptr); // the real message box, over a window in a corner
    QWidget window;
    window.setGeometry(0, 0, 200, 100);
    window.show();
    QApplication::setActiveWindow(&window);
    QPoint centre;
    QTimer::singleShot(50, [&centre] {
        if (QWidget *box = QApplication::activeModalWidget()) {
            centre = box->frameGeometry().center();
            box->close();
        }
    });
    showMessage(DialogKind::Error, QStringLiteral("Error"), QStringLiteral("Port COM1"));
    const QPoint screen = window.screen()->availableGeometry().center();
    QVERIFY2((centre - screen).manhattanLength() <= 8, // a window frame at most
             qPrintable(QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y())));
}

QTEST_MAIN(TestDialSettings)
#include "tst_dial_settings.moc"
