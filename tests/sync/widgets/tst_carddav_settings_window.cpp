#include "platform/settings_store.h"
#include "support/memory_password_store.h"
#include "support/scripted_dialogs.h"
#include "support/typing.h"
#include "sync/sync_settings.h"
#include "sync/widgets/carddav_settings_window.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kBook = QStringLiteral("https://dav.example.pl/ewa/firma/");

// The window over a settings file of its own, a keyring in memory and a discovery that
// answers when the test says so and remembers what it was asked.
struct Setup
{
    QTemporaryDir dir;
    QString iniPath = dir.filePath(QStringLiteral("k.ini"));
    SettingsStore store{iniPath};
    MemoryPasswordStore keyring;
    QStringList asked; // url, user, password
    TCardDavWindow::Found answer;
    TCardDavWindow window{store, keyring,
                          [this](const QUrl &url, const QString &user, const QString &password,
                                 TCardDavWindow::Found done) {
                              asked = {url.toString(), user, password};
                              answer = std::move(done);
                          }};

    Setup()
    {
        window.load();
        window.show();
    }
};

} // namespace

// The CardDAV settings window: discovery, the password into the keyring, OK and Escape.
class TestCardDavWindow : public QObject
{
    Q_OBJECT

private slots:
    void foundBookIsStoredWithPasswordInKeyring();
    void discoveryFailureIsShown_data();
    void discoveryFailureIsShown();
    void escapeAndKeyringFailureStoreNothing();
};

void TestCardDavWindow::foundBookIsStoredWithPasswordInKeyring()
{
    Setup s;
    QTest::keyClicks(s.window.edtUrl, QStringLiteral("dav.example.pl"));
    QTest::keyClicks(s.window.edtUser, QStringLiteral("ewa"));
    typeText(s.window.edtHaslo, QStringLiteral("tajne-Zażółć"));
    QTest::mouseClick(s.window.btnZnajdz, Qt::LeftButton);
    QCOMPARE(s.window.lblStan->text(), QStringLiteral("Szukam…"));
    QVERIFY(!s.window.btnZnajdz->isEnabled());
    QCOMPARE(s.asked, (QStringList{"https://dav.example.pl", "ewa", "tajne-Zażółć"}));
    s.answer({{QUrl(QStringLiteral("https://dav.example.pl/ewa/prywatne/")), "Prywatne"},
              {QUrl(kBook), QStringLiteral("Firma")}},
             {});
    QVERIFY(s.window.btnZnajdz->isEnabled());
    QCOMPARE(s.window.cbKsiazka->count(), 3);
    QCOMPARE(s.window.cbKsiazka->itemText(2), QStringLiteral("Firma"));
    s.window.cbKsiazka->setCurrentIndex(2);
    s.window.edtInterwal->setValue(30);
    QTest::keyClick(s.window.edtUser, Qt::Key_Return); // Enter is OK
    QVERIFY(!s.window.isVisible());
    QCOMPARE(s.window.lastAnswer(), int(TCardDavWindow::Accepted));

    const CardDavSettings saved = CardDavSettings::load(s.store);
    QCOMPARE(saved.url, QStringLiteral("https://dav.example.pl"));
    QCOMPARE(saved.addressBook, kBook);
    QCOMPARE(saved.interval, 30);
    QCOMPARE(s.keyring.entries(), (QMap<QString, QString>{{"CardDAV ewa@dav.example.pl",
                                                           QStringLiteral("tajne-Zażółć")}}));
    QFile ini(s.iniPath);
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    QVERIFY(text.contains("firma") && !text.contains("tajne"));

    // Opened again: the password stays in the keyring, shown only as kept for its user.
    s.window.load();
    QCOMPARE(s.window.edtHaslo->text(), QString());
    QCOMPARE(s.window.edtHaslo->placeholderText(), QStringLiteral("••••"));
    QCOMPARE(s.window.cbKsiazka->currentData().toString(), kBook);
    s.window.edtUser->setText(QStringLiteral("jan"));
    QCOMPARE(s.window.edtHaslo->placeholderText(), QString());
}

void TestCardDavWindow::discoveryFailureIsShown_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("shown");
    QTest::newRow("certificate") << int(DavError::Certificate)
                                 << QStringLiteral("Certyfikat serwera dav.example.pl odrzucony: "
                                                   "certyfikat wygasł.");
    QTest::newRow("no books") << int(DavError::None)
                              << QStringLiteral("Na serwerze nie ma książek adresowych.");
}

void TestCardDavWindow::discoveryFailureIsShown()
{
    QFETCH(int, kind);
    QFETCH(QString, shown);
    Setup s;
    s.window.edtUrl->setText(QStringLiteral("https://dav.example.pl/"));
    s.window.btnZnajdzClick();
    // Without a user nothing is asked of the keyring.
    QCOMPARE(s.asked, (QStringList{"https://dav.example.pl/", "", ""}));
    s.answer({}, {DavError::Kind(kind), 0, kind ? shown : QString()});
    QCOMPARE(s.window.lblStan->text(), shown);
    QCOMPARE(s.window.cbKsiazka->count(), 1);
}

void TestCardDavWindow::escapeAndKeyringFailureStoreNothing()
{
    InstalledScriptedDialogs dialogs;
    Setup s;
    s.window.edtUrl->setText(QStringLiteral("/dav/"));
    s.window.edtUser->setText(QStringLiteral("ewa"));
    s.window.edtHaslo->setText(QStringLiteral("tajne"));
    dialogs->queue(DialogButton::Ok);
    QTest::mouseClick(s.window.btnOK, Qt::LeftButton);
    s.window.edtUrl->setText(QStringLiteral("https://dav.example.pl/"));
    s.keyring.setReachable(false);
    dialogs->queue(DialogButton::Ok);
    QTest::mouseClick(s.window.btnOK, Qt::LeftButton);
    QCOMPARE(dialogs->texts().size(), 2);
    QCOMPARE(dialogs->texts()[0],
             QStringLiteral("Adres serwera „/dav/” nie jest adresem http:// ani https://."));
    QCOMPARE(dialogs->requests()[1].kind, DialogKind::Error);
    QVERIFY(dialogs->texts()[1].contains("Pęk kluczy pulpitu jest niedostępny"));
    QVERIFY(s.window.isVisible());

    QTest::keyClick(&s.window, Qt::Key_Escape);
    QVERIFY(!s.window.isVisible());
    QCOMPARE(s.window.lastAnswer(), int(TCardDavWindow::Cancelled));
    QVERIFY(!QFile::exists(s.iniPath));
    QVERIFY(s.keyring.entries().isEmpty());
}

QTEST_MAIN(TestCardDavWindow)
#include "tst_carddav_settings_window.moc"
