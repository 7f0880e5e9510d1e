#include "store/incremental_search.h"

#include "store/table.h"

QString searchIndexName(SearchKind kind)
{
    switch (kind) {
    case SearchKind::Name:
        return QStringLiteral("nInd");
    case SearchKind::Branch:
        return QStringLiteral("bInd");
    case SearchKind::Representative:
        return QStringLiteral("fInd");
    }
    return {};
}

QString searchKeyField(SearchKind kind)
{
    switch (kind) {
    case SearchKind::Name:
        return QStringLiteral("nazwa");
    case SearchKind::Branch:
        return QStringLiteral("branza");
    case SearchKind::Representative:
        return QStringLiteral("filia");
    }
    return {};
}

void incrementalSearch(TTable &table, SearchKind kind, const QString &text)
{
    table.setIndexName(searchIndexName(kind));
    table.setKey();
    table.setFieldText(searchKeyField(kind), text);
    table.gotoNearest();
}
