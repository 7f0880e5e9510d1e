#pragma once

#include "store/search_index.h"

// The search index on a PostgreSQL server: the text table with pg_trgm's GIN index on
// each column, indexes of the beginnings, and triggers that call plpgsql functions.
const FullTextIndex &postgresSearchIndex();
