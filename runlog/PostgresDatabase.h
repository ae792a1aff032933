#pragma once

#include "runlog/LogDatabase.h"

struct pg_conn;

namespace vantrel {

// A PostgreSQL database through libpq's asynchronous calls: every wait is a poll() of the
// connection's socket in short slices, so it ends at the deadline or at a stop whatever the
// server or the network does (a frozen server, a peer that never answers, dropped packets).
// TCP keepalives and a TCP user timeout let the kernel give up on a dead peer too.
class PostgresDatabase : public LogDatabase {
  public:
    // Throws RunLogError.
    PostgresDatabase(const PostgresTarget& target, const LogDeadline& deadline);
    ~PostgresDatabase() override;

    bool IsPostgres() const override { return true; }
    std::vector<SqlRow> Run(const std::string& sql, const std::vector<SqlValue>& values,
                            const LogDeadline& deadline) override;
    void BeginWriting(const LogDeadline& deadline) override;
    void Commit(const LogDeadline& deadline) override;
    void Abandon() noexcept override;

  private:
    enum class Direction { Read, Write };
    // Waits until the socket is ready, within the deadline. Throws RunLogError.
    void WaitFor(Direction direction, const LogDeadline& deadline);
    [[noreturn]] void Fail(const std::string& text);

    pg_conn* connection_ = nullptr;
};

}  // namespace vantrel
