#include "app/main_window.h"
#include "app/program.h"
#include "exchange/widgets/duplicate_window.h"
#include "exchange/widgets/import_mapping_window.h"
#include "store/book_backup.h"
#include "store/table.h"
#include "support/contact_fixture.h"
#include "support/kartax_test_main.h"
#include "support/program_fixture.h"
#include "support/report_fakes.h"
#include "support/scripted_dialogs.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

using ContactImport::Choice;

// The import's windows: the CSV column mapping, the duplicate question, and the
// runs of import and export from the Program menu.
class TestImportWindows : public QObject
{
    Q_OBJECT

private slots:
    void mappingShowsGuessAndTakesChanges();
    void duplicateQuestionGivesTheChoice();
    void menuImportReportsAndShowsFirstContact();
    void aFailedCopyAsksFirst_data();
    void aFailedCopyAsksFirst();
    void menuExportReportsTheFile_data();
    void menuExportReportsTheFile();
    // Last: the program it runs is ended.
    void signalToEndStopsTheImport();
};

void TestImportWindows::mappingShowsGuessAndTakesChanges()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("k.csv")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("First Name,Last Name,Kolor,E-mail 1 - Value\n"
               "Jan,Ż\xc3\xb3\xc5\x82w,czerwony,jan@example.pl\n");
    file.close();
    TImportMapping window;
    QString error;
    QVERIFY(window.load(file.fileName(), &error));
    QCOMPARE(window.encoding(), CsvEncoding::Utf8);
    QCOMPARE(window.Separator->text(), QStringLiteral("przecinek"));
    const auto fields = [&window] {
        QVector<int> fields;
        for (const CsvColumn &column : window.mapping())
            fields << column.field;
        return fields;
    };
    QCOMPARE(fields(), (QVector<int>{2, 2, -1, ContactRecord::Email}));
    // A column nothing matches is kept under its header unless skipped.
    QCOMPARE(window.mapping()[2], CsvColumn::keptAs(QStringLiteral("Kolor")));
    const auto kolor = [&window] {
        return qobject_cast<QComboBox *>(window.Preview->cellWidget(0, 2));
    };
    QCOMPARE(kolor()->currentText(), QStringLiteral("(zachowaj jako inne)"));
    QVERIFY(kolor()->findText(QStringLiteral("(pomiń)")) >= 0);
    QCOMPARE(window.Preview->item(1, 1)->text(), QStringLiteral("Żółw"));

    // Another encoding re-reads the rows and keeps the fields chosen.
    window.setColumnField(1, ContactRecord::Uwagi);
    window.setEncoding(CsvEncoding::Windows1250);
    QCOMPARE(fields(), (QVector<int>{2, ContactRecord::Uwagi, -1, ContactRecord::Email}));
    QCOMPARE(kolor()->currentText(), QStringLiteral("(zachowaj jako inne)"));
    window.setColumnField(0, -1);
    window.setColumnField(1, -1);
    window.setColumnField(3, -1);
    QVERIFY(!window.ImportButton->isEnabled()); // a kept column alone gives no contact
    QCOMPARE(window.Preview->item(1, 1)->text(), QStringLiteral("Ĺ»ĂłĹ‚w"));
    QVERIFY(!window.load(dir.filePath(QStringLiteral("brak.csv")), &error));
    QVERIFY(error.contains(QStringLiteral("brak.csv")));
}

void TestImportWindows::duplicateQuestionGivesTheChoice()
{
    TDuplicateQuestion window;
    ContactImport::Duplicate duplicate;
    duplicate.incoming[ContactRecord::Nazwa] = QStringLiteral("Łódzka");
    duplicate.incoming[ContactRecord::Email] = QStringLiteral("a@b.pl");
    duplicate.stored[ContactRecord::Nazwa] = QStringLiteral("ŁÓDZKA");
    duplicate.reason = QStringLiteral("ta sama nazwa");
    window.show(duplicate);
    QVERIFY(window.Reason->text().contains(QStringLiteral("„Łódzka”")));
    QVERIFY(window.Compare->item(ContactRecord::Email, 0)->font().bold()); // would be filled
    QVERIFY(!window.Compare->item(ContactRecord::Nazwa, 0)->font().bold());
    window.ForAllBox->setChecked(true);
    window.UpdateButton->click();
    QCOMPARE(window.decision().choice, Choice::UpdateEmpty);
    QVERIFY(window.decision().forAllTheRest);
    QTest::keyClick(&window, Qt::Key_Escape);
    QCOMPARE(window.decision().choice, Choice::Skip);
}

void TestImportWindows::menuImportReportsAndShowsFirstContact()
{
    ProgramFixture fx;
    const QString path = fx.folder() + QStringLiteral("/k.vcf");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("BEGIN:VCARD\nFN:Zenit\nEND:VCARD\nBEGIN:VCARD\nFN:Alfa\nEND:VCARD\n"
               "BEGIN:VCARD\nFN:zenit\nTEL:1\nEND:VCARD\n");
    file.close();
    ReportFakeFileDialogs files;
    files.openAnswers << path;
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Ok);
    // The third card matches the first: the question waits for its answer.
    QTimer answering;
    QObject::connect(&answering, &QTimer::timeout, [] {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (auto *question = qobject_cast<TDuplicateQuestion *>(window);
                question && question->isVisible())
                question->AddButton->click();
        }
    });
    answering.start(10);
    fx.form1().Import1->trigger();
    QCOMPARE(files.requests.constFirst().filter,
             QStringLiteral("Kontakty: vCard, CSV lub baza Kartax2000 (*.vcf *.vcard *.csv "
                            "*.db);;Baza Kartax2000 (*.db)"));
    QCOMPARE(dialogs->texts(), QStringList{"Dodano 3, zaktualizowano 0, pominięto 0."});
    QCOMPARE(fx.table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("Zenit"));
    QCOMPARE(BookBackup::list(fx.folder() + QStringLiteral("/Kopie")).size(), 1); // made first
}

void TestImportWindows::aFailedCopyAsksFirst_data()
{
    QTest::addColumn<DialogButton>("answer");
    QTest::addColumn<qint64>("contacts");
    QTest::newRow("go on") << DialogButton::Yes << qint64(1);
    QTest::newRow("stop") << DialogButton::No << qint64(0);
}

void TestImportWindows::aFailedCopyAsksFirst()
{
    QFETCH(DialogButton, answer);
    ProgramFixture fx;
    const QString path = fx.folder() + QStringLiteral("/k.vcf");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("BEGIN:VCARD\nFN:Alfa\nEND:VCARD\n"));
    file.close();
    BookBackup::setFolder(QStringLiteral("/dev/null/Kopie")); // no folder can be made there
    ReportFakeFileDialogs files;
    files.openAnswers << path;
    InstalledScriptedDialogs dialogs;
    dialogs->queue(answer);
    if (answer == DialogButton::Yes)
        dialogs->queue(DialogButton::Ok);
    fx.form1().Import1->trigger();
    BookBackup::setFolder(QString());
    QCOMPARE(dialogs->texts().constFirst(),
             QStringLiteral("Nie udało się zrobić kopii zapasowej książki przed importem.\nNie "
                            "można utworzyć folderu kopii zapasowych /dev/null/Kopie.\n\nCzy mimo "
                            "to importować?"));
    QTEST(fx.table().recordCount(), "contacts");
}

void TestImportWindows::menuExportReportsTheFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("said");
    QTest::newRow("vCard") << "k.vcf"
                           << "Liczba zapisanych kontaktów: 0.\nPlik: DIR/k.vcf";
    QTest::newRow("CSV") << "k.CSV"
                         << "Liczba zapisanych kontaktów: 0.\nPlik: DIR/k.CSV";
    QTest::newRow("unknown extension")
        << "k.txt"
        << "Plik kontaktów musi mieć rozszerzenie .vcf (vCard) lub .csv.";
    QTest::newRow("a folder of cards") << "karty/"
                                       << "Liczba zapisanych kontaktów: 0.\nFolder: DIR/karty/";
}

void TestImportWindows::menuExportReportsTheFile()
{
    QFETCH(QString, name);
    QFETCH(QString, said);
    ProgramFixture fx;
    ReportFakeFileDialogs files;
    const bool folder = name.endsWith(u'/');
    (folder ? files.folderAnswers : files.saveAnswers) << fx.folder() + u'/' + name;
    QVERIFY(!folder || QDir(fx.folder()).mkdir(name));
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Ok);
    (folder ? fx.form1().Eksport2 : fx.form1().Eksport1)->trigger();
    QCOMPARE(files.requests.constFirst().filter,
             folder ? QString() : QStringLiteral("Kontakty: vCard lub CSV (*.vcf *.csv)"));
    QCOMPARE(files.requests.constFirst().defaultSuffix, folder ? QString() : QStringLiteral("vcf"));
    QCOMPARE(dialogs->texts(), QStringList{said.replace(QStringLiteral("DIR"), fx.folder())});
    QCOMPARE(QFile::exists(fx.folder() + u'/' + name), !name.endsWith(u"txt"));
}

void TestImportWindows::signalToEndStopsTheImport()
{
    ProgramFixture fx;
    fx.program().watchTerminationSignals();
    const QString path = fx.folder() + QStringLiteral("/k.vcf");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("BEGIN:VCARD\nFN:Alfa\nEND:VCARD\nBEGIN:VCARD\nFN:alfa\nEND:VCARD\n");
    file.close();
    QSignalSpy ending(&fx.form1(), &TForm1::endRequested);
    InstalledScriptedDialogs dialogs; // no report: the program is ending
    // SIGTERM comes while the question waits; were the question left open for 3 s, Skip
    // would end it. A loaded machine may take a few ticks to hide it.
    int ticks = 0;
    QTimer signalling;
    QObject::connect(&signalling, &QTimer::timeout, [&ticks] {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            auto *question = qobject_cast<TDuplicateQuestion *>(window);
            if (question && question->isVisible() && ++ticks == 1)
                ::raise(SIGTERM);
            else if (question && question->isVisible() && ticks > 300)
                question->SkipButton->click();
        }
    });
    signalling.start(10);
    fx.form1().importFile(path);
    QVERIFY(ticks >= 1 && ticks <= 300);
    QCOMPARE(ending.count(), 1);
    QVERIFY(dialogs->texts().isEmpty());
    QCOMPARE(ContactFixture::sqlite3Against(fx.databasePath(),
                                            QStringLiteral("SELECT count(*) FROM Kartax2000")),
             QStringLiteral("0\n"));
}

KARTAX_TEST_MAIN(TestImportWindows)
#include "tst_import_windows.moc"
