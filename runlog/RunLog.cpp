#include "runlog/RunLog.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <atomic>
#include <optional>

namespace vantrel {
namespace {

// Only the key column differs between the two databases; neither reuses an id.
QString RunsTable(bool postgres) {
    return QStringLiteral(
               "CREATE TABLE runs ("
               "id %1, started_at TEXT NOT NULL, finished_at TEXT NOT NULL, "
               "station TEXT NOT NULL, operator TEXT NOT NULL, tool_version TEXT NOT NULL, "
               "rom_path TEXT NOT NULL, rom_sha256 TEXT, rom_bytes BIGINT, "
               "base_address TEXT NOT NULL, baud INTEGER NOT NULL, outcome TEXT NOT NULL, "
               "exit_code INTEGER NOT NULL, run_key TEXT)")
        .arg(postgres ? "BIGSERIAL PRIMARY KEY" : "INTEGER PRIMARY KEY AUTOINCREMENT");
}

const char* const kUnitsTable =
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
constexpr AddedColumn kAddedColumns[] = {{"runs", "run_key", "TEXT"}, {"units", "cause", "TEXT"}};

QString NextConnectionName() {
    static std::atomic<int> next{0};
    return QStringLiteral("vantrel-runlog-%1").arg(next++);
}

QVariant Text(const std::string& value) {
    return QString::fromStdString(value);
}

template <typename T>
QVariant OrNull(const std::optional<T>& value) {
    if constexpr (std::is_same_v<T, std::string>) {
        return value ? Text(*value) : QVariant(QMetaType::fromType<QString>());
    } else {
        return value ? QVariant::fromValue(static_cast<qlonglong>(*value))
                     : QVariant(QMetaType::fromType<qlonglong>());
    }
}

std::string ErrorText(const QSqlError& error) {
    const QString text = error.text().trimmed();
    return text.isEmpty() ? "unknown database error" : text.toStdString();
}

QSqlQuery Prepared(const QSqlDatabase& db, const QString& sql) {
    QSqlQuery query(db);
    if (!query.prepare(sql)) {
        throw RunLogError(ErrorText(query.lastError()));
    }
    return query;
}

// Binds the values in order, then runs the statement.
void Execute(QSqlQuery& query, const std::vector<QVariant>& values = {}) {
    for (const QVariant& value : values) {
        query.addBindValue(value);
    }
    if (!query.exec()) {
        throw RunLogError(ErrorText(query.lastError()));
    }
}

QSqlQuery Executed(const QSqlDatabase& db, const QString& sql,
                   const std::vector<QVariant>& values) {
    QSqlQuery query = Prepared(db, sql);
    Execute(query, values);
    return query;
}

// The id of the run written under this key before, if any.
std::optional<QVariant> RunId(const QSqlDatabase& db, const std::string& key) {
    QSqlQuery query = Executed(db, "SELECT id FROM runs WHERE run_key = ?", {Text(key)});
    if (!query.next()) {
        return std::nullopt;
    }
    return query.value(0);
}

QVariant InsertRun(const QSqlDatabase& db, const RunRecord& run) {
    QSqlQuery insert = Executed(
        db,
        "INSERT INTO runs (started_at, finished_at, station, operator, tool_version, rom_path, "
        "rom_sha256, rom_bytes, base_address, baud, outcome, exit_code, run_key) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
        {Text(run.startedAt), Text(run.finishedAt), Text(run.station), Text(run.operatorName),
         Text(run.toolVersion), Text(run.romPath), OrNull(run.romSha256), OrNull(run.romBytes),
         Text(run.baseAddress), QVariant(run.baud), Text(run.outcome), QVariant(run.exitCode),
         Text(run.key)});
    if (!insert.next()) {
        throw RunLogError("the new run got no id");
    }
    const QVariant id = insert.value(0);
    insert.finish();  // a statement still open would keep the commit from going through
    return id;
}

// From the catalog: the driver's own look at a table's columns waits for a lock on it.
bool HasColumn(const QSqlDatabase& db, bool postgres, const AddedColumn& added) {
    if (!postgres) {
        return db.record(added.table).contains(added.column);
    }
    QSqlQuery query(db);
    query.prepare(
        "SELECT 1 FROM information_schema.columns WHERE table_schema = current_schema() AND "
        "table_name = ? AND column_name = ?");
    query.addBindValue(QString(added.table));
    query.addBindValue(QString(added.column));
    return query.exec() && query.next();
}

}  // namespace

RunLog::RunLog(const LogTarget& target, Mode mode)
    : target_(target), mode_(mode), connection_(NextConnectionName()) {
    Connect();
}

RunLog::~RunLog() {
    {
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection_);
}

void RunLog::Connect() {
    const bool postgres = std::holds_alternative<PostgresTarget>(target_);
    // The Windows build's Qt has no PostgreSQL driver.
    if (postgres && !QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        throw RunLogError(
            "cannot log to PostgreSQL: Qt's PostgreSQL driver (QPSQL) is not installed here, and "
            "the Windows build has none; give an SQLite file as the log");
    }
    QSqlDatabase db = QSqlDatabase::contains(connection_)
                          ? QSqlDatabase::database(connection_, false)
                          : QSqlDatabase::addDatabase(postgres ? "QPSQL" : "QSQLITE", connection_);
    if (!db.isValid()) {
        throw RunLogError(ErrorText(db.lastError()));
    }
    db.close();
    if (const auto* pg = std::get_if<PostgresTarget>(&target_)) {
        db.setHostName(QString::fromStdString(pg->host));
        db.setPort(pg->port);
        db.setUserName(QString::fromStdString(pg->user));
        db.setPassword(QString::fromStdString(pg->password));
        db.setDatabaseName(QString::fromStdString(pg->database));
        // A server that is down, or a lock held by another session, must not hold the station:
        // every wait is bounded and the record goes to the spool instead.
        QString options = QStringLiteral(
            "connect_timeout=5;options='-c statement_timeout=5000 -c lock_timeout=2000'");
        if (!pg->sslMode.empty()) {
            options += QString::fromStdString(";sslmode=" + pg->sslMode);
        }
        if (!pg->sslRootCert.empty()) {
            options += QString::fromStdString(";sslrootcert=" + pg->sslRootCert);
        }
        db.setConnectOptions(options);
    } else {
        const QString path = QString::fromStdString(std::get<SqliteTarget>(target_).path);
        if (mode_ == Mode::ReadOnly && !QFileInfo(path).isFile()) {
            throw RunLogError("no such log file: " + path.toStdString());
        }
        db.setDatabaseName(path);
        // Two stations may share a file: wait for the other's transaction.
        db.setConnectOptions(mode_ == Mode::ReadOnly
                                 ? "QSQLITE_BUSY_TIMEOUT=5000;QSQLITE_OPEN_READONLY"
                                 : "QSQLITE_BUSY_TIMEOUT=5000");
    }
    if (!db.open()) {
        throw RunLogError(ErrorText(db.lastError()));
    }
    if (mode_ == Mode::ReadWrite) {
        CreateTables();
    }
    connected_ = true;
}

void RunLog::CreateTables() {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    const bool postgres = std::holds_alternative<PostgresTarget>(target_);
    // Only what is missing is made, so a role that may only write rows can log. The catalog is
    // asked, not the tables: a lock held on a table must not pass for a missing one.
    const QStringList tables = db.tables();
    std::vector<QString> statements;
    if (!tables.contains("runs")) {
        statements.push_back(RunsTable(postgres));
        statements.push_back(QStringLiteral("CREATE INDEX runs_started_at ON runs (started_at)"));
        statements.push_back(QStringLiteral("CREATE INDEX runs_run_key ON runs (run_key)"));
    }
    if (!tables.contains("units")) {
        statements.push_back(QString(kUnitsTable));
        statements.push_back(QStringLiteral("CREATE INDEX units_run_id ON units (run_id)"));
    }
    for (const AddedColumn& added : kAddedColumns) {
        if (tables.contains(added.table) && !HasColumn(db, postgres, added)) {
            statements.push_back(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                                     .arg(added.table, added.column, added.type));
        }
    }
    for (const QString& sql : statements) {
        QSqlQuery query(db);
        if (!query.exec(sql)) {
            // SQLite does not report a file that is not a database until it is first read.
            throw RunLogError(ErrorText(query.lastError()));
        }
    }
}

void RunLog::Write(const RunRecord& run) {
    InTransaction([&](QSqlDatabase& db) {
        const std::optional<QVariant> known = RunId(db, run.key);
        const QVariant runId = known ? *known : InsertRun(db, run);
        if (known) {
            Executed(db,
                     "UPDATE runs SET finished_at = ?, rom_sha256 = ?, rom_bytes = ?, outcome = ?, "
                     "exit_code = ? WHERE id = ?",
                     {Text(run.finishedAt), OrNull(run.romSha256), OrNull(run.romBytes),
                      Text(run.outcome), QVariant(run.exitCode), runId});
        }
        // Units are updated in place, never deleted: a logging role needs no DELETE.
        QSqlQuery update =
            Prepared(db,
                     "UPDATE units SET device = ?, by_id_path = ?, usb_serial = ?, result = ?, "
                     "failed_stage = ?, failed_text = ?, duration_ms = ?, cause = ? "
                     "WHERE run_id = ? AND com_port = ?");
        QSqlQuery insert =
            Prepared(db,
                     "INSERT INTO units (device, by_id_path, usb_serial, result, failed_stage, "
                     "failed_text, duration_ms, cause, run_id, com_port) VALUES (?, ?, ?, ?, ?, ?, "
                     "?, ?, ?, ?)");
        for (const UnitRecord& u : run.units) {
            const std::vector<QVariant> values = {
                Text(u.device),       OrNull(u.byIdPath),    OrNull(u.usbSerial),
                Text(u.result),       OrNull(u.failedStage), OrNull(u.failedText),
                OrNull(u.durationMs), OrNull(u.cause),       runId,
                Text(u.comPort)};
            Execute(known ? update : insert, values);
            if (known && update.numRowsAffected() == 0) {
                Execute(insert, values);
            }
        }
    });
}

std::vector<InterruptedRun> RunLog::CloseInterrupted(const std::string& station,
                                                     const std::string& now) {
    std::vector<InterruptedRun> runs;
    InTransaction([&](QSqlDatabase& db) {
        QSqlQuery running = Executed(
            db, "SELECT id, started_at FROM runs WHERE station = ? AND outcome = ? ORDER BY id",
            {Text(station), QString(kRunningOutcome)});
        while (running.next()) {
            runs.push_back({running.value(0).toLongLong(),
                            running.value(1).toString().toStdString(),
                            station,
                            {}});
        }
        running.finish();
        for (InterruptedRun& run : runs) {
            const auto id = QVariant::fromValue(static_cast<qlonglong>(run.id));
            QSqlQuery ports =
                Executed(db, "SELECT com_port FROM units WHERE run_id = ? ORDER BY com_port", {id});
            while (ports.next()) {
                run.comPorts.push_back(ports.value(0).toString().toStdString());
            }
            Executed(db, "UPDATE runs SET outcome = ?, finished_at = ? WHERE id = ?",
                     {QString(kInterruptedOutcome), Text(now), id});
        }
    });
    return runs;
}

void RunLog::InTransaction(const std::function<void(QSqlDatabase&)>& work) {
    if (!connected_) {
        Connect();
    }
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    try {
        if (!db.transaction()) {
            throw RunLogError(ErrorText(db.lastError()));
        }
        work(db);
        if (!db.commit()) {
            throw RunLogError(ErrorText(db.lastError()));
        }
    } catch (const RunLogError&) {
        db.rollback();
        db.close();
        connected_ = false;
        throw;
    }
}

std::vector<UnitCount> RunLog::Counts(const std::string& since) const {
    QSqlQuery query =
        Executed(QSqlDatabase::database(connection_, false),
                 "SELECT r.station, u.com_port, u.result, u.failed_text, COUNT(*) FROM units u "
                 "JOIN runs r ON r.id = u.run_id WHERE r.started_at >= ? "
                 "GROUP BY r.station, u.com_port, u.result, u.failed_text",
                 {Text(since)});
    std::vector<UnitCount> counts;
    while (query.next()) {
        UnitCount count;
        count.station = query.value(0).toString().toStdString();
        count.comPort = query.value(1).toString().toStdString();
        count.result = query.value(2).toString().toStdString();
        if (!query.value(3).isNull()) {
            count.failedText = query.value(3).toString().toStdString();
        }
        count.count = query.value(4).toLongLong();
        counts.push_back(count);
    }
    return counts;
}

std::vector<HourCount> RunLog::UnitsPerHour(const std::string& since) const {
    // The times are fixed-width UTC texts, so their first 13 characters name the hour in
    // either database. A running or interrupted run has no passed or failed unit.
    const QString passed(kPassedResult);
    const QString failed(kFailedResult);
    QSqlQuery query =
        Executed(QSqlDatabase::database(connection_, false),
                 "SELECT r.station, SUBSTR(r.started_at, 1, 13) AS started_hour, "
                 "SUM(CASE WHEN u.result = ? THEN 1 ELSE 0 END), "
                 "SUM(CASE WHEN u.result = ? THEN 1 ELSE 0 END) FROM units u "
                 "JOIN runs r ON r.id = u.run_id WHERE r.started_at >= ? AND u.result IN (?, ?) "
                 "GROUP BY r.station, SUBSTR(r.started_at, 1, 13) ORDER BY started_hour, r.station",
                 {passed, failed, Text(since), passed, failed});
    std::vector<HourCount> hours;
    while (query.next()) {
        hours.push_back({query.value(0).toString().toStdString(),
                         query.value(1).toString().toStdString(), query.value(2).toLongLong(),
                         query.value(3).toLongLong()});
    }
    return hours;
}

}  // namespace vantrel
