// Where the tests make their stores: store files in a test's temporary folder, or, when
// the suite runs on PostgreSQL (LARKSPUR_TEST_POSTGRES names the test server's
// maintenance database, see tests/postgres/pg-server.sh), a fresh database per store.
// A failing test names the engine it ran on.
#pragma once

#include <filesystem>
#include <string>

namespace teststores {

// "SQLite" or "PostgreSQL".
const char *engineName();
bool onServer();
// A location for a new store (nothing made there yet): `dir`/`name` or a new empty
// database on the test server.
std::filesystem::path newLocation(const std::filesystem::path &dir, const std::string &name = "store.db");
// Makes `to` (from newLocation) a copy of the store at `from`, which nobody may have open.
void copyStore(const std::filesystem::path &from, const std::filesystem::path &to);
// Runs SQL on the store behind the object model's back, as an administrator of the
// server might by hand; the text's "?1" and "?2" are the two values. Returns the number
// of rows changed.
long long runSql(const std::filesystem::path &store, const std::string &sql, const std::string &first = {},
                 const std::string &second = {});
// Everything the store holds, to compare before and after: the file's bytes (and a
// write-ahead log's), or a digest of every table of the database.
std::string contents(const std::filesystem::path &store);
// Ends every connection to the store's database, as a server restart or a lost network
// would (PostgreSQL only).
void killConnections(const std::filesystem::path &store);
// Gives a database made by newLocation back (nothing for a file).
void release(const std::filesystem::path &location);

} // namespace teststores
