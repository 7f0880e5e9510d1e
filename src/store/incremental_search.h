#pragma once

#include <QString>

class TTable;

// The three kinds of incremental search, each with its index and key field.
enum class SearchKind { Name, Branch, Representative };

QString searchIndexName(SearchKind kind); // nInd, bInd, fInd
QString searchKeyField(SearchKind kind);  // nazwa, branza, filia

// A key release in a search box: make the kind's index the one in use (ending
// an edit), enter key mode, set the key field to the whole text of the box and
// move to the nearest key, or to the last record when no key is that large.
void incrementalSearch(TTable &table, SearchKind kind, const QString &text);
