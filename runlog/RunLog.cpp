#include "runlog/RunLog.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>

namespace vantrel {
namespace {

// Only the key column differs between the two databases; neither reuses an id.
QString RunsTable(bool postgres) {
    return QStringLiteral(
               "CREATE TABLE IF NOT EXISTS runs ("
               "id %1, started_at TEXT NOT NULL, finished_at TEXT NOT NULL, "
               "station TEXT NOT NULL, operator TEXT NOT NULL, tool_version TEXT NOT NULL, "
               "rom_path TEXT NOT NULL, rom_sha256 TEXT, rom_bytes BIGINT, "
               "base_address TEXT NOT NULL, baud INTEGER NOT NULL, outcome TEXT NOT NULL, "
               "exit_code INTEGER NOT NULL)")
        .arg(postgres ? "BIGSERIAL PRIMARY KEY" : "INTEGER PRIMARY KEY AUTOINCREMENT");
}

const char* const kUnitsTable =
    "CREATE TABLE IF NOT EXISTS units ("
    "run_id BIGINT NOT NULL REFERENCES runs(id), com_port TEXT NOT NULL, device TEXT NOT NULL, "
    "by_id_path TEXT, usb_serial TEXT, result TEXT NOT NULL, failed_stage INTEGER, "
    "failed_text TEXT, duration_ms BIGINT)";

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

void Execute(QSqlQuery& query) {
    if (!query.exec()) {
        throw RunLogError(ErrorText(query.lastError()));
    }
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
        // A server that is down must not hold a run's end for long.
        db.setConnectOptions("connect_timeout=5");
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
    for (const QString& sql :
         {RunsTable(postgres), QString(kUnitsTable),
          QStringLiteral("CREATE INDEX IF NOT EXISTS units_run_id ON units (run_id)"),
          QStringLiteral("CREATE INDEX IF NOT EXISTS runs_started_at ON runs (started_at)")}) {
        QSqlQuery query(db);
        if (!query.exec(sql)) {
            // SQLite does not report a file that is not a database until it is first read.
            throw RunLogError(ErrorText(query.lastError()));
        }
    }
}

void RunLog::Write(const RunRecord& run) {
    if (!connected_) {
        Connect();
    }
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    try {
        if (!db.transaction()) {
            throw RunLogError(ErrorText(db.lastError()));
        }
        QSqlQuery insert = Prepared(
            db,
            "INSERT INTO runs (started_at, finished_at, station, operator, tool_version, rom_path, "
            "rom_sha256, rom_bytes, base_address, baud, outcome, exit_code) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id");
        for (const QVariant& value :
             {Text(run.startedAt), Text(run.finishedAt), Text(run.station), Text(run.operatorName),
              Text(run.toolVersion), Text(run.romPath), OrNull(run.romSha256), OrNull(run.romBytes),
              Text(run.baseAddress), QVariant(run.baud), Text(run.outcome),
              QVariant(run.exitCode)}) {
            insert.addBindValue(value);
        }
        Execute(insert);
        if (!insert.next()) {
            throw RunLogError("the new run got no id");
        }
        const QVariant runId = insert.value(0);
        insert.finish();  // a statement still open would keep the commit from going through
        QSqlQuery unit =
            Prepared(db,
                     "INSERT INTO units (run_id, com_port, device, by_id_path, usb_serial, result, "
                     "failed_stage, failed_text, duration_ms) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (const UnitRecord& u : run.units) {
            for (const QVariant& value :
                 {runId, Text(u.comPort), Text(u.device), OrNull(u.byIdPath), OrNull(u.usbSerial),
                  Text(u.result), OrNull(u.failedStage), OrNull(u.failedText),
                  OrNull(u.durationMs)}) {
                unit.addBindValue(value);
            }
            Execute(unit);
        }
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
        Prepared(QSqlDatabase::database(connection_, false),
                 "SELECT r.station, u.com_port, u.result, u.failed_text, COUNT(*) FROM units u "
                 "JOIN runs r ON r.id = u.run_id WHERE r.started_at >= ? "
                 "GROUP BY r.station, u.com_port, u.result, u.failed_text");
    query.addBindValue(Text(since));
    Execute(query);
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

}  // namespace vantrel
