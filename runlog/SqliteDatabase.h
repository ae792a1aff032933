#pragma once

#include <QString>

#include "runlog/LogDatabase.h"

namespace vantrel {

// An SQLite file through Qt SQL. A lock held by another program is waited for in short tries,
// so the deadline and the stop flag are looked at between them.
class SqliteDatabase : public LogDatabase {
  public:
    // Throws RunLogError.
    SqliteDatabase(const std::string& path, LogAccess access);
    ~SqliteDatabase() override;

    bool IsPostgres() const override { return false; }
    std::vector<SqlRow> Run(const std::string& sql, const std::vector<SqlValue>& values,
                            const LogDeadline& deadline) override;
    void BeginWriting(const LogDeadline& deadline) override;
    void Commit(const LogDeadline& deadline) override;
    void Abandon() noexcept override;

  private:
    std::string path_;
    QString connection_;
};

}  // namespace vantrel
