#pragma once

#include "store/search_index.h"

// The search index in an SQLite file: the text table, two trigram FTS5 indexes over it,
// indexes of the beginnings, and plain-SQL triggers.
class SqliteSearchIndex final : public FullTextIndex
{
public:
    SqliteSearchIndex() = default;

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
