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

// A contact database in a temporary folder, opened through the data module the
// way the program opens it, with helpers to fill it and read it back in order.
class ContactFixture final
{
public:
    ContactFixture();
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

    // Runs the stock sqlite3 tool on the database; returns its standard output.
    QString sqlite3(const QString &sql) const { return sqlite3Against(databasePath(), sql); }
    static QString sqlite3Against(const QString &database, const QString &sql);

private:
    QTemporaryDir m_dir;
    std::unique_ptr<TDM9> m_dm;
};
