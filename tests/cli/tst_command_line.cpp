#include "cli/command_line.h"
#include "platform/data_folder.h"
#include "platform/settings_store.h"
#include "store/data_module.h"
#include "store/table.h"
#include "support/contact_fixture.h"
#include "support/dav_test_server.h"
#include "sync/sync_settings.h"
#include "sync/sync_state.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

// The command-line modes: export, import and the mail clients' query.
class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void commandLineExport_data();
    void commandLineExport();
    void commandLineQuery_data();
    void commandLineQuery();
    void commandLineSync();
};

void TestCommandLine::commandLineExport_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    QTest::newRow("vCard") << QStringList{"--export", "DIR/k.vcf"} << 0
                           << "Liczba zapisanych kontaktów: 0. Plik: ";
    QTest::newRow("format given") << QStringList{"--format", "CSV", "--export", "DIR/k"} << 0
                                  << "Liczba zapisanych kontaktów: 0.";
    QTest::newRow("vCard 3.0 into a folder") << QStringList{"--format", "vcf3", "--export", "DIR/"}
                                             << 0 << "Liczba zapisanych kontaktów: 0. Folder: ";
    QTest::newRow("a device") << QStringList{"--export", "/dev/null", "--format", "csv"} << 0
                              << "Liczba zapisanych kontaktów: 0. Plik: /dev/null";
    QTest::newRow("unknown extension")
        << QStringList{"--export", "DIR/k.txt"} << 2 << "Format pliku";
    QTest::newRow("no file") << QStringList{"--export"} << 2 << "Brak wartości po --export.";
    QTest::newRow("import") << QStringList{"--import", "DIR/in.vcf", "--duplicates", "ADD"} << 0
                            << "Dodano 1, zaktualizowano 0, pominięto 0";
    QTest::newRow("import, CSV with columns kept")
        << QStringList{"--import", "DIR/in.csv"} << 0
        << "Dodano 1, zaktualizowano 0, pominięto 0\n"
           "Kolumny zachowane jako inne dane: NIP, Kolor\n";
    QTest::newRow("import, missing file")
        << QStringList{"--import", "DIR/brak.vcf"} << 1 << "Nie można odczytać pliku";
    QTest::newRow("import, a device")
        << QStringList{"--import", "/dev/zero"} << 1
        << "Nie można odczytać pliku /dev/zero: to nie jest zwykły plik, lecz potok lub urządzenie";
    QTest::newRow("import, a card as a database")
        << QStringList{"--import", "DIR/in.vcf", "--format", "db"} << 1
        << "To nie jest baza danych Kartax2000: ";
    QTest::newRow("import, bad choice")
        << QStringList{"--import", "DIR/in.vcf", "--duplicates", "tak"} << 2 << "Nieznany wybór";
    QTest::newRow("two modes")
        << QStringList{"--import", "DIR/in.vcf", "--export", "DIR/k.vcf"} << 2
        << "Podaj jedno z: --import, --export, --query, --sync, --backup, --restore.";
    QTest::newRow("backup without a book")
        << QStringList{"--backup", "DIR/kopia.db"} << 1 << "Nie można zapisać kopii zapasowej ";
    QTest::newRow("sync, not set")
        << QStringList{"--sync", "--tak"} << 1
        << "Synchronizacja CardDAV nie jest ustawiona (Ustawienia → Synchronizacja CardDAV).\n";
    QTest::newRow("restore from a card") << QStringList{"--restore", "DIR/in.vcf", "--yes"} << 1
                                         << "Nie można przywrócić książki z kopii. Plik ";
    QTest::newRow("restore without a file")
        << QStringList{"--restore"} << 2 << "Brak wartości po --restore.";
    QTest::newRow("sync with a value") << QStringList{"--sync", "x"} << 2 << "Nieznany argument: x";
    QTest::newRow("help") << QStringList{"--export", "DIR/k.vcf", "--help"} << 0
                          << "Użycie: kartax2000 [PLIK]\n";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "kartax2000 (Kartax2000) 5.1.0\n";
    QTest::newRow("unknown argument")
        << QStringList{"--export", "DIR/k.vcf", "-x"} << 2 << "Nieznany argument: -x";
}

void TestCommandLine::commandLineExport()
{
    QFETCH(QStringList, arguments);
    QTemporaryDir dir;
    DataFolder::setOverride(dir.path()); // the address book a first run creates there
    arguments.replaceInStrings(QStringLiteral("DIR/"), dir.path() + QLatin1Char('/'));
    arguments.prepend(QStringLiteral("kartax2000"));
    QFile card(dir.filePath(QStringLiteral("in.vcf")));
    QVERIFY(card.open(QIODevice::WriteOnly) && card.write("BEGIN:VCARD\nFN:A\nEND:VCARD\n") > 0);
    card.close();
    QFile sheet(dir.filePath(QStringLiteral("in.csv")));
    QVERIFY(sheet.open(QIODevice::WriteOnly) &&
            sheet.write("Firma;Tel.;Waga;NIP;Kolor\nA;1;;2;zielony\n") > 0);
    sheet.close();
    QVERIFY(CommandLine::requested(arguments));
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    QTEST(CommandLine::run(arguments, outStream, errStream), "status");
    QFETCH(QString, said);
    QVERIFY2((out + err).startsWith(said), qPrintable(out + err));
    DataFolder::setOverride(QString());
    QVERIFY(QFileInfo::exists(QStringLiteral("/dev/null")) &&
            !QFileInfo(QStringLiteral("/dev/null")).isFile());
    QVERIFY(!CommandLine::requested({QStringLiteral("kartax2000")}));
    QCOMPARE(CommandLine::fileToOpen({"kartax2000", "a b.vcf"}), QStringLiteral("a b.vcf"));
    QCOMPARE(CommandLine::fileToOpen({"kartax2000", "-x"}), QString());
}

void TestCommandLine::commandLineQuery_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    const QString hurt = QStringLiteral("Kartax2000: 1 kontakt\n"
                                        "biuro@hurt.pl\tJan Kos\tŁódź Hurt\n"
                                        "szef@hurt.pl\tJan Kos\tŁódź Hurt\n");
    const QString office = QStringLiteral("biuro@br.pl\tBiuro Rachunkowe\tKraków\n"
                                          "ewa@poczta.pl\tEwa Lis\tBiuro Rachunkowe\n"
                                          "kadry@br.pl\tBiuro Rachunkowe\tKraków\n");
    QTest::newRow("without Polish letters") << QStringList{"--query", "lodz"} << 0 << hurt;
    QTest::newRow("representative") << QStringList{"--query", "KOS"} << 0 << hurt;
    QTest::newRow("e-mail") << QStringList{"--query", "@"} << 0
                            << QString(hurt).replace(QStringLiteral("1 kontakt"),
                                                     QStringLiteral("3 kontakty")) +
                                   QStringLiteral("zolc@x.pl\tŻółć\tGdańsk\n") + office;
    QTest::newRow("a further e-mail")
        << QStringList{"--query", "poczta"} << 0 << "Kartax2000: 1 kontakt\n" + office;
    QTest::newRow("no address") << QStringList{"--query", "lodka"} << 1
                                << "Kartax2000: 0 kontaktów\n";
    QTest::newRow("town not searched")
        << QStringList{"--query", "gdansk"} << 1 << "Kartax2000: 0 kontaktów\n";
    QTest::newRow("no text") << QStringList{"--query"} << 2 << "Brak wartości po --query.";
    QStringList words;
    for (int i = 0; i < 65; ++i)
        words << QString::number(i);
    QTest::newRow("too many words")
        << QStringList{"--query", words.join(u' ')} << 1
        << "Kartax2000: Szukany tekst ma za dużo różnych słów (65). Wyszukiwanie przyjmuje ich "
           "najwyżej 64 naraz; skróć tekst.\n";
}

void TestCommandLine::commandLineQuery()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, said);
    ContactFixture fx;
    fx.add(QStringLiteral("Łódź Hurt"), QString(), QStringLiteral("Jan Kos"),
           {"PL", "Łódź", "", "", "", "", "", "biuro@hurt.pl; szef@hurt.pl"});
    fx.add(QStringLiteral("Łódka"), QString(), QString(), {"PL", "Łódź"});
    fx.add(QStringLiteral("Żółć"), QString(), QString(),
           {"", "Gdańsk", "", "", "", "", "", "zolc@x.pl"});
    fx.add(QStringLiteral("Biuro Rachunkowe"), QString(), QString(),
           {"PL", "Kraków", "", "", "", "", "", "biuro@br.pl"});
    fx.table().edit();
    fx.table().setDetails(
        {{ContactDetail::Email, QString(), "Ewa Lis", "ewa@poczta.pl"},
         {ContactDetail::Email, QString(), QString(), "kadry@br.pl; BIURO@br.pl"}});
    fx.table().post();
    DataFolder::setOverride(fx.folder());
    arguments.prepend(QStringLiteral("kartax2000"));
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    QCOMPARE(CommandLine::run(arguments, outStream, errStream), status);
    DataFolder::setOverride(QString());
    if (status == 2)
        QVERIFY2(err.startsWith(said), qPrintable(err));
    else
        QCOMPARE(out, said);
}

// --sync with the book set in the program: a first sync only with --tak, never two at once.
void TestCommandLine::commandLineSync()
{
    DavTestServer server(DavTestServer::Xandikos);
    if (!server.available())
        QSKIP(qPrintable(server.unavailableReason()));
    QVERIFY2(server.start(), qPrintable(server.error()));
    QTemporaryDir dir;
    DataFolder::setOverride(dir.path());
    CardDavSettings settings;
    settings.url = server.addressBookUrl().toString();
    settings.user = server.user();
    settings.passwordCommand = QStringLiteral("echo ") + server.password();
    SettingsStore store;
    settings.save(store);
    const auto run = [](const QStringList &arguments, QString *said) {
        QString out;
        QTextStream outStream(&out);
        QTextStream errStream(&out);
        const int status =
            CommandLine::run(QStringList{"kartax2000"} + arguments, outStream, errStream);
        *said = out;
        return status;
    };
    QString said;
    QCOMPARE(run({"--sync"}, &said), 1);
    QVERIFY2(said.startsWith("Pierwsza synchronizacja") && said.endsWith("opcją --tak.\n"),
             qPrintable(said));
    QCOMPARE(run({"--tak", "--sync"}, &said), 0);
    QCOMPARE(said, QStringLiteral("Pierwsza synchronizacja z tą książką adresową.\n"
                                  "Wizytówki na serwerze: 0, kontakty w programie: 0, te same po "
                                  "obu stronach: 0.\n"
                                  "Do wysłania na serwer: 0, do pobrania z serwera: 0.\n"
                                  "Do usunięcia w programie: 0, na serwerze: 0.\n"
                                  "wysłano 0, pobrano 0, usunięto 0, konflikty 0\n"));
    {
        TDM9 other; // another copy of the program, which holds the lock
        SyncState state(other.t1->database(), other.t1->tableName());
        QVERIFY(state.tryLock(QStringLiteral("inna")));
        QCOMPARE(run({"--sync"}, &said), 1);
        QCOMPARE(said, QStringLiteral("Inna kopia programu synchronizuje tę książkę.\n"));
        state.unlock(QStringLiteral("inna"));
    }
    QCOMPARE(run({"--sync"}, &said), 0);
    DataFolder::setOverride(QString());
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
