// Screenshot gallery: renders the splash window and every window of the program,
// with sample contacts and with an empty table, into PNG files.
// Usage: gallery <output folder>   (run with QT_QPA_PLATFORM=offscreen)
//        gallery <output folder> --find <database file> <text>: only the window "Znajdź"
//        over that database with the text typed

#include "app/main_window.h"
#include "app/program.h"
#include "app/splash_window.h"
#include "dbcontrols/db_navigator.h"
#include "entry/data_entry_window.h"
#include "entry/details_window.h"
#include "entry/full_record_view.h"
#include "exchange/widgets/duplicate_window.h"
#include "exchange/widgets/import_mapping_window.h"
#include "exchange/widgets/progress_window.h"
#include "find/find_model.h"
#include "find/find_window.h"
#include "forms/form.h"
#include "platform/data_folder.h"
#include "platform/password_store.h"
#include "platform/settings_store.h"
#include "sample_contacts.h"
#include "store/book_backup.h"
#include "store/data_module.h"
#include "store/database_alias.h"
#include "store/table.h"
#include "store/widgets/backup_window.h"
#include "store/widgets/deleted_contacts_window.h"
#include "sync/sync_conflicts.h"
#include "sync/sync_settings.h"
#include "sync/widgets/sync_conflict_window.h"
#include "sync/widgets/sync_runner.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>

namespace {

void save(QWidget *widget, const QString &path)
{
    widget->show();
    QApplication::processEvents();
    if (!widget->grab().save(path))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

// A keyring that knows every password, so the gallery never asks the desktop's.
class GalleryKeyring final : public PasswordStore
{
public:
    bool read(const QString &, QString *password, QString *) override
    {
        *password = QStringLiteral("x");
        return true;
    }
    bool write(const QString &, const QString &, QString *) override { return true; }
    bool remove(const QString &, QString *) override { return true; }
};

// The main window's sync panel after a sync with this result, and the conflict window
// with one conflict copy of the current contact.
void renderSync(const QString &out, Program &program, const SyncReport &result, const QString &name)
{
    CardDavSettings settings;
    settings.url = QStringLiteral("https://dav.example.org/jan/kontakty/");
    settings.user = QStringLiteral("jan");
    SettingsStore store;
    settings.save(store);
    SyncRunner &runner = *program.syncRunner();
    runner.reloadSettings();
    runner.setSyncFunction(
        [result](TTable &, const SyncTarget &, const SyncRunner::Hooks &) { return result; });
    runner.syncNow();
    while (runner.running())
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    program.object<TForm1>()->show();
    save(program.object<TForm1>(), QDir(out).filePath(name));
    program.object<TForm1>()->hide();
}

void renderConflict(const QString &out, Program &program)
{
    TTable &table = *program.object<TDM9>()->t1;
    table.first();
    ContactRecord server = ContactRecord::fromTable(table);
    server.extras.details = {
        {ContactDetail::Phone, QStringLiteral("komórkowy"), {}, QStringLiteral("600 100 200")}};
    ContactRecord mine = server;
    mine[ContactRecord::Nazwa] += QStringLiteral(" Sp. z o.o.");
    mine[ContactRecord::Tel] = QStringLiteral("42 630 55 66");
    mine[ContactRecord::Uwagi] = QStringLiteral("Nowy numer centrali od stycznia.");
    mine.extras.details = {
        {ContactDetail::Phone, QStringLiteral("komórkowy"), {}, QStringLiteral("601 999 888")},
        {ContactDetail::Email, QStringLiteral("prywatny"), {}, QStringLiteral("zofia@żółw.pl")}};
    SyncConflicts conflicts(table.database(), table.tableName());
    conflicts.ensure();
    conflicts.add(table.recordId(), QStringLiteral("uid-1"), mine, server);
    table.next();
    ContactRecord other = ContactRecord::fromTable(table);
    ContactRecord otherMine = other;
    otherMine[ContactRecord::Email] = QStringLiteral("nowy@adres.pl");
    conflicts.add(table.recordId(), QStringLiteral("uid-2"), otherMine, other);
    program.syncRunner()->countConflicts();
    program.showSyncConflicts();
    program.syncConflictWindow()->choose(0, true);
    save(program.syncConflictWindow(),
         QDir(out).filePath(QStringLiteral("SyncConflictWindow.png")));
    program.syncConflictWindow()->hide();
}

// The window "Kopie zapasowe" with three copies and the comparison with the oldest: a
// contact changed, one deleted and one added since.
void renderBackups(const QString &out, Program &program)
{
    TTable &table = *program.object<TDM9>()->t1;
    const QString folder = BookBackup::folder(BookBackup::bookOf(table));
    QDir().mkpath(folder);
    for (const QDateTime &time :
         {QDateTime({2026, 12, 1}, {8, 15}), QDateTime({2026, 12, 8}, {8, 2}),
          QDateTime({2026, 12, 9}, {7, 58})}) {
        QSqlQuery vacuum(table.database());
        vacuum.exec(QStringLiteral("VACUUM INTO '%1'")
                        .arg(QDir(folder).filePath(BookBackup::fileName(time))));
    }
    table.first();
    table.edit();
    table.setFieldText(QStringLiteral("Tel"), QStringLiteral("42 630 55 66"));
    table.setDetails(
        {{ContactDetail::Email, QStringLiteral("prywatny"), {}, QStringLiteral("zofia@żółw.pl")}});
    table.post();
    table.next();
    table.deleteRecord();
    table.insert();
    table.setFieldText(QStringLiteral("Nazwa"),
                       QStringLiteral("Przedsiębiorstwo Łączności Źródło"));
    table.post();
    program.showBackups();
    TBackupWindow *window = program.backupWindow();
    while (!window->countsDone())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    window->grdKopie->setCurrentCell(2, 0);
    window->btnPorownajClick();
    window->trwRoznice->topLevelItem(0)->setCheckState(0, Qt::Checked);
    save(window, QDir(out).filePath(QStringLiteral("BackupWindow.png")));
    window->hide();
}

void fill(TTable &table, int count)
{
    sample::ContactGenerator generator(11);
    for (int i = 0; i < count; ++i) {
        const sample::Contact contact = generator.next();
        table.insert();
        for (int f = 0; f < contact.values.size(); ++f)
            table.setFieldText(f, contact.values[f]);
        table.post();
    }
    table.first();
}

void renderProgram(const QString &out, const QString &suffix, int contacts)
{
    QTemporaryDir data;
    DataFolder::setOverride(data.path());
    // A history of a few days, one line of it long enough to wrap.
    QFile history(data.filePath(QStringLiteral("Historia.kax")));
    if (history.open(QIODevice::WriteOnly))
        history.write(
            "\xEF\xBB\xBF"
            "Połączenie telefoniczne z numerem :  22 555 12 34  07 wtorek styczeń 2025 "
            "14:05:09\r\nE-mail do: biuro@kowalski.pl  07 wtorek styczeń 2025 14:20:31\r\n"
            "Wizyta na stronie: www.żółta-kaczka.com.pl  08 środa styczeń 2025 "
            "09:12:44\r\nRozmowa z panią Zofią Łęcką w sprawie zamówienia: termin "
            "dostawy przesunięty na koniec miesiąca, rabat 5% do uzgodnienia z "
            "księgowością.\r\n");
    history.close();
    Program program(data.filePath(QStringLiteral("Kartax2000.db")));
    program.usePasswordStore(std::make_unique<GalleryKeyring>());
    program.create();
    fill(*program.object<TDM9>()->t1, contacts);
    save(program.object<TForm1>(), QDir(out).filePath(QStringLiteral("Form1%1.png").arg(suffix)));
    program.object<TForm1>()->hide();
    if (contacts == 0)
        return;
    for (const QString &name : Program::creationOrder()) {
        if (name == QLatin1String("Form1") || name == QLatin1String("DM9"))
            continue;
        if (KaxForm *window = program.form(name)) {
            save(window, QDir(out).filePath(name + QStringLiteral(".png")));
            window->hide();
        }
    }
    // The data entry window while inserting, and the full record view with long notes.
    program.object<TForm10>()->show();
    program.object<TForm10>()->DBNavigator1->btnClick(DBNavigator::Insert);
    save(program.object<TForm10>(), QDir(out).filePath(QStringLiteral("Form10-inserting.png")));
    program.object<TForm10>()->DBNavigator1->btnClick(DBNavigator::Cancel);
    program.object<TForm10>()->hide();
    program.object<TDM9>()->t1->edit();
    program.object<TDM9>()->t1->setFieldText(
        QStringLiteral("Uwagi"),
        QStringLiteral("Stały klient od 1998 roku. Zamówienia składa kwartalnie.\r\n").repeated(3) +
            QStringLiteral("Kontakt w sprawie faktur: księgowość, pani Żaneta Łukasik.\r\n")
                .repeated(6));
    program.object<TDM9>()->t1->post();
    save(program.object<TForm13>(), QDir(out).filePath(QStringLiteral("Form13-long-notes.png")));
    program.object<TForm13>()->hide();

    // The further values of a contact, as the full record view lists them and the data
    // entry window edits them.
    const QList<ContactDetail> details{
        {ContactDetail::Phone, QStringLiteral("komórkowy"), QStringLiteral("Jan Nowak"),
         QStringLiteral("+48 600 100 200")},
        {ContactDetail::Phone, QStringLiteral("domowy"), {}, QStringLiteral("42 630 12 12")},
        {ContactDetail::Email,
         QStringLiteral("prywatny"),
         {},
         QStringLiteral("jan.nowak@poczta.pl")},
        {ContactDetail::Address,
         QStringLiteral("domowy"),
         {},
         ContactDetail::joinAddress({{},
                                     {},
                                     QStringLiteral("ul. Źródlana 12/4"),
                                     QStringLiteral("Łódź"),
                                     QStringLiteral("łódzkie"),
                                     QStringLiteral("90-002"),
                                     QStringLiteral("Polska")})},
        {ContactDetail::Birthday, {}, {}, QStringLiteral("1970-05-17")},
        {ContactDetail::Other,
         {},
         QStringLiteral("Stanowisko"),
         QStringLiteral("Główny księgowy")}};
    for (const auto mode : {TDetailsWindow::Mode::View, TDetailsWindow::Mode::Edit}) {
        TDetailsWindow window(mode);
        window.setContact(QStringLiteral("Hurtownia Żółw"), details);
        window.show();
        save(&window, QDir(out).filePath(mode == TDetailsWindow::Mode::View
                                             ? QStringLiteral("DetailsWindow.png")
                                             : QStringLiteral("DetailsEditor.png")));
    }

    // The main window with the name search open.
    program.object<TForm1>()->show();
    program.object<TForm1>()->nClick();
    save(program.object<TForm1>(), QDir(out).filePath(QStringLiteral("Form1-search.png")));
    program.object<TForm1>()->hide();

    // The window "Znajdź" with a text typed.
    program.showFind();
    program.findWindow()->Szukaj->setText(QStringLiteral("ska"));
    program.findWindow()->searchNow();
    save(program.findWindow(), QDir(out).filePath(QStringLiteral("FindWindow.png")));
    program.findWindow()->hide();

    // Sync: its conflict window, the status panel after a sync and after an error.
    renderConflict(out, program);
    renderBackups(out, program);
    SyncReport synced;
    synced.sent = 1;
    synced.received = 2;
    synced.conflicts = 2;
    renderSync(out, program, synced, QStringLiteral("Form1-synced.png"));
    SyncReport failed;
    failed.error.kind = DavError::Authentication;
    failed.error.message = QStringLiteral("Serwer dav.example.org odrzucił użytkownika lub hasło "
                                          "(401 Unauthorized).");
    renderSync(out, program, failed, QStringLiteral("Form1-sync-error.png"));

    // The deleted contacts after three deletes, the last two chosen.
    TTable &table = *program.object<TDM9>()->t1;
    table.first();
    for (int i = 0; i < 3; ++i)
        table.deleteRecord();
    TDeletedContactsWindow deleted([&table] { return &table; });
    deleted.reload();
    deleted.showForm();
    deleted.grdUsuniete->selectRow(1);
    deleted.grdUsuniete->selectionModel()->select(deleted.grdUsuniete->model()->index(2, 0),
                                                  QItemSelectionModel::Select |
                                                      QItemSelectionModel::Rows);
    save(&deleted, QDir(out).filePath(QStringLiteral("DeletedContactsWindow.png")));
}

// The window "Znajdź" over an existing database with a text typed.
void renderFind(const QString &out, const QString &database, const QString &text)
{
    TTable table;
    table.setDatabaseFile(database);
    table.setTableName(QStringLiteral("Kartax2000"));
    table.open();
    TFindWindow find;
    find.setContacts([&table] { return &table; });
    find.show();
    find.Szukaj->setText(text);
    find.searchNow();
    while (find.model()->searching()) // the count read to its end
        QApplication::processEvents();
    save(&find, QDir(out).filePath(QStringLiteral("FindWindow-database.png")));
}

// The import's windows over a small Google-style CSV file and a duplicate pair.
void renderImport(const QString &out)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("kontakty.csv"));
    QFile file(csv);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QStringLiteral("Organization 1 - Name,First Name,Last Name,E-mail 1 - Value,"
                              "Phone 1 - Value,Address 1 - City,Notes,Birthday\n"
                              "Hurtownia Łódź,Anna,Wójcik,anna@lodz.pl,+48 42 555 11 22,Łódź,"
                              "\"Dzwonić rano\",1970-01-02\n"
                              ",Jan,Kowalski,jan@example.pl,601 222 333,Kraków,,\n")
                   .toUtf8());
    file.close();
    TImportMapping mapping;
    QString error;
    if (mapping.load(csv, &error)) {
        mapping.show();
        save(&mapping, QDir(out).filePath(QStringLiteral("ImportMapping.png")));
    }
    TProgressWindow progress(TProgressWindow::Kind::Import);
    progress.show();
    progress.update(42137, 42);
    save(&progress, QDir(out).filePath(QStringLiteral("ImportProgress.png")));
    TProgressWindow exporting(TProgressWindow::Kind::Export);
    exporting.show();
    exporting.update(120000, 57);
    save(&exporting, QDir(out).filePath(QStringLiteral("ExportProgress.png")));
    TDuplicateQuestion question;
    ContactImport::Duplicate duplicate;
    duplicate.incoming[ContactRecord::Nazwa] = QStringLiteral("Hurtownia Łódź");
    duplicate.incoming[ContactRecord::Email] = QStringLiteral("anna@lodz.pl");
    duplicate.incoming[ContactRecord::Tel] = QStringLiteral("+48 42 555 11 22");
    duplicate.stored[ContactRecord::Nazwa] = QStringLiteral("HURTOWNIA ŁÓDŹ");
    duplicate.stored[ContactRecord::Miasto] = QStringLiteral("Łódź");
    duplicate.stored[ContactRecord::Tel] = QStringLiteral("42 555 11 22");
    duplicate.reason = QStringLiteral("ta sama nazwa i miejscowość, ten sam numer telefonu");
    question.show(duplicate);
    question.QWidget::show();
    save(&question, QDir(out).filePath(QStringLiteral("DuplicateQuestion.png")));
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("LC_ALL", "pl_PL.UTF-8"); // dates and names as a Polish desktop shows them
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("out");
    QDir().mkpath(out);

    if (argc == 5 && QLatin1String(argv[2]) == QLatin1String("--find")) {
        renderFind(out, QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));
        return 0;
    }
    TSplashFrm splash;
    splash.ProgressBar1->setValue(40);
    save(&splash, QDir(out).filePath(QStringLiteral("SplashFrm.png")));
    splash.hide();

    renderProgram(out, QString(), 25);
    renderProgram(out, QStringLiteral("-empty"), 0);
    renderImport(out);
    return 0;
}
