#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "runlog/LogTarget.h"
#include "runlog/LogWaits.h"

namespace vantrel {

// A value bound to a statement: NULL, a number or a text.
using SqlValue = std::variant<std::monostate, std::int64_t, std::string>;
// A row as text; nothing for NULL.
using SqlRow = std::vector<std::optional<std::string>>;

// One connection to the store, SQLite or PostgreSQL, on one thread. Every call returns within
// the deadline it is given, or as soon as the deadline's stop flag is set, and throws
// RunLogError for every failure; after a failure the connection is closed and must not be used.
class LogDatabase {
  public:
    virtual ~LogDatabase() = default;

    virtual bool IsPostgres() const = 0;
    // One statement with a ? for each value, in order; its rows.
    virtual std::vector<SqlRow> Run(const std::string& sql, const std::vector<SqlValue>& values,
                                    const LogDeadline& deadline) = 0;
    // A transaction that holds the store's write lock from its start, so two writers queue
    // instead of failing halfway.
    virtual void BeginWriting(const LogDeadline& deadline) = 0;
    virtual void Commit(const LogDeadline& deadline) = 0;
    // Ends the transaction without keeping anything; never waits.
    virtual void Abandon() noexcept = 0;
};

enum class LogAccess { ReadWrite, ReadOnly };

// Connects within the deadline. Throws RunLogError.
std::unique_ptr<LogDatabase> ConnectLogDatabase(const LogTarget& target, LogAccess access,
                                                const LogDeadline& deadline);

}  // namespace vantrel
