#pragma once

#include "store/search_index.h"

// The search index in an SQLite file: the text table, two trigram FTS5 indexes over it,
// indexes of the beginnings, and plain-SQL triggers.
const FullTextIndex &sqliteSearchIndex();
