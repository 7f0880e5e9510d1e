#include "platform/errors.h"
#include "platform/settings_store.h"
#include "store/book_backup.h"
#include "store/book_restore.h"
#include "store/contact_schema.h"
#include "store/table.h"
#include "store/table_batch.h"
#include "support/contact_fixture.h"

#include <QFileInfo>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using BookRestore::ContactChange;

// A backup compared with today's book and brought back, chosen contacts or all of it, on
// real SQLite files; and a restore killed halfway through.
class TestBookRestore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void compareFindsAddedDeletedAndChanged();
    void restoreBringsBackChosenContactsAndTheWholeBook();
    void killDuringRestoreLeavesBookAndCopyUsable();

private:
    std::unique_ptr<ContactFixture> m_book;
    QString m_copy;
    qint64 m_alfa = -1, m_beta = -1, m_gamma = -1, m_delta = -1;
    QString m_betaUid;
};

namespace {

const ContactDetail kMobile{
    ContactDetail::Phone, QStringLiteral("komórkowy"), {}, QStringLiteral("600100200")};
const ContactDetail kSecondMail{ContactDetail::Email, {}, {}, QStringLiteral("biuro@beta.pl")};

qint64 addContact(ContactFixture &book, const QString &name, const QString &tel,
                  const QList<ContactDetail> &details = {})
{
    book.add(name, {}, {}, {QStringLiteral("PL"), {}, {}, {}, {}, tel});
    if (!details.isEmpty()) {
        book.table().edit();
        book.table().setDetails(details);
        book.table().post();
    }
    return book.table().recordId();
}

// The comparison as lines: what happened to which contact, then each field.
QStringList describe(const BookRestore::Comparison &comparison)
{
    QStringList lines;
    for (const ContactChange &change : comparison.changes) {
        const char *kind = change.kind == ContactChange::Added     ? "dodany"
                           : change.kind == ContactChange::Deleted ? "usunięty"
                                                                   : "zmieniony";
        lines << QStringLiteral("%1 %2 %3")
                     .arg(QString::fromUtf8(kind))
                     .arg(change.id)
                     .arg(change.name);
        for (const BookRestore::FieldChange &field : change.fields)
            lines << QStringLiteral("  %1: %2 → %3").arg(field.field, field.then, field.now);
    }
    return lines;
}

} // namespace

// Alfa, Beta (with a second e-mail) and Gamma (with a mobile) are copied; then Alfa's
// telephone and Gamma's mobile change, Beta is deleted and Delta added.
void TestBookRestore::init()
{
    m_book = std::make_unique<ContactFixture>(true);
    m_alfa = addContact(*m_book, QStringLiteral("Alfa"), QStringLiteral("111"));
    m_beta = addContact(*m_book, QStringLiteral("Beta"), QStringLiteral("222"), {kSecondMail});
    m_gamma = addContact(*m_book, QStringLiteral("Gamma"), QString(), {kMobile});
    m_betaUid = m_book->table().detailStore().read(m_beta).uid;
    QVERIFY(!m_betaUid.isEmpty());
    m_copy = m_book->folder() + QStringLiteral("/kopia.db");
    m_book->sql(QStringLiteral("VACUUM INTO '%1'").arg(m_copy));
    QVERIFY(QFileInfo::exists(m_copy));

    TTable &t = m_book->table();
    QVERIFY(t.locate(m_alfa));
    t.edit();
    t.setFieldText(QStringLiteral("Tel"), QStringLiteral("111 222"));
    t.post();
    QVERIFY(t.locate(m_gamma));
    t.edit();
    ContactDetail mobile = kMobile;
    mobile.value = QStringLiteral("600999999");
    t.setDetails({mobile});
    t.post();
    QVERIFY(t.locate(m_beta));
    t.deleteRecord();
    m_delta = addContact(*m_book, QStringLiteral("Delta"), QString());
}

void TestBookRestore::compareFindsAddedDeletedAndChanged()
{
    QList<int> heard;
    const BookRestore::Comparison comparison =
        BookRestore::compare(m_book->table(), m_copy, [&heard](int percent) {
            heard << percent;
            return true;
        });
    QCOMPARE(describe(comparison),
             (QStringList{QStringLiteral("zmieniony %1 Alfa").arg(m_alfa),
                          QStringLiteral("  Telefon: 111 → 111 222"),
                          QStringLiteral("usunięty %1 Beta").arg(m_beta),
                          QStringLiteral("zmieniony %1 Gamma").arg(m_gamma),
                          QStringLiteral("  Telefon 2: 600100200 (komórkowy) → 600999999 "
                                         "(komórkowy)"),
                          QStringLiteral("dodany %1 Delta").arg(m_delta)}));
    QCOMPARE(comparison.copyContacts, 3);
    QCOMPARE(comparison.todayContacts, 3);
    QCOMPARE(heard.value(heard.size() - 1), 100);
    QCOMPARE(BookBackup::contactCount(m_copy, QStringLiteral("Kartax2000")), 3);
    QVERIFY_THROWS_EXCEPTION(DatabaseError,
                             BookRestore::compare(m_book->table(), m_copy + QStringLiteral("x")));
}

void TestBookRestore::restoreBringsBackChosenContactsAndTheWholeBook()
{
    TTable &t = m_book->table();
    BookRestore::restoreContacts(t, m_copy, {m_beta, m_gamma});
    // The windows show the first contact brought back, with its id, UID and values.
    QCOMPARE(t.recordId(), m_beta);
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Beta"));
    QCOMPARE(t.fieldText(QStringLiteral("Tel")), QStringLiteral("222"));
    QCOMPARE(t.extras().uid, m_betaUid);
    QCOMPARE(t.details(), QList<ContactDetail>{kSecondMail});
    QVERIFY(t.locate(m_gamma));
    QCOMPARE(t.details(), QList<ContactDetail>{kMobile});
    QCOMPARE(describe(BookRestore::compare(t, m_copy)),
             (QStringList{QStringLiteral("zmieniony %1 Alfa").arg(m_alfa),
                          QStringLiteral("  Telefon: 111 → 111 222"),
                          QStringLiteral("dodany %1 Delta").arg(m_delta)}));
    QCOMPARE(m_book->sql(QStringLiteral("SELECT count(*) FROM \"Kartax2000\"")),
             QStringLiteral("4\n"));

    BookRestore::restoreAll(t, m_copy);
    QCOMPARE(describe(BookRestore::compare(t, m_copy)), QStringList());
    QCOMPARE(m_book->walkForward(), (QStringList{"Alfa", "Beta", "Gamma"}));
    QCOMPARE(m_book->sqlite3(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok\n"));

    // A new contact took the deleted Gamma's id: Gamma comes back under another, Epsilon stays.
    QVERIFY(t.locate(m_gamma));
    t.deleteRecord();
    QCOMPARE(addContact(*m_book, QStringLiteral("Epsilon"), QString()), m_gamma);
    BookRestore::restoreContacts(t, m_copy, {m_gamma});
    QVERIFY(t.recordId() > m_gamma);
    QCOMPARE(m_book->walkForward(), (QStringList{"Alfa", "Beta", "Epsilon", "Gamma"}));
}

// `kartax2000 --restore COPY --yes` killed while it deletes 200,000 contacts added since
// the copy: the book opens, sound, with either all of them or none, and the copy is sound.
void TestBookRestore::killDuringRestoreLeavesBookAndCopyUsable()
{
    const QString command = QStringLiteral(KARTAX_COMMAND);
    if (!QFileInfo(command).isExecutable())
        QSKIP("the kartax2000 command is not built");
    QTemporaryDir dir;
    const QString book = dir.filePath(QStringLiteral("Kartax2000.db"));
    const QString copy = dir.filePath(QStringLiteral("kopia.db"));
    constexpr int kKept = 1000;
    constexpr int kAdded = 200000;
    {
        TTable table;
        table.setDatabaseFile(book);
        table.setTableName(QStringLiteral("Kartax2000"));
        table.open();
        const auto fill = [&table](int from, int to) {
            TableBatch batch(table);
            for (int i = from; i < to; ++i)
                batch.insert(QStringList{QStringLiteral("Firma %1").arg(i),
                                         QStringLiteral("Handel"),
                                         {},
                                         QStringLiteral("PL"),
                                         QStringLiteral("Gdańsk")} +
                             QStringList(8));
            batch.commit();
        };
        fill(0, kKept);
        QSqlQuery vacuum(table.database());
        QVERIFY(vacuum.exec(QStringLiteral("VACUUM INTO '%1'").arg(copy)));
        fill(kKept, kKept + kAdded);
    }
    SettingsStore settings;
    settings.openKey(QStringLiteral("\\Aliasy\\Kax2000"), true);
    settings.writeString(QStringLiteral("Driver"), QStringLiteral("QSQLITE"));
    settings.writeString(QStringLiteral("Database"), book);

    QProcess restore;
    restore.start(command, {QStringLiteral("--restore"), copy, QStringLiteral("--yes")});
    QByteArray said;
    // Half the writes done, the restore is killed.
    QTRY_VERIFY_WITH_TIMEOUT(
        (said += restore.readAllStandardOutput()).contains("Przywracanie: 60%"), 120000);
    QCOMPARE(restore.state(), QProcess::Running);
    restore.kill();
    QVERIFY(restore.waitForFinished());

    const QString count = QStringLiteral("SELECT count(*) FROM Kartax2000");
    QCOMPARE(ContactFixture::sqlite3Against(book, QStringLiteral("PRAGMA integrity_check")),
             QStringLiteral("ok\n"));
    const QString left = ContactFixture::sqlite3Against(book, count);
    QVERIFY2(left == QStringLiteral("%1\n").arg(kKept + kAdded) ||
                 left == QStringLiteral("%1\n").arg(kKept),
             qPrintable(left));
    QCOMPARE(ContactFixture::sqlite3Against(copy, QStringLiteral("PRAGMA integrity_check")),
             QStringLiteral("ok\n"));
    QCOMPARE(ContactFixture::sqlite3Against(copy, count), QStringLiteral("%1\n").arg(kKept));
    TTable reopened;
    reopened.setDatabaseFile(book);
    reopened.setTableName(QStringLiteral("Kartax2000"));
    reopened.open();
    QVERIFY(!reopened.isEmpty());
}

QTEST_GUILESS_MAIN(TestBookRestore)
#include "tst_book_restore.moc"
