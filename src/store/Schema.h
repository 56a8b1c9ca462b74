#pragma once

struct sqlite3;

namespace Schema {
// Creates the four tables (and their search indexes) when they are missing.
void create(sqlite3* db);
// Whether all four tables exist.
bool hasAllTables(sqlite3* db);
}  // namespace Schema
