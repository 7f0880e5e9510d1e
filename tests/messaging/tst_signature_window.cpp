#include "exchange/countries.h"
#include "messaging/signature_window.h"
#include "platform/settings_store.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <QToolButton>

namespace {

// The names and values under Kax\Podpis as stored.
QMap<QString, QString> storedSignature()
{
    QSettings settings(SettingsStore::defaultPath(), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Kax/Podpis"));
    QMap<QString, QString> values;
    const QStringList names = settings.childKeys();
    for (const QString &name : names)
        values.insert(name, settings.value(name).toString());
    return values;
}

} // namespace

// The signature window: its eight lines load from and save to Kax\Podpis, and
// its country list.
class TestSignatureWindow final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void freshProfileSavesEightValues();
    void loadsAtCreationWithoutCase();
    void saveReplacesNamesWrittenInAnotherCase();
    void valueOfAnotherTypeLoadsAsEmpty();
    void unsavedChangesLastUntilRestart();
    void countryList();
};

void TestSignatureWindow::init()
{
    QSettings settings(SettingsStore::defaultPath(), QSettings::IniFormat);
    settings.clear();
}

void TestSignatureWindow::freshProfileSavesEightValues()
{
    TForm17 window;
    QCOMPARE(window.signatureLines(), QStringList(8, QString()));
    QVERIFY(window.loadProblems().isEmpty());
    QTest::mouseClick(window.findChild<QToolButton *>("SpeedButton2"), Qt::LeftButton);
    QMap<QString, QString> expected;
    for (int line = 1; line <= 8; ++line)
        expected.insert(QStringLiteral("nazwa%1").arg(line), QString());
    QCOMPARE(storedSignature(), expected);
}

void TestSignatureWindow::loadsAtCreationWithoutCase()
{
    {
        QSettings settings(SettingsStore::defaultPath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("kax/PODPIS/Nazwa1"), QStringLiteral("Jan Kowalski"));
        settings.setValue(QStringLiteral("kax/PODPIS/NAZWA5"), QStringLiteral("ul. Długa 1"));
        settings.setValue(QStringLiteral("kax/PODPIS/nazwa8"), QStringLiteral("Atlantyda"));
    }
    TForm17 window;
    QCOMPARE(window.signatureLines(),
             (QStringList{"Jan Kowalski", "", "", "", "ul. Długa 1", "", "", "Atlantyda"}));
}

void TestSignatureWindow::saveReplacesNamesWrittenInAnotherCase()
{
    {
        QSettings settings(SettingsStore::defaultPath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Kax/Podpis/Nazwa3"), QStringLiteral("stary"));
    }
    TForm17 window;
    QCOMPARE(window.signatureLines().at(2), QStringLiteral("stary"));
    window.findChild<QLineEdit *>("Edit3")->setText(QStringLiteral("nowy"));
    window.findChild<QComboBox *>("Edit8")->setEditText(QStringLiteral("Księstwo Mazowieckie"));
    window.SpeedButton2Click();
    const QMap<QString, QString> stored = storedSignature();
    QCOMPARE(stored.size(), 8);
    QCOMPARE(stored.value(QStringLiteral("Nazwa3")), QStringLiteral("nowy"));
    QVERIFY(!stored.contains(QStringLiteral("nazwa3")));
    QCOMPARE(stored.value(QStringLiteral("nazwa8")), QStringLiteral("Księstwo Mazowieckie"));
}

void TestSignatureWindow::valueOfAnotherTypeLoadsAsEmpty()
{
    {
        QSettings settings(SettingsStore::defaultPath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Kax/Podpis/Nazwa1"), QStringLiteral("Jan"));
        settings.setValue(QStringLiteral("Kax/Podpis/Nazwa2"), QByteArray("\x01\x02", 2));
        settings.setValue(QStringLiteral("Kax/Podpis/Nazwa3"), QStringLiteral("Anna"));
    }
    TForm17 window;
    QCOMPARE(window.signatureLines().mid(0, 3), (QStringList{"Jan", "", "Anna"}));
    QCOMPARE(window.loadProblems().size(), 1);
    QVERIFY(window.loadProblems().first().contains(QStringLiteral("Nazwa2")));
    window.SpeedButton2Click();
    SettingsStore store;
    QVERIFY(store.openKey(QStringLiteral("Kax\\Podpis"), false));
    QCOMPARE(store.readString(QStringLiteral("Nazwa2")), QString());
}

void TestSignatureWindow::unsavedChangesLastUntilRestart()
{
    {
        TForm17 window;
        window.findChild<QLineEdit *>("Edit1")->setText(QStringLiteral("zapisane"));
        window.SpeedButton2Click();
        window.show();
        window.findChild<QLineEdit *>("Edit1")->setText(QStringLiteral("niezapisane"));
        window.SpeedButton1Click();
        QVERIFY(!window.isVisible());
        QCOMPARE(window.signatureLines().first(), QStringLiteral("niezapisane"));
    }
    TForm17 restarted;
    QCOMPARE(restarted.signatureLines().first(), QStringLiteral("zapisane"));
}

void TestSignatureWindow::countryList()
{
    // clang-format off
    const QStringList expected{
        "POLSKA-POLAND", "Afganistan", "Albania", "Algieria", "Andora", "Anglia", "Angola",
        "Antigua i Barbuda", "Arabia Saudyjska", "Argentyna", "Armenia", "Australia", "Austria",
        "Azerbejdżan", "Bahamy", "Bahrajn", "Bangladesz", "Barabados", "Belgia", "Belize", "Benin",
        "Bhutan", "Birma", "Boliwia", "Bostwana", "Bostwana", "Bośnia", "Brazylia", "Brunei",
        "Bułgaria", "Burkina", "Burundi", "Chile", "Chiny", "Chorwacja", "Cypr", "Czad",
        "Dominikana", "Dominikana", "Dżibuti", "Egipty", "Ekwador", "Erytrea", "Estonia",
        "Etiopia", "Filipiny", "Finlandia", "Francja", "Gabon", "Gambia", "Ghana", "Grecja",
        "Grenada", "Grenlandia", "Gruzja", "Gujana", "Gujana Franc", "Gwatamela", "Gwinea",
        "Gwinea Równikowa", "Gwinew Bissau", "Haiti", "Hercegowina", "Holandia", "Honduras",
        "Indie", "Indonezja", "Irak", "Iran", "Irlandia", "Islandia", "Izrael", "Jamajka",
        "Japonia", "Jemen", "Jordania", "Jugosławia", "Kamerun", "Kanada", "Kanbodża", "Katar",
        "Kazachstan", "Kenia", "Kirgistan", "Kolumbia", "Kongo", "Korea Południowa",
        "Korea Północna", "Kostaryka", "Kuba", "Kuwejt", "Laos", "Lesotho", "Liban", "Libia",
        "Lichtenstein", "Litwa", "Luxemburg", "Macedonia", "Madagaskar", "Malawi", "Mali", "Malta",
        "Maroko", "Mauretania", "Meksyk", "Modawia", "Monako", "Mongolia", "Mozambik", "Nanubia",
        "Nepal", "Niemcy", "Niger", "Nikaragua", "Nmalezja", "Norwegia", "Nowa Zelandia", "Oman",
        "Pakistan", "Panama", "Papua Nowa Gwinea", "Paragwaj", "Peru", "Polska", "Portugalia",
        "Rep.Czeska", "Rep.Poud. Afryki", "Rosja", "Rumunia", "Sahara Zachodnia", "Salwador",
        "San Marino", "Senegal", "Sierra Leone", "Singapur", "Słowacja", "Słowenia", "Somalia",
        "Sri Lanka ", "Suazi", "Sudan", "Surinam", "Syria", "Szkocja", "Szwajcaria", "Szwecja",
        "Tadżykistan", "Tajlandia", "Tanzania", "Togo", "Tunezja", "Turcja", "Turkmenstan",
        "Uganda", "Ukraina", "Urugwaj", "USA", "Uzbekistan", "Watykan", "Wenezuela", "Węgry",
        "Wietnam", "Włochy", "Wyb. Kości Słońowej", "Zair", "Zambia", "Zjed.Emir.Arab"};
    // clang-format on
    const QStringList list = Countries::signatureList();
    QCOMPARE(list, expected);
    const QStringList entry = Countries::entryList();
    QCOMPARE(entry.first(), QStringLiteral("Polska"));
    QCOMPARE(entry.mid(1), expected.mid(1));

    TForm17 window;
    const auto *combo = window.findChild<QComboBox *>("Edit8");
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    QCOMPARE(items, expected);
    QVERIFY(combo->isEditable());
    QCOMPARE(combo->currentText(), QString());
    // Captions stand at x 32 and end, whole, before the fields at x 120.
    const auto captions = window.findChildren<QLabel *>(QRegularExpression("^Label[1-8]$"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Podpis"));
    QStringList texts;
    for (const QLabel *label : captions)
        texts << label->text();
    texts.sort();
    QCOMPARE(texts, QStringList({"Adres", "Adres E-mail", "Adres Http://", "Branża", "Kraj",
                                 "Miasto", "Nazwa", "Przedstawiciel"}));
    for (const QLabel *label : captions) {
        QCOMPARE(label->x(), 32);
        QVERIFY2(label->x() + label->fontMetrics().horizontalAdvance(label->text()) < 120 &&
                     label->width() >= label->fontMetrics().horizontalAdvance(label->text()),
                 qPrintable(label->text()));
    }
}

QTEST_MAIN(TestSignatureWindow)
#include "tst_signature_window.moc"
