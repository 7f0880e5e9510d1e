#pragma once

#include "store/search_index.h"

// The search index on a PostgreSQL server: the text table with pg_trgm's GIN index on
// each column, indexes of the beginnings, and triggers that call plpgsql functions.
class PostgresSearchIndex final : public FullTextIndex
{
public:
    PostgresSearchIndex() = default;

    bool exists(QSqlDatabase &db, const QString &table) const override;
    void ensure(QSqlDatabase &db, const QString &table,
                const std::function<void(int percent)> &progress) const override;

    QList<Statement> writeStatements(const QString &table) const override;
    QStringList removeStatements(const QString &table) const override;
    QString textOnlyStatement(const QString &table) const override;
    QStringList indexTextStatements(const QString &table) const override;

    QString matchQuery(QSqlDatabase &db, const QString &table, const QList<QStringList> &words,
                       SearchScope scope, bool withEmail, QVariantList *binds) const override;
    QString missingMessage(QSqlDatabase &db, const QString &table) const override;
    QString searchFailure(const QSqlDatabase &db, const QSqlError &error) const override;
};
