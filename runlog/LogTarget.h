#pragma once

#include <string>
#include <variant>

namespace vantrel {

// Where the run log lives: an SQLite file, or a PostgreSQL database shared by a line of
// stations.
struct SqliteTarget {
    std::string path;
};

struct PostgresTarget {
    std::string user;
    std::string password;
    std::string host;  // a name, an address, or a socket folder (starts with '/')
    int port = 5432;
    std::string database;
    std::string sslMode;      // ?sslmode=require, verify-full, ...; empty: the driver's default
    std::string sslRootCert;  // ?sslrootcert=FILE: the authority a server's certificate must have
};

using LogTarget = std::variant<SqliteTarget, PostgresTarget>;

struct LogTargetError {
    std::string text;
};

// "postgresql://user@host[:port]/dbname" (also "postgres://", "?host=/socket/folder" for a
// Unix socket, "?sslmode=...&sslrootcert=FILE" for TLS); anything else is an SQLite file path.
std::variant<LogTarget, LogTargetError> ParseLogTarget(const std::string& text);

// The target as it may be shown: a PostgreSQL address without its password.
std::string ShownLogTarget(const std::string& text);

}  // namespace vantrel
