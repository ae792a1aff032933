#include "runlog/RunLog.h"

#include <algorithm>
#include <set>

namespace vantrel {
namespace {

// Only the key column differs between the two databases; neither reuses an id.
std::string RunsTable(bool postgres) {
    return std::string("CREATE TABLE runs (id ") +
           (postgres ? "BIGSERIAL PRIMARY KEY" : "INTEGER PRIMARY KEY AUTOINCREMENT") +
           ", started_at TEXT NOT NULL, finished_at TEXT NOT NULL, station TEXT NOT NULL, "
           "operator TEXT NOT NULL, tool_version TEXT NOT NULL, rom_path TEXT NOT NULL, "
           "rom_sha256 TEXT, rom_bytes BIGINT, base_address TEXT NOT NULL, baud INTEGER NOT NULL, "
           "outcome TEXT NOT NULL, exit_code INTEGER NOT NULL, run_key TEXT, host TEXT, pid "
           "BIGINT)";
}

constexpr const char* kUnitsTable =
    "CREATE TABLE units ("
    "run_id BIGINT NOT NULL REFERENCES runs(id), com_port TEXT NOT NULL, device TEXT NOT NULL, "
    "by_id_path TEXT, usb_serial TEXT, result TEXT NOT NULL, failed_stage INTEGER, "
    "failed_text TEXT, duration_ms BIGINT, cause TEXT)";

// Columns added since the first logs were made: a log from then gains them on first use.
struct AddedColumn {
    const char* table;
    const char* column;
    const char* type;
};
constexpr AddedColumn kAddedColumns[] = {{"runs", "run_key", "TEXT"},
                                         {"units", "cause", "TEXT"},
                                         {"runs", "host", "TEXT"},
                                         {"runs", "pid", "BIGINT"}};

// A run is kept once by its key, a unit once by its run and port. A log of an earlier version
// may hold a key twice: the record that went furthest (an end before a start), then the first,
// stays, and the others go with their units.
constexpr const char* kRunKeyIndex = "runs_run_key_unique";
constexpr const char* kUnitPortIndex = "units_run_port";
constexpr const char* kUnfinishedRank =
    "CASE WHEN %.outcome IN ('running', 'interrupted') THEN 1 ELSE 0 END";

std::string Ranked(const char* alias) {
    std::string rank = kUnfinishedRank;
    rank.replace(rank.find('%'), 1, alias);
    return rank;
}

std::string LaterDuplicateOf(const char* run) {
    return std::string("EXISTS (SELECT 1 FROM runs k WHERE k.run_key = ") + run +
           ".run_key AND k.id <> " + run + ".id AND (" + Ranked("k") + " < " + Ranked(run) +
           " OR (" + Ranked("k") + " = " + Ranked(run) + " AND k.id < " + run + ".id)))";
}

SqlValue Value(const std::string& text) {
    return text;
}

SqlValue Value(std::int64_t number) {
    return number;
}

template <typename T>
SqlValue Value(const std::optional<T>& value) {
    if (!value) {
        return std::monostate{};
    }
    if constexpr (std::is_same_v<T, std::string>) {
        return *value;
    } else {
        return static_cast<std::int64_t>(*value);
    }
}

std::int64_t Number(const std::optional<std::string>& text) {
    return text ? std::stoll(*text) : 0;
}

std::set<std::string> Names(const std::vector<SqlRow>& rows) {
    std::set<std::string> names;
    for (const SqlRow& row : rows) {
        if (!row.empty() && row[0]) {
            names.insert(*row[0]);
        }
    }
    return names;
}

}  // namespace

RunLog::RunLog(const LogTarget& target, LogAccess access, LogWaits waits)
    : target_(target), access_(access), waits_(waits) {
    Connected();
    if (access_ == LogAccess::ReadWrite) {
        MakeWhatIsMissing();
    }
}

RunLog::~RunLog() = default;

LogDatabase& RunLog::Connected() {
    if (!database_) {
        database_ = ConnectLogDatabase(target_, access_, LogDeadline(waits_));
    }
    return *database_;
}

std::vector<SqlRow> RunLog::Query(const std::string& sql, const std::vector<SqlValue>& values) {
    try {
        return Connected().Run(sql, values, LogDeadline(waits_));
    } catch (const RunLogError&) {
        database_.reset();
        throw;
    }
}

template <typename Work>
void RunLog::InTransaction(Work work) {
    LogDatabase& db = Connected();
    const LogDeadline deadline(waits_);
    try {
        db.BeginWriting(deadline);
        work(db, deadline);
        db.Commit(deadline);
    } catch (const RunLogError&) {
        db.Abandon();
        database_.reset();
        throw;
    }
}

void RunLog::MakeWhatIsMissing() {
    // Looked up in the catalog, never by trying: a role that may only write rows logs to a log
    // that lacks nothing, and several stations starting on an empty database make it once.
    const bool postgres = Connected().IsPostgres();
    struct Catalog {
        std::set<std::string> tables, indexes;
        std::set<std::string> columns[2];
    };
    const auto look = [postgres](LogDatabase& db, const LogDeadline& deadline) {
        Catalog catalog;
        catalog.tables = Names(db.Run(
            postgres ? "SELECT table_name FROM information_schema.tables WHERE table_schema = "
                       "current_schema()"
                     : "SELECT name FROM sqlite_master WHERE type = 'table'",
            {}, deadline));
        catalog.indexes = Names(
            db.Run(postgres ? "SELECT indexname FROM pg_indexes WHERE schemaname = current_schema()"
                            : "SELECT name FROM sqlite_master WHERE type = 'index'",
                   {}, deadline));
        int slot = 0;
        for (const char* table : {"runs", "units"}) {
            catalog.columns[slot++] =
                Names(db.Run(postgres ? "SELECT column_name FROM information_schema.columns WHERE "
                                        "table_schema = current_schema() AND table_name = ?"
                                      : "SELECT name FROM pragma_table_info(?)",
                             {std::string(table)}, deadline));
        }
        return catalog;
    };
    const auto missing = [](const Catalog& catalog) {
        bool lacking = !catalog.tables.contains("runs") || !catalog.tables.contains("units") ||
                       !catalog.indexes.contains(kRunKeyIndex) ||
                       !catalog.indexes.contains(kUnitPortIndex);
        for (const AddedColumn& added : kAddedColumns) {
            lacking =
                lacking ||
                !catalog.columns[std::string(added.table) == "runs" ? 0 : 1].contains(added.column);
        }
        return lacking;
    };
    {
        LogDatabase& db = Connected();
        try {
            if (!missing(look(db, LogDeadline(waits_)))) {
                return;
            }
        } catch (const RunLogError&) {
            database_.reset();
            throw;
        }
    }
    InTransaction([&](LogDatabase& db, const LogDeadline& deadline) {
        if (postgres) {
            // DDL of two sessions at once collides in the catalog: one after the other.
            db.Run("SELECT pg_advisory_xact_lock(7386017)", {}, deadline);
        }
        const Catalog catalog = look(db, deadline);
        std::vector<std::string> statements;
        if (!catalog.tables.contains("runs")) {
            statements.push_back(RunsTable(postgres));
            statements.emplace_back("CREATE INDEX runs_started_at ON runs (started_at)");
        }
        if (!catalog.tables.contains("units")) {
            statements.emplace_back(kUnitsTable);
            statements.emplace_back("CREATE INDEX units_run_id ON units (run_id)");
        }
        for (const AddedColumn& added : kAddedColumns) {
            const bool runs = std::string(added.table) == "runs";
            if (catalog.tables.contains(added.table) &&
                !catalog.columns[runs ? 0 : 1].contains(added.column)) {
                statements.push_back(std::string("ALTER TABLE ") + added.table + " ADD COLUMN " +
                                     added.column + " " + added.type);
            }
        }
        if (!catalog.indexes.contains(kRunKeyIndex)) {
            statements.push_back(
                "DELETE FROM units WHERE run_id IN (SELECT r.id FROM runs r "
                "WHERE " +
                LaterDuplicateOf("r") + ")");
            statements.push_back("DELETE FROM runs WHERE " + LaterDuplicateOf("runs"));
            statements.emplace_back("DROP INDEX IF EXISTS runs_run_key");
            statements.push_back(std::string("CREATE UNIQUE INDEX ") + kRunKeyIndex +
                                 " ON runs (run_key)");
        }
        if (!catalog.indexes.contains(kUnitPortIndex)) {
            statements.emplace_back(
                postgres ? "DELETE FROM units a USING units b WHERE a.run_id = b.run_id AND "
                           "a.com_port = b.com_port AND a.ctid > b.ctid"
                         : "DELETE FROM units WHERE rowid NOT IN (SELECT MIN(rowid) FROM units "
                           "GROUP BY run_id, com_port)");
            statements.push_back(std::string("CREATE UNIQUE INDEX ") + kUnitPortIndex +
                                 " ON units (run_id, com_port)");
        }
        for (const std::string& sql : statements) {
            db.Run(sql, {}, deadline);
        }
    });
}

void RunLog::Write(const RunRecord& run) {
    const bool finished = run.outcome != kRunningOutcome;
    InTransaction([&](LogDatabase& db, const LogDeadline& deadline) {
        const auto runId = [&] {
            return db.Run("SELECT id FROM runs WHERE run_key = ?", {Value(run.key)}, deadline);
        };
        // Looked up first, so a record written again takes no new id; the insert's own check
        // settles two stations writing one record at once.
        auto id = runId();
        if (id.empty()) {
            db.Run(
                "INSERT INTO runs (started_at, finished_at, station, operator, tool_version, "
                "rom_path, rom_sha256, rom_bytes, base_address, baud, outcome, exit_code, run_key, "
                "host, pid) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
                "ON CONFLICT (run_key) DO NOTHING",
                {Value(run.startedAt), Value(run.finishedAt), Value(run.station),
                 Value(run.operatorName), Value(run.toolVersion), Value(run.romPath),
                 Value(run.romSha256), Value(run.romBytes), Value(run.baseAddress),
                 Value(std::int64_t{run.baud}), Value(run.outcome),
                 Value(std::int64_t{run.exitCode}), Value(run.key),
                 run.host.empty() ? SqlValue{} : Value(run.host), Value(run.pid)},
                deadline);
            id = runId();
        }
        if (finished) {
            db.Run(
                "UPDATE runs SET finished_at = ?, rom_sha256 = ?, rom_bytes = ?, outcome = ?, "
                "exit_code = ? WHERE run_key = ?",
                {Value(run.finishedAt), Value(run.romSha256), Value(run.romBytes),
                 Value(run.outcome), Value(std::int64_t{run.exitCode}), Value(run.key)},
                deadline);
        }
        if (id.empty()) {
            throw RunLogError(LogFailure::Database, "the run " + run.key + " got no id");
        }
        const std::string sql =
            std::string(
                "INSERT INTO units (run_id, com_port, device, by_id_path, usb_serial, "
                "result, failed_stage, failed_text, duration_ms, cause) VALUES (?, ?, ?, "
                "?, ?, ?, ?, ?, ?, ?) ON CONFLICT (run_id, com_port) DO ") +
            (finished ? "UPDATE SET device = excluded.device, by_id_path = excluded.by_id_path, "
                        "usb_serial = excluded.usb_serial, result = excluded.result, "
                        "failed_stage = excluded.failed_stage, failed_text = "
                        "excluded.failed_text, duration_ms = excluded.duration_ms, cause = "
                        "excluded.cause"
                      : "NOTHING");
        for (const UnitRecord& u : run.units) {
            db.Run(sql,
                   {Value(Number(id[0][0])), Value(u.comPort), Value(u.device), Value(u.byIdPath),
                    Value(u.usbSerial), Value(u.result), Value(u.failedStage), Value(u.failedText),
                    Value(u.durationMs), Value(u.cause)},
                   deadline);
        }
    });
}

std::vector<InterruptedRun> RunLog::LeftRunning(const std::string& station) {
    std::vector<InterruptedRun> runs;
    for (const SqlRow& row : Query("SELECT id, started_at, host, pid FROM runs WHERE station = ? "
                                   "AND outcome = ? ORDER BY id",
                                   {station, std::string(kRunningOutcome)})) {
        InterruptedRun run;
        run.id = Number(row[0]);
        run.startedAt = row[1].value_or("");
        run.station = station;
        run.host = row[2];
        if (row[3]) {
            run.pid = Number(row[3]);
        }
        for (const SqlRow& port : Query("SELECT com_port FROM units WHERE run_id = ? ORDER BY "
                                        "com_port",
                                        {run.id})) {
            run.comPorts.push_back(port[0].value_or(""));
        }
        runs.push_back(std::move(run));
    }
    return runs;
}

void RunLog::MarkInterrupted(std::int64_t id, const std::string& now) {
    Query("UPDATE runs SET outcome = ?, finished_at = ? WHERE id = ? AND outcome = ?",
          {std::string(kInterruptedOutcome), now, id, std::string(kRunningOutcome)});
}

std::vector<UnitCount> RunLog::Counts(const std::string& since) {
    std::vector<UnitCount> counts;
    for (const SqlRow& row :
         Query("SELECT r.station, u.com_port, u.result, u.failed_text, COUNT(*) FROM units u "
               "JOIN runs r ON r.id = u.run_id WHERE r.started_at >= ? "
               "GROUP BY r.station, u.com_port, u.result, u.failed_text",
               {since})) {
        counts.push_back({row[0].value_or(""), row[1].value_or(""), row[2].value_or(""), row[3],
                          Number(row[4])});
    }
    return counts;
}

std::vector<HourCount> RunLog::UnitsPerHour(const std::string& since) {
    // The times are fixed-width UTC texts, so their first 13 characters name the hour in
    // either database. A running or interrupted run has no passed or failed unit.
    const std::string passed(kPassedResult);
    const std::string failed(kFailedResult);
    std::vector<HourCount> hours;
    for (const SqlRow& row :
         Query("SELECT r.station, SUBSTR(r.started_at, 1, 13) AS started_hour, "
               "SUM(CASE WHEN u.result = ? THEN 1 ELSE 0 END), "
               "SUM(CASE WHEN u.result = ? THEN 1 ELSE 0 END) FROM units u "
               "JOIN runs r ON r.id = u.run_id WHERE r.started_at >= ? AND u.result IN (?, ?) "
               "GROUP BY r.station, SUBSTR(r.started_at, 1, 13) ORDER BY started_hour, r.station",
               {passed, failed, since, passed, failed})) {
        hours.push_back({row[0].value_or(""), row[1].value_or(""), Number(row[2]), Number(row[3])});
    }
    return hours;
}

}  // namespace vantrel
