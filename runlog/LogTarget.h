#pragma once

#include <string>
#include <variant>

namespace vantrel {

// Where the run log lives: an SQLite file, or a PostgreSQL database shared by a line of
// stations.
struct SqliteTarget {
    std::string path;
};

// Every field is a value handed to the database client as a parameter of its own, never text
// spliced into a connection string.
struct PostgresTarget {
    std::string user;
    std::string password;
    std::string host;  // a name, an address, or a socket folder (starts with '/')
    int port = 5432;
    std::string database;
    std::string sslMode;      // one of kSslModes; empty: the client's default
    std::string sslRootCert;  // the authority a server's certificate must have: a file path
};

using LogTarget = std::variant<SqliteTarget, PostgresTarget>;

struct LogTargetError {
    std::string text;
};

// What a PostgreSQL address may ask for in sslmode.
inline constexpr const char* kSslModes[] = {"disable", "allow",     "prefer",
                                            "require", "verify-ca", "verify-full"};

// "postgresql://user@host[:port]/dbname" (also "postgres://"), with only these options after
// '?': host=/socket/folder, sslmode=MODE, sslrootcert=FILE. Anything else is an SQLite file
// path. An error never shows the password.
std::variant<LogTarget, LogTargetError> ParseLogTarget(const std::string& text);

// The target as it may be shown: a PostgreSQL address without its password, whatever the
// password holds, also when the address is malformed.
std::string ShownLogTarget(const std::string& text);

}  // namespace vantrel
