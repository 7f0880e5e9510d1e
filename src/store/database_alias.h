#pragma once

#include <QSqlDatabase>
#include <QString>

class SqlEngine;

// Where a database alias keeps the contact table, as the settings store records it
// under Aliasy\<alias>: an SQLite file (the default) or a PostgreSQL server.
//
// Values of the key: Driver is QSQLITE (also when missing or empty) or QPSQL. An
// SQLite alias names its file or folder in Database. A server alias names either a
// Service of the user's pg_service.conf, or Host, Port, Database and User; values
// given beside a Service override the service's. Passwords are never kept in the
// settings: libpq finds them itself (~/.pgpass, the service file, PGPASSWORD), and
// TLS follows libpq too (sslmode in the service file or the environment).
class DatabaseAlias final
{
public:
    // Reads Aliasy\<alias>. Raises DatabaseError for a driver other than QSQLITE or
    // QPSQL and for a port that is not a number.
    static DatabaseAlias read(const QString &alias);
    // An SQLite file named directly rather than through an alias.
    static DatabaseAlias ofFile(const QString &path);

    QString name() const { return m_name; }
    // The engine that runs the database where the alias points.
    const SqlEngine &engine() const { return *m_engine; }
    bool isServer() const;
    // The Qt driver: "QSQLITE" or "QPSQL".
    QString driverName() const;
    // SQLite: the file or folder named (empty for the default file); server: the database.
    QString database() const { return m_database; }
    QString service() const { return m_service; }
    QString host() const { return m_host; }
    int port() const { return m_port; } // 0: libpq's default
    QString user() const { return m_user; }

    // The SQLite file the alias stands for: the file that Database names, or
    // Kartax2000.db in the folder it names, otherwise Kartax2000.db in the data folder.
    QString file() const;
    // Whether the settings named the file, which must then exist.
    bool namesFile() const { return m_namesFile && !m_database.isEmpty(); }

    // Where the alias points, for messages: "plik /srv/Kartax2000.db",
    // "serwer 127.0.0.1:5432, baza kontakty", "usługa biuro". Never a password.
    QString describe() const;

    // Opens a server alias as the Qt connection connectionName. Raises DatabaseError
    // with the server's message and where it tried, and removes the connection again.
    QSqlDatabase open(const QString &connectionName) const;

private:
    DatabaseAlias();

    QString m_name;
    const SqlEngine *m_engine;
    bool m_namesFile = true;
    QString m_database;
    QString m_service;
    QString m_host;
    int m_port = 0;
    QString m_user;
};
