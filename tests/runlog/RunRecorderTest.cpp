// The record's way to the log: through the spool, exactly once, on a real SQLite file.
#include "runlog/RunRecorder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace vantrel {
namespace {

RunRecord Record(const std::string& key, const std::string& outcome, const std::string& station) {
    RunRecord run;
    run.key = key;
    run.startedAt = "2026-12-07T14:02:00.000Z";
    run.station = station;
    run.outcome = outcome;
    for (const char* port : {"COM1", "COM2"}) {
        UnitRecord unit;
        unit.comPort = port;
        unit.device = std::string("/dev/tty") + port;
        unit.result =
            outcome == kRunningOutcome || unit.comPort == "COM2" ? kUnknownResult : "passed";
        run.units.push_back(unit);
    }
    return run;
}

class RunRecorderTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "runlog_tests";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }
    std::string Path() const { return dir_.filePath("station.db").toStdString(); }
    // One number or text from the file, read apart from the log under test.
    QString Scalar(const QString& sql) {
        QString value;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
            db.setDatabaseName(QString::fromStdString(Path()));
            EXPECT_TRUE(db.open());
            QSqlQuery query(db);
            EXPECT_TRUE(query.exec(sql)) << sql.toStdString();
            value = query.next() ? query.value(0).toString() : QString();
        }
        QSqlDatabase::removeDatabase("check");
        return value;
    }

    QTemporaryDir dir_;
};

TEST_F(RunRecorderTest, ASpoolReplayedAfterACrashWritesEveryRecordOnce) {
    RunLog log(SqliteTarget{Path()});
    RunRecorder recorder(log, RunSpool(dir_.filePath("spool.jsonl")));
    std::string error;
    ASSERT_TRUE(recorder.Keep(Record("a", kRunningOutcome, "st"), error)) << error;
    ASSERT_TRUE(recorder.Keep(Record("a", "completed", "st"), error)) << error;
    ASSERT_TRUE(recorder.Keep(Record("b", kRunningOutcome, "st"), error)) << error;
    ASSERT_TRUE(QFile::copy(dir_.filePath("spool.jsonl"), dir_.filePath("copy")));
    EXPECT_EQ(recorder.Flush(), std::nullopt);
    EXPECT_EQ(recorder.Spooled(), 0u);
    EXPECT_FALSE(QFile::exists(dir_.filePath("spool.jsonl")));
    // Killed after writing, before the spool was emptied: the same records come again.
    ASSERT_TRUE(QFile::rename(dir_.filePath("copy"), dir_.filePath("spool.jsonl")));
    RunRecorder restarted(log, RunSpool(dir_.filePath("spool.jsonl")));
    EXPECT_EQ(restarted.Flush(), std::nullopt);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM runs"), "2");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM units"), "4");
    EXPECT_EQ(Scalar("SELECT outcome FROM runs WHERE run_key = 'a'"), "completed");
    EXPECT_EQ(Scalar("SELECT result FROM units WHERE com_port = 'COM1' AND run_id = "
                     "(SELECT id FROM runs WHERE run_key = 'a')"),
              "passed");
}

TEST_F(RunRecorderTest, RunsLeftRunningAreClosedAsInterruptedForTheirStationOnly) {
    RunLog log(SqliteTarget{Path()});
    log.Write(Record("a", kRunningOutcome, "st-1"));
    log.Write(Record("b", kRunningOutcome, "st-2"));
    log.Write(Record("c", "completed", "st-1"));
    const auto runs = log.CloseInterrupted("st-1", "2026-12-07T15:00:00.000Z");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].comPorts, (std::vector<std::string>{"COM1", "COM2"}));
    EXPECT_EQ(Scalar("SELECT outcome FROM runs WHERE run_key = 'a'"), kInterruptedOutcome);
    EXPECT_EQ(Scalar("SELECT outcome FROM runs WHERE run_key = 'b'"), kRunningOutcome);
    EXPECT_TRUE(log.CloseInterrupted("st-1", "2026-12-07T15:00:00.000Z").empty());
}

TEST_F(RunRecorderTest, ALogOfAnEarlierVersionGainsItsNewColumnsAndKeepsItsRuns) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "old");
        db.setDatabaseName(QString::fromStdString(Path()));
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        for (const char* sql :
             {"CREATE TABLE runs (id INTEGER PRIMARY KEY AUTOINCREMENT, started_at TEXT NOT NULL, "
              "finished_at TEXT NOT NULL, station TEXT NOT NULL, operator TEXT NOT NULL, "
              "tool_version TEXT NOT NULL, rom_path TEXT NOT NULL, rom_sha256 TEXT, rom_bytes "
              "BIGINT, base_address TEXT NOT NULL, baud INTEGER NOT NULL, outcome TEXT NOT NULL, "
              "exit_code INTEGER NOT NULL)",
              "CREATE TABLE units (run_id BIGINT NOT NULL REFERENCES runs(id), com_port TEXT NOT "
              "NULL, device TEXT NOT NULL, by_id_path TEXT, usb_serial TEXT, result TEXT NOT NULL, "
              "failed_stage INTEGER, failed_text TEXT, duration_ms BIGINT)",
              "INSERT INTO runs VALUES (1, 'a', 'b', 'st', 'op', '1.00', '/fw.rom', NULL, NULL, "
              "'00C10000', 57600, 'completed', 0)"}) {
            ASSERT_TRUE(query.exec(sql)) << sql;
        }
    }
    QSqlDatabase::removeDatabase("old");
    RunLog log(SqliteTarget{Path()});
    log.Write(Record("k", "completed", "st"));
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM runs"), "2");
    EXPECT_EQ(Scalar("SELECT COUNT(cause) + COUNT(*) FROM units"), "2");
}

}  // namespace
}  // namespace vantrel
