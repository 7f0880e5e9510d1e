#include "store/sql_text.h"

#include "platform/errors.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>
#include <algorithm>
#include <limits>

namespace SqlText {

QString engineMessage(const QSqlError &error)
{
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

QString fileOf(const QString &databaseName)
{
    return QDir::toNativeSeparators(databaseName.startsWith(QLatin1String("file:"))
                                        ? QUrl(databaseName).toLocalFile()
                                        : databaseName);
}

QString fileFailure(const QString &path, const QSqlError &error)
{
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric) & 0xff;
    const QString file = fileOf(path);
    // SQLite's primary result codes.
    enum : int {
        Perm = 3,
        Busy = 5,
        Locked = 6,
        NoMem = 7,
        ReadOnly = 8,
        IoErr = 10,
        Corrupt = 11,
        Full = 13,
        CantOpen = 14,
        Auth = 23,
        NotADb = 26,
    };
    switch (numeric ? code : -1) {
    case Busy:
    case Locked:
        return QStringLiteral("Baza danych %1 jest zablokowana przez inny program. Spróbuj "
                              "ponownie za chwilę.")
            .arg(file);
    case ReadOnly:
        return QStringLiteral("Baza danych %1 jest dostępna tylko do odczytu; zmian nie zapisano.")
            .arg(file);
    case IoErr:
        return QStringLiteral("Błąd odczytu lub zapisu pliku bazy danych %1 (błąd wejścia-wyjścia "
                              "dysku lub sieci).")
            .arg(file);
    case Corrupt:
        return QStringLiteral("Plik bazy danych %1 jest uszkodzony.").arg(file);
    case Full:
        return QStringLiteral("Brak miejsca na dysku dla bazy danych %1; zmian nie zapisano.")
            .arg(file);
    case CantOpen:
        return QStringLiteral("Nie można otworzyć pliku bazy danych %1.").arg(file);
    case NotADb:
        return QStringLiteral("Plik %1 nie jest bazą danych (albo jest uszkodzony).").arg(file);
    case Perm:
    case Auth:
        return QStringLiteral("Brak dostępu do bazy danych %1.").arg(file);
    case NoMem:
        return QStringLiteral("Brak pamięci na operację na bazie danych %1.").arg(file);
    default:
        return QStringLiteral("Błąd bazy danych %1: %2").arg(file, engineMessage(error));
    }
}

QSqlQuery exec(const QSqlDatabase &db, const QString &sql, const QVariantList &binds)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const bool done = binds.isEmpty() ? query.exec(sql) : query.prepare(sql) && [&] {
        for (int i = 0; i < binds.size(); ++i)
            query.bindValue(i, binds[i]);
        return query.exec();
    }();
    if (!done)
        throw DatabaseError(engineMessage(query.lastError()));
    return query;
}

QString quoted(const QString &identifier)
{
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

QString valueRows(int columns, int rows)
{
    QStringList marks;
    marks.fill(QStringLiteral("?"), columns);
    const QString row = QLatin1Char('(') + marks.join(QStringLiteral(", ")) + QLatin1Char(')');
    QStringList all;
    all.fill(row, rows);
    return all.join(QStringLiteral(", "));
}

bool forEachBatch(QSqlDatabase &db, const QString &table, const QString &columns, int batchRows,
                  const std::function<void(const QSqlQuery &)> &row,
                  const std::function<bool(const std::vector<qint64> &, int)> &batch,
                  QSqlError *failure)
{
    const auto fail = [failure](const QSqlQuery &q) {
        *failure = q.lastError();
        return false;
    };
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT min(id), max(id) FROM %1").arg(quoted(table))) ||
        !query.next())
        return fail(query);
    const qint64 lowest = query.value(0).toLongLong();
    const qint64 span = std::max<qint64>(1, query.value(1).toLongLong() - lowest + 1);
    query.finish();

    QSqlQuery select(db);
    select.setForwardOnly(true);
    if (!select.prepare(QStringLiteral("SELECT id, %1 FROM %2 WHERE id > ? ORDER BY id LIMIT %3")
                            .arg(columns, quoted(table))
                            .arg(batchRows)))
        return fail(select);
    std::vector<qint64> ids;
    qint64 after = std::numeric_limits<qint64>::min();
    for (;;) {
        ids.clear();
        select.bindValue(0, after);
        if (!select.exec())
            return fail(select);
        while (select.next()) {
            ids.push_back(select.value(0).toLongLong());
            row(select);
        }
        select.finish();
        if (ids.empty())
            return true;
        after = ids.back();
        if (!batch(ids, int(std::min<qint64>(100, (after - lowest) * 100 / span))))
            return false;
    }
}

} // namespace SqlText
