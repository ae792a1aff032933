#include "runlog/LogDatabase.h"

#include "runlog/RunLogError.h"
#include "runlog/SqliteDatabase.h"

#ifdef VANTREL_WITH_POSTGRES
#include "runlog/PostgresDatabase.h"
#endif

namespace vantrel {

std::unique_ptr<LogDatabase> ConnectLogDatabase(const LogTarget& target, LogAccess access,
                                                const LogDeadline& deadline) {
    if (const auto* file = std::get_if<SqliteTarget>(&target)) {
        return std::make_unique<SqliteDatabase>(file->path, access);
    }
#ifdef VANTREL_WITH_POSTGRES
    return std::make_unique<PostgresDatabase>(std::get<PostgresTarget>(target), deadline);
#else
    (void)deadline;
    throw RunLogError(LogFailure::Database,
                      "cannot log to PostgreSQL: this build has no PostgreSQL client (the Windows "
                      "build has none); give an SQLite file as the log");
#endif
}

}  // namespace vantrel
