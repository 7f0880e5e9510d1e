// Two-way CardDAV sync against a private server started here: the first sync of a book
// of 10,000 contacts into an empty address book, a sync with one contact changed in the
// program, one with a card changed on the server, how long a move of the windows' cursor
// takes while a sync runs on a thread of its own, and the first sync of an empty book.
// Usage: bench_sync [CONTACTS] [radicale|xandikos]   (default 10000 radicale)

#include "bench_util.h"
#include "platform/errors.h"
#include "store/contact_schema.h"
#include "store/table.h"
#include "store/table_batch.h"
#include "support/dav_test_server.h"
#include "sync/dav_client.h"
#include "sync/sync_engine.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <cstdio>

namespace {

constexpr int kRuns = 5;

void openBook(TTable &table, const QString &path)
{
    table.setTableName(QString::fromLatin1(ContactSchema::kTableName));
    table.setDatabaseFile(path);
    table.open();
}

// A book of `count` contacts with a telephone, an e-mail address and a street each.
void fillBook(TTable &table, int count)
{
    TableBatch batch(table);
    const qsizetype fieldCount = table.fieldNames().size();
    for (int i = 0; i < count; ++i) {
        QStringList values(fieldCount);
        const auto set = [&](const char *field, const QString &value) {
            values[table.fieldIndexChecked(QLatin1String(field))] = value;
        };
        set("Nazwa", QStringLiteral("Firma Handlowa %1 Sp. z o.o.").arg(i));
        set("Branza", QStringLiteral("Hurtownia"));
        set("Filia", QStringLiteral("Jan Kowalski %1").arg(i % 97));
        set("Miasto", QStringLiteral("Łódź"));
        set("Kod", QStringLiteral("90-%1").arg(i % 1000, 3, 10, QLatin1Char('0')));
        set("Ulica", QStringLiteral("ul. Piotrkowska %1").arg(i % 300 + 1));
        set("Tel", QStringLiteral("42 %1").arg(6000000 + i));
        set("Email", QStringLiteral("biuro%1@firma.pl").arg(i));
        batch.insert(values);
    }
    batch.commit();
}

SyncReport syncOnce(TTable &table, const SyncTarget &target, bool tellSteps = false)
{
    CardDavSync sync(table);
    sync.setConfirm([](const SyncPlan &) { return true; });
    if (tellSteps) {
        // Where the time goes, on standard error: each step with the seconds it began at.
        const auto start = bench::Clock::now();
        QString last;
        sync.setProgress([start, last](int, const QString &step) mutable {
            if (step != last)
                std::fprintf(stderr, "# %.2f s %s\n", bench::microsecondsSince(start) / 1e6,
                             qUtf8Printable(step));
            last = step;
            return true;
        });
    }
    const SyncReport report = sync.run(target);
    if (report.error)
        throw KaxError(QStringLiteral("sync failed: ") + report.error.message);
    return report;
}

void print(const char *name, double value, const char *unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

void run(int count, DavTestServer::Kind kind)
{
    DavTestServer server(kind);
    if (!server.available())
        throw KaxError(server.unavailableReason());
    if (!server.start())
        throw KaxError(server.error());
    SyncTarget target;
    target.book = server.addressBookUrl();
    target.user = server.user();
    target.password = server.password();

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("book.db"));
    TTable table;
    openBook(table, path);
    fillBook(table, count);

    auto start = bench::Clock::now();
    SyncReport report = syncOnce(table, target, true);
    print("sync_first_seconds", bench::microsecondsSince(start) / 1e6, "s");
    if (report.sent != count)
        throw KaxError(QStringLiteral("first sync sent %1 of %2").arg(report.sent).arg(count));

    // One contact changed in the program.
    std::vector<double> local;
    for (int run = 0; run < kRuns; ++run) {
        table.first();
        for (int i = 0; i < run * 7; ++i)
            table.next();
        table.edit();
        table.setFieldText(QStringLiteral("Tel"), QStringLiteral("42 %1").arg(7000000 + run));
        table.post();
        start = bench::Clock::now();
        report = syncOnce(table, target, run == kRuns - 1);
        local.push_back(bench::microsecondsSince(start) / 1e3);
        if (report.sent != 1)
            throw KaxError(QStringLiteral("a local change sent ") + report.summary());
    }
    print("sync_one_local_change_ms", bench::median(local), "ms");

    // One card changed on the server, as a phone would.
    DavClient phone;
    phone.setCredentials(server.user(), server.password());
    // Radicale lists a large book slowly (PROPFIND): its report of changes is quicker.
    phone.setTimeout(300000);
    bool ok = false;
    const QList<DavCard> cards = phone.syncCollection(target.book, {}, &ok).changed;
    if (!ok || cards.isEmpty())
        throw KaxError(QStringLiteral("listing failed: ") + phone.lastError().message);
    std::vector<double> remote;
    for (int run = 0; run < kRuns; ++run) {
        const QList<DavCard> one = phone.multiget(target.book, {cards[run].url}, &ok);
        if (!ok || one.isEmpty())
            throw KaxError(QStringLiteral("fetching failed: ") + phone.lastError().message);
        QByteArray vcard = one.first().vcard;
        vcard.replace("END:VCARD", QByteArray("NOTE:zmiana z telefonu ") + QByteArray::number(run) +
                                       "\r\nEND:VCARD");
        const auto put = phone.put({one.first().url, vcard, one.first().etag});
        if (put.error)
            throw KaxError(QStringLiteral("upload failed: ") + put.error.message);
        start = bench::Clock::now();
        report = syncOnce(table, target);
        remote.push_back(bench::microsecondsSince(start) / 1e3);
        if (report.received != 1)
            throw KaxError(QStringLiteral("a remote change gave ") + report.summary());
    }
    print("sync_one_remote_change_ms", bench::median(remote), "ms");

    // Moves while a book of the same contacts makes its first sync with the now full
    // server, pairing every contact: the windows' cursor keeps moving on this thread.
    const QString second = dir.filePath(QStringLiteral("second.db"));
    {
        TTable other;
        openBook(other, second);
        fillBook(other, count);
    }
    std::atomic<bool> done = false;
    QString failure;
    QThread *worker = QThread::create([&] {
        try {
            TTable other;
            openBook(other, second);
            syncOnce(other, target);
        } catch (const std::exception &error) {
            failure = QString::fromUtf8(error.what());
        }
        done = true;
    });
    TTable cursor;
    openBook(cursor, second);
    worker->start();
    std::vector<double> moves;
    bool forward = true;
    while (!done) {
        const auto move = bench::Clock::now();
        if (forward)
            cursor.next();
        else
            cursor.prior();
        (void)cursor.fieldText(0);
        moves.push_back(bench::microsecondsSince(move) / 1e3);
        if (cursor.eof() || cursor.bof())
            forward = !forward;
        QThread::usleep(2000); // a user's pace, far faster than keys repeat
    }
    worker->wait();
    delete worker;
    if (!failure.isEmpty())
        throw KaxError(QStringLiteral("sync during moves failed: ") + failure);
    // The first sync of an empty book with the full server: every card comes down.
    {
        TTable empty;
        openBook(empty, dir.filePath(QStringLiteral("empty.db")));
        start = bench::Clock::now();
        report = syncOnce(empty, target);
        print("sync_first_down_seconds", bench::microsecondsSince(start) / 1e6, "s");
        if (report.received != count)
            throw KaxError(QStringLiteral("the first sync down gave ") + report.summary());
    }
    print("move_during_sync_median_ms", bench::median(moves), "ms");
    print("move_during_sync_p99_ms", bench::percentile(moves, 99), "ms");
    print("move_during_sync_max_ms", bench::percentile(moves, 100), "ms");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const bool xandikos = argc > 2 && QByteArray(argv[2]) == "xandikos";
    try {
        run(count > 0 ? count : 10000,
            xandikos ? DavTestServer::Xandikos : DavTestServer::Radicale);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "bench_sync: %s\n", error.what());
        return 1;
    }
    return 0;
}
