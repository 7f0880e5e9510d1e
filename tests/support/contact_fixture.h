#pragma once

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class TDM9;
class TTable;

// Inserts and posts one contact into the table: name, branch, representative,
// then more fields in table order (Kraj, Miasto, Kod, Ulica, Region, Tel, Fax,
// Email, Http, Uwagi).
void insertContact(TTable &table, const QString &name, const QString &branch = QString(),
                   const QString &representative = QString(), const QStringList &rest = {});

// The values of one field over all records in the order of the index in use,
// walked with first/next; the cursor ends on the last record.
QStringList walkForward(TTable &table, const QString &field = QStringLiteral("Nazwa"));

// Whether this run keeps the contact table on a private PostgreSQL server
// (KARTAX_TEST_ENGINE=QPSQL) rather than in an SQLite file: the table's tests run
// against both engines.
bool testingOnServer();

class PgTestServer;
// Names the database on the private server in the alias Kax2000 of the test's settings.
void writeServerAlias(const PgTestServer &server, const QString &database);

// Skips the current test on a server run: it checks what only a file has.
#define SKIP_ON_SERVER()                                                                           \
    do {                                                                                           \
        if (testingOnServer())                                                                     \
            QSKIP("an SQLite file's own behaviour");                                               \
    } while (false)

// A contact database in a temporary folder, opened through the data module the
// way the program opens it, with helpers to fill it and read it back in order. On a
// server run, a database of its own on the private server, named by the alias.
class ContactFixture final
{
public:
    // inFile: an SQLite file even on a server run, as a file to import from.
    explicit ContactFixture(bool inFile = false);
    ~ContactFixture();

    QString databasePath() const;
    QString folder() const { return m_dir.path(); }
    TDM9 &dm() { return *m_dm; }
    TTable &table();

    // Opens (creating on first use) the data module over the database file.
    void open();
    void close();

    // Inserts and posts one contact: name, branch, representative, then more
    // fields in table order (Kraj, Miasto, Kod, Ulica, Region, Tel, Fax, Email, Http, Uwagi).
    void add(const QString &name, const QString &branch = QString(),
             const QString &representative = QString(), const QStringList &rest = {});

    // The values of one field over all records in the order of the index in use,
    // walked with first/next; the cursor ends on the last record.
    QStringList walkForward(const QString &field = QStringLiteral("Nazwa"));
    QStringList walkBackward(const QString &field = QStringLiteral("Nazwa"));

    // A second cursor configured for the same database and table, not yet open.
    void configure(TTable &other) const;
    // Runs SQL through the table's own connection: the rows as the sqlite3 tool prints
    // them ("a|b\n" per row). Quote names ("Nazwa"): a server folds unquoted ones.
    QString sql(const QString &statement);

    // Runs the stock sqlite3 tool on the database; returns its standard output.
    QString sqlite3(const QString &sql) const { return sqlite3Against(databasePath(), sql); }
    static QString sqlite3Against(const QString &database, const QString &sql);

private:
    QTemporaryDir m_dir;
    QString m_serverDatabase; // on a server run
    std::unique_ptr<TDM9> m_dm;
};
