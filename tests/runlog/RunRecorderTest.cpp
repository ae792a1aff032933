// The record's way to the log: through the spool, exactly once, on a real SQLite file.
#include "runlog/RunRecorder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <chrono>

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
    RunRecorder recorder(log, RunSpool(dir_.filePath("spool.jsonl"), "log"));
    recorder.Keep(Record("a", kRunningOutcome, "st"));
    recorder.Keep(Record("a", "completed", "st"));
    recorder.Keep(Record("b", kRunningOutcome, "st"));
    ASSERT_TRUE(QFile::copy(dir_.filePath("spool.jsonl"), dir_.filePath("copy")));
    recorder.Flush();
    EXPECT_EQ(recorder.Spooled(), 0u);
    EXPECT_FALSE(QFile::exists(dir_.filePath("spool.jsonl")));
    // Killed after writing, before the spool was emptied: the same records come again.
    ASSERT_TRUE(QFile::rename(dir_.filePath("copy"), dir_.filePath("spool.jsonl")));
    RunRecorder restarted(log, RunSpool(dir_.filePath("spool.jsonl"), "log"));
    restarted.Flush();
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
    const auto runs = log.LeftRunning("st-1");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].comPorts, (std::vector<std::string>{"COM1", "COM2"}));
    log.MarkInterrupted(runs[0].id, "2026-12-07T15:00:00.000Z");
    EXPECT_EQ(Scalar("SELECT outcome FROM runs WHERE run_key = 'a'"), kInterruptedOutcome);
    EXPECT_EQ(Scalar("SELECT outcome FROM runs WHERE run_key = 'b'"), kRunningOutcome);
    EXPECT_TRUE(log.LeftRunning("st-1").empty());
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

TEST_F(RunRecorderTest, WhatIsNotARecordOfThisLogIsSetAsideOnceAndNeverJoinsTheNext) {
    const QString path = dir_.filePath("spool.jsonl");
    RunSpool other(path, "another log");
    other.Append(Record("theirs", kRunningOutcome, "st"));
    RunSpool spool(path, "log");
    spool.Append(Record("a", kRunningOutcome, "st"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("not a record\n{\"key\":\"cut-sh");  // a crash mid-line
    }
    spool.Append(Record("b", kRunningOutcome, "st"));
    const auto pending = spool.Pending();
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_EQ(pending[0].record.key, "a");
    EXPECT_EQ(pending[1].record.key, "b");
    const auto notices = spool.TakeNotices();
    ASSERT_EQ(notices.size(), 3u);
    EXPECT_EQ(notices[0].rfind("a record of the log another log in the spool ", 0), 0u);
    EXPECT_EQ(notices[1].rfind("line 3, not a record, in the spool ", 0), 0u);
    EXPECT_EQ(
        notices[2].rfind("a line cut short (a crash or a full disk leaves one) in the spool ", 0),
        0u)
        << notices[2];
    EXPECT_TRUE(spool.TakeNotices().empty()) << "told once";
    QFile aside(spool.AsidePath());
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    const QByteArray setAside = aside.readAll();
    EXPECT_EQ(setAside.count("\"key\":\"theirs\""), 1) << setAside.toStdString();
    EXPECT_TRUE(setAside.endsWith("\nnot a record\n{\"key\":\"cut-sh\n")) << setAside.toStdString();

    // What another process appends between a replay's read and its rewrite stays.
    spool.Append(Record("c", kRunningOutcome, "st"));
    spool.Remove({pending[0].line, pending[1].line});
    const auto rest = spool.Pending();
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0].record.key, "c");
}

TEST_F(RunRecorderTest, ARunIsKeptOnceAndItsEndIsNeverUndoneByALateStart) {
    RunLog log(SqliteTarget{Path()});
    for (const char* outcome : {kRunningOutcome, "completed", kRunningOutcome, "completed"}) {
        log.Write(Record("k", outcome, "st"));
    }
    EXPECT_EQ(Scalar("SELECT COUNT(*) || ' ' || MAX(id) || ' ' || outcome FROM runs"),
              "1 1 completed");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM units WHERE result = 'passed'"), "1");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM units"), "2");
    EXPECT_TRUE(log.LeftRunning("st").empty());
}

TEST_F(RunRecorderTest, ALogThatHoldsAKeyTwiceKeepsTheRecordThatWentFurthest) {
    { RunLog log(SqliteTarget{Path()}); }
    {
        // As two replays of one spool left it before keys were unique.
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "old");
        db.setDatabaseName(QString::fromStdString(Path()));
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        for (const char* sql :
             {"DROP INDEX runs_run_key_unique", "DROP INDEX units_run_port",
              "INSERT INTO runs (id, started_at, finished_at, station, operator, tool_version, "
              "rom_path, base_address, baud, outcome, exit_code, run_key) VALUES "
              "(1, 'a', '', 'st', 'op', '1.00', '/fw', '00C10000', 57600, 'running', -1, 'k'), "
              "(2, 'a', 'b', 'st', 'op', '1.00', '/fw', '00C10000', 57600, 'completed', 0, 'k'), "
              "(3, 'a', 'b', 'st', 'op', '1.00', '/fw', '00C10000', 57600, 'completed', 0, 'k')",
              "INSERT INTO units (run_id, com_port, device, result) VALUES (1, 'COM1', 'd', "
              "'unknown'), (2, 'COM1', 'd', 'passed'), (2, 'COM1', 'd', 'passed'), (3, 'COM1', "
              "'d', 'passed')"}) {
            ASSERT_TRUE(query.exec(sql)) << sql;
        }
    }
    QSqlDatabase::removeDatabase("old");
    RunLog log(SqliteTarget{Path()});
    EXPECT_EQ(Scalar("SELECT GROUP_CONCAT(id) FROM runs"), "2");
    EXPECT_EQ(Scalar("SELECT COUNT(*) || ' ' || MIN(run_id) FROM units"), "1 2");
    log.Write(Record("k", "completed", "st"));
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM runs"), "1");
}

TEST_F(RunRecorderTest, ALockedLogFileIsWaitedForWithinTheBoundOnly) {
    RunLog log(SqliteTarget{Path()}, LogAccess::ReadWrite,
               LogWaits{std::chrono::milliseconds(300)});
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "holder");
    db.setDatabaseName(QString::fromStdString(Path()));
    ASSERT_TRUE(db.open());
    QSqlQuery hold(db);
    ASSERT_TRUE(hold.exec("BEGIN IMMEDIATE"));
    try {
        log.Write(Record("k", kRunningOutcome, "st"));
        ADD_FAILURE() << "written past another program's lock";
    } catch (const RunLogError& error) {
        EXPECT_EQ(error.Kind(), LogFailure::NoAnswer);
        EXPECT_EQ(
            std::string(error.what()),
            "the log file " + Path() + " stayed locked by another program for more than 0.3 s");
    }
    ASSERT_TRUE(hold.exec("ROLLBACK"));
    log.Write(Record("k", kRunningOutcome, "st"));
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM runs"), "1");
    hold = QSqlQuery();
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase("holder");
}

}  // namespace
}  // namespace vantrel
