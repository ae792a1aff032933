#pragma once

#include <string>

namespace vantrel {

// What a shell command prints on stdout.
std::string CommandOutput(const std::string& command);

// A PostgreSQL server of the test's own: a fresh cluster in a temporary folder, reached only
// through a Unix socket there, stopped and removed with the object. Under root the server runs
// as the postgres user, as it refuses root.
class PostgresServer {
  public:
    // Where initdb and pg_ctl are; empty when PostgreSQL is not installed.
    static std::string BinFolder();

    // Throws std::runtime_error, with the server's log, when it does not start.
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    void Start();
    void Stop();
    // Stops every process of the server (SIGSTOP), as a server that hangs; Thaw goes on.
    void Freeze();
    void Thaw();
    // Restarts the server listening on 127.0.0.1 as well, where it takes TLS connections only,
    // with a self-signed certificate for localhost; returns the certificate's file.
    std::string EnableTls();
    int TlsPort() const;
    // For --log: postgresql://postgres@/DATABASE?host=FOLDER
    std::string Url(const std::string& database = "postgres") const;
    // psql's unaligned rows, "a|b" a line.
    std::string Query(const std::string& sql, const std::string& database = "postgres") const;
    // Another session that takes the table's strongest lock and holds it for the given time
    // (pg_sleep); returns once the lock is held.
    void HoldLock(const std::string& table, int seconds) const;

  private:
    // As the server's owner; false when the command failed.
    bool AsOwner(const std::string& command) const;

    std::string bin_;
    std::string dir_;
    bool running_ = false;
    bool frozen_ = false;
    int tlsPort_ = 0;
};

}  // namespace vantrel
