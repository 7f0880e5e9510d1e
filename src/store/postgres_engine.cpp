#include "store/sql_engine.h"

#include "platform/errors.h"
#include "store/contact_details.h"
#include "store/contact_schema.h"
#include "store/database_alias.h"
#include "store/postgres_search_index.h"
#include "store/sql_text.h"
#include "store/table_connection.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <QVariant>
#include <limits>

namespace {

// The time now as vCard's REV, in the server's SQL.
constexpr char kNow[] = "to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"')";

using SqlText::engineMessage;
using SqlText::quoted;

// A value of a libpq connection string, quoted so that spaces and quotes survive.
QString conninfoValue(QString value)
{
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

// The host and port of a server alias, for messages.
QString serverPlace(const DatabaseAlias &alias)
{
    QString place = alias.host().isEmpty() ? QStringLiteral("(gniazdo lokalne)") : alias.host();
    if (alias.port() > 0)
        place += alias.host().isEmpty() ? QStringLiteral(" port %1").arg(alias.port())
                                        : QStringLiteral(":%1").arg(alias.port());
    return place;
}

// The contact table on a PostgreSQL server shared by the firm's users.
class PostgresEngine final : public SqlEngine
{
public:
    QString driverName() const override { return QStringLiteral("QPSQL"); }

    // ---- The table, its cursor, schema and batches -------------------------------

    bool inFile() const override { return false; }

    QString describe(const DatabaseAlias &alias) const override
    {
        if (!alias.service().isEmpty())
            return QStringLiteral("usługa ") + alias.service();
        QString text = QStringLiteral("serwer ") + serverPlace(alias);
        if (!alias.database().isEmpty())
            text += QStringLiteral(", baza ") + alias.database();
        return text;
    }

    QString place(const QString &path) const override { return path; }

    QSqlDatabase openAlias(const DatabaseAlias &alias, const QString &connectionName) const override
    {
        QSqlError error;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(driverName(), connectionName);
            // Qt hands the connect options to libpq as part of its connection string.
            if (!alias.service().isEmpty())
                db.setConnectOptions(QStringLiteral("service=") + conninfoValue(alias.service()));
            if (!alias.host().isEmpty())
                db.setHostName(alias.host());
            if (alias.port() > 0)
                db.setPort(alias.port());
            if (!alias.database().isEmpty())
                db.setDatabaseName(alias.database());
            if (!alias.user().isEmpty())
                db.setUserName(alias.user());
            if (db.open())
                return db;
            error = db.lastError();
        }
        QSqlDatabase::removeDatabase(connectionName);
        const QString place = alias.service().isEmpty()
                                  ? serverPlace(alias)
                                  : QStringLiteral("usługi ") + alias.service();
        const QString message = error.databaseText().trimmed().isEmpty()
                                    ? error.text()
                                    : error.databaseText().trimmed();
        throw DatabaseError(
            QStringLiteral("Nie można połączyć z serwerem bazy danych %1: %2").arg(place, message));
    }

    void openTable(TableConnection &connection, const DatabaseAlias &alias,
                   const QString &table) const override
    {
        QSqlDatabase &db = connection.db();
        db = alias.open(connection.name());
        connection.setPath(alias.describe());
        // The table is made on first use of the database.
        QSqlQuery query(db);
        if (!query.prepare(QStringLiteral("SELECT to_regclass(?) IS NULL")))
            connection.fail(query.lastError());
        query.addBindValue(quoted(table));
        if (!query.exec() || !query.next())
            connection.fail(query.lastError());
        const bool missing = query.value(0).toBool();
        query.finish();
        if (missing)
            ContactSchema::create(db, table);
    }

    std::unique_ptr<QObject> listen(const QSqlDatabase &db, const QString &table,
                                    std::function<bool()> usable,
                                    std::function<void(qint64)> changed) const override
    {
        QSqlDriver *driver = db.driver();
        if (!driver->subscribeToNotification(ContactSchema::notifyChannel(table)))
            qWarning("Kartax2000: changes by other users of %s will show only when read again: %s",
                     qPrintable(table), qPrintable(engineMessage(driver->lastError())));
        auto listener = std::make_unique<QObject>();
        QObject::connect(driver, &QSqlDriver::notification, listener.get(),
                         [usable, changed](const QString &, QSqlDriver::NotificationSource source,
                                           const QVariant &payload) {
                             bool one = false;
                             const qint64 id = payload.toString().toLongLong(&one);
                             if (source != QSqlDriver::SelfSource && usable())
                                 changed(one ? id : SqlEngine::kManyRows);
                         });
        // Qt's driver hands on the server's notifications only after a statement on its
        // connection: one every half second brings them to the card within a second.
        auto *poll = new QTimer(listener.get());
        poll->setInterval(500);
        QObject::connect(poll, &QTimer::timeout, listener.get(), [db, usable] {
            if (usable()) // an empty round trip, after which the driver reads what arrived
                QSqlQuery(db).exec(QStringLiteral("SELECT 1"));
        });
        poll->start();
        return listener;
    }

    bool connectionLost(const QSqlDatabase &db) const override
    {
        QSqlQuery probe(db);
        // A transaction that a failed statement aborted still has its connection.
        constexpr char kTransactionAborted[] = "25P02";
        return !probe.exec(QStringLiteral("SELECT 1")) &&
               probe.lastError().nativeErrorCode() != QLatin1String(kTransactionAborted);
    }

    QString failureMessage(const QString &, const QSqlError &error) const override
    {
        return engineMessage(error);
    }

    QString writeRefusal(const QString &, const QSqlError &) const override { return {}; }

    QSqlError explainUnreadableTable(const QSqlDatabase &, const QString &, const QString &,
                                     const QSqlError &error) const override
    {
        return error;
    }

    // A server folds unquoted names to lower case: there every name is quoted.
    QString schemaName(const QString &identifier) const override { return quoted(identifier); }
    QString idColumn() const override
    {
        return QStringLiteral("id BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
    }
    QString idType() const override { return QStringLiteral("BIGINT"); }
    QString keyType() const override { return QStringLiteral("BYTEA"); }

    bool bookkeepingComplete(const QSqlDatabase &db, const QString &table) const override
    {
        QSqlQuery query(db);
        // The functions that tell listeners of changes and make cards must heed a batch of
        // the program's own: those of an earlier version told and made every row a batch
        // writes. (The card function comes with the cards' table.)
        query.prepare(QStringLiteral(
            "SELECT (to_regclass(?) IS NOT NULL)::int + (to_regclass(?) IS NOT NULL)::int + "
            "(SELECT count(*) FROM pg_trigger WHERE tgrelid = to_regclass(?) "
            "AND tgname IN (?, ?, ?)) + (SELECT count(*) FROM pg_proc WHERE proname = ? "
            "AND prosrc LIKE '%own_write%') - (SELECT count(*) FROM pg_proc WHERE proname = ? "
            "AND prosrc NOT LIKE '%own_write%')"));
        query.addBindValue(quoted(ContactSchema::dirtyTable(table)));
        query.addBindValue(quoted(ContactSchema::metaTable(table)));
        query.addBindValue(quoted(table));
        for (const QString &trigger : triggers(table))
            query.addBindValue(trigger);
        query.addBindValue(table + QStringLiteral("_notify"));
        query.addBindValue(table + QStringLiteral("_card_new"));
        return query.exec() && query.next() && query.value(0).toInt() == 6;
    }

    QStringList detailsStatements(const QString &table) const override
    {
        const QString details = quoted(ContactDetails::detailsTable(table));
        const QString card = quoted(ContactDetails::cardTable(table));
        const QString name = quoted(table);
        const QString cardNew = quoted(table + QStringLiteral("_card_new"));
        const QString cardRev = quoted(table + QStringLiteral("_card_rev"));
        const QString now = QLatin1String(kNow);
        QStringList fields;
        for (const QString &field : ContactSchema::fieldNames())
            fields << quoted(field);
        // The foreign keys drop a deleted contact's values and card with it.
        return {
            QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (contact BIGINT NOT NULL REFERENCES "
                           "%2 (id) ON DELETE CASCADE, ord INTEGER NOT NULL, kind TEXT NOT NULL, "
                           "type TEXT, label TEXT, value TEXT, PRIMARY KEY (contact, ord))")
                .arg(details, name),
            QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (id BIGINT PRIMARY KEY REFERENCES %2 "
                           "(id) ON DELETE CASCADE, uid TEXT NOT NULL UNIQUE, rev TEXT, kept TEXT)")
                .arg(card, name),
            cardFunction(table),
            QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS "
                           "$$BEGIN UPDATE %2 SET rev = %3 WHERE id = NEW.id; RETURN NULL; END$$")
                .arg(cardRev, card, now),
            QStringLiteral("CREATE OR REPLACE TRIGGER %1 AFTER INSERT ON %2 FOR EACH ROW "
                           "EXECUTE FUNCTION %3()")
                .arg(quoted(table + QStringLiteral("_card_ins")), name, cardNew),
            QStringLiteral("CREATE OR REPLACE TRIGGER %1 AFTER UPDATE OF %2 ON %3 FOR EACH ROW "
                           "EXECUTE FUNCTION %4()")
                .arg(quoted(table + QStringLiteral("_card_upd")), fields.join(u", "), name,
                     cardRev),
        };
    }

    // The function that gives a new row its card. A batch of the program's own writes
    // every row's card itself (and at its commit those it could not): a card made here
    // and replaced there would put two entries in the UID index for every row.
    static QString cardFunction(const QString &table)
    {
        return QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS "
                              "$$BEGIN %4INSERT INTO %2 (id, uid, rev) VALUES (NEW.id, "
                              "gen_random_uuid()::text, %3) ON CONFLICT DO NOTHING; RETURN NULL; "
                              "END$$")
            .arg(quoted(table + QStringLiteral("_card_new")),
                 quoted(ContactDetails::cardTable(table)), QLatin1String(kNow),
                 QLatin1String(ContactSchema::kSkipOwnWrite));
    }

    QString missingCards(const QString &table, qint64 fromId, qint64 toId) const override
    {
        return QStringLiteral(
                   "INSERT INTO %1 (id, uid, rev) SELECT id, gen_random_uuid()::text, %2 "
                   "FROM %3 WHERE id >= %4 AND id < %5 ON CONFLICT DO NOTHING")
            .arg(quoted(ContactDetails::cardTable(table)), QLatin1String(kNow), quoted(table))
            .arg(fromId)
            .arg(toId);
    }

    QStringList markingStatements(const QString &table) const override
    {
        // On a server one function marks the rows, and another tells every listening
        // program which row changed.
        const QStringList names = triggers(table);
        const QString mark = quoted(table + QStringLiteral("_mark"));
        const QString notify = quoted(table + QStringLiteral("_notify"));
        QStringList keyed;
        for (const QString &field : ContactSchema::keyedFieldNames())
            keyed << quoted(field);
        return {
            QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql "
                           "AS $$BEGIN %3INSERT INTO %2 (id) VALUES (NEW.id) "
                           "ON CONFLICT DO NOTHING; RETURN NULL; END$$")
                .arg(mark, quoted(ContactSchema::dirtyTable(table)),
                     QLatin1String(ContactSchema::kSkipOwnWrite)),
            // A batch of the program's own tells the rows it changed itself, at its end.
            QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql "
                           "AS $$BEGIN %3PERFORM pg_notify(%2, CASE TG_OP WHEN 'DELETE' "
                           "THEN OLD.id ELSE NEW.id END::text); RETURN NULL; END$$")
                .arg(notify,
                     QLatin1Char('\'') + ContactSchema::notifyChannel(table) + QLatin1Char('\''),
                     QLatin1String(ContactSchema::kSkipOwnWrite)),
            QStringLiteral("CREATE OR REPLACE TRIGGER %1 AFTER INSERT ON %2 "
                           "FOR EACH ROW EXECUTE FUNCTION %3()")
                .arg(quoted(names[0]), quoted(table), mark),
            QStringLiteral("CREATE OR REPLACE TRIGGER %1 AFTER UPDATE OF %2 ON %3 "
                           "FOR EACH ROW EXECUTE FUNCTION %4()")
                .arg(quoted(names[1]), keyed.join(u", "), quoted(table), mark),
            QStringLiteral("CREATE OR REPLACE TRIGGER %1 AFTER INSERT OR UPDATE OR DELETE "
                           "ON %2 FOR EACH ROW EXECUTE FUNCTION %3()")
                .arg(quoted(names[2]), quoted(table), notify),
            cardFunction(table),
        };
    }

    bool indexesByFirstColumn(const QSqlDatabase &db, const QString &table,
                              QList<std::pair<QString, QString>> *indexes,
                              QSqlError *failure) const override
    {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.prepare(QStringLiteral(
                "SELECT i.relname, a.attname FROM pg_index x "
                "JOIN pg_class i ON i.oid = x.indexrelid "
                "JOIN pg_attribute a ON a.attrelid = x.indrelid AND a.attnum = x.indkey[0] "
                "WHERE x.indrelid = to_regclass(?) ORDER BY i.relname"))) {
            *failure = query.lastError();
            return false;
        }
        query.addBindValue(quoted(table));
        if (!query.exec()) {
            *failure = query.lastError();
            return false;
        }
        while (query.next())
            indexes->append({query.value(0).toString(), query.value(1).toString()});
        return true;
    }

    // Indexes are listed with their columns above; one that orders no field of the
    // contact table is told as missing.
    bool indexExists(const QSqlDatabase &, const QString &, const QString &) const override
    {
        return false;
    }

    bool indexesToSetAside(const QSqlDatabase &, const QString &, QList<MadeIndex> *,
                           QSqlError *) const override
    {
        return true; // a server's indexes are not this program's to drop while others read
    }

    QString indexedBy(const QString &) const override
    {
        return {}; // the planner picks the index from the order
    }

    QString anyKeyBeyond(const QString &from, const QString &key, bool before) const override
    {
        // The planner would answer "key beyond" by a scan of the table, guessing that a
        // third of the rows qualify; asked for the nearest one, it seeks the index.
        return QStringLiteral("(SELECT 1 FROM %1WHERE p.%2 %3 c.%2 ORDER BY p.%2%4 LIMIT 1) "
                              "IS NOT NULL")
            .arg(from, key, before ? QStringLiteral("<") : QStringLiteral(">"),
                 before ? QStringLiteral(" DESC") : QString());
    }

    bool rowValueSeeks() const override { return true; }

    QString returningId() const override { return QStringLiteral(" RETURNING id"); }
    qint64 insertedId(QSqlQuery &insert) const override
    {
        return insert.next() ? insert.value(0).toLongLong() : -1;
    }

    // Each statement is a round trip to the server: a batch's new rows go a hundred at a
    // time, with ids taken from the table's sequence (ascending within one call).
    int batchRowsPerStatement() const override { return 100; }
    QString idsStatement(const QString &table, int count) const override
    {
        QString name = quoted(table);
        name.replace(QLatin1Char('\''), QStringLiteral("''"));
        return QStringLiteral("SELECT nextval(pg_get_serial_sequence('%1', 'id')) FROM "
                              "generate_series(1, %2)")
            .arg(name)
            .arg(count);
    }

    // Its marks are few: rows written by others. The triggers are told that the
    // program itself writes these rows with their keys and search text.
    bool setAsideMarking(const QSqlDatabase &db, const QString &, QStringList *,
                         QSqlError *failure) const override
    {
        QSqlQuery own(db);
        if (own.exec(QLatin1String(ContactSchema::kOwnWrite)))
            return true;
        *failure = own.lastError();
        return false;
    }

    // In one round trip: a post on a server waits for each of its statements.
    QString ownUpdateBegin() const override
    {
        return QStringLiteral("BEGIN; ") + QLatin1String(ContactSchema::kOwnWrite);
    }

    QString notifyChanged(const QString &table, const QList<qint64> &ids) const override
    {
        if (ids.isEmpty())
            return {};
        const QString channel = ContactSchema::notifyChannel(table); // letters only
        if (ids.size() > kMostNotified)
            return QStringLiteral("SELECT pg_notify('%1', '*')").arg(channel);
        QStringList list;
        for (const qint64 id : ids)
            list << QString::number(id);
        return QStringLiteral("SELECT pg_notify('%1', v::text) FROM unnest(ARRAY[%2]::bigint[]) "
                              "AS v")
            .arg(channel, list.join(u','));
    }

    QVariant enlargeCache(const QSqlDatabase &) const override { return {}; }
    void restoreCache(const QSqlDatabase &, const QVariant &) const override {}
    QVariant holdCheckpoints(const QSqlDatabase &) const override { return {}; }
    void resumeCheckpoints(const QSqlDatabase &, const QVariant &) const override {}

private:
    // Rows a batch tells one by one; past them, listeners hear that many rows changed.
    static constexpr qsizetype kMostNotified = 100;

    // The triggers that mark changed rows and tell listeners of them.
    static QStringList triggers(const QString &table)
    {
        return {table + QStringLiteral("_keys_ins"), table + QStringLiteral("_keys_upd"),
                table + QStringLiteral("_changed")};
    }

    // ---- The full-text index and its searches ------------------------------------

    const FullTextIndex &fullTextIndex() const override { return postgresSearchIndex(); }
};

} // namespace

const SqlEngine &postgresEngine()
{
    static const PostgresEngine engine;
    return engine;
}
