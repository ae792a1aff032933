// The vantrel-cli program itself, against simulated units on pseudo-terminals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "image/SRecordWriter.h"
#include "tests/cli/CliFixture.h"
#include "tests/cli/PostgresServer.h"
#include "tests/image/ToolFiles.h"
#include "tests/tools/ChildProgram.h"
#include "tools/unitsim/UnitSim.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct BaudCase {
    std::vector<std::string> arguments;
    std::uint32_t baud;  // the units end up listening at
};

class CliProgramAtBaud : public CliProgramTest, public ::testing::WithParamInterface<BaudCase> {};

TEST_P(CliProgramAtBaud, CleanRunOnThreeUnitsFlashesEveryOne) {
    sim::UnitBench bench(Units(3));
    const auto image = Pattern(3000);
    const std::string rom = WriteRom(image);
    std::vector<std::string> arguments = GetParam().arguments;
    arguments.insert(arguments.end(),
                     {"--rom", rom, bench.LinkPath(1), bench.LinkPath(2), bench.LinkPath(3)});
    EXPECT_EQ(RunToEnd(arguments), 0) << Err();
    for (unsigned unit = 1; unit <= 3; ++unit) {
        const auto report = bench.Unit(unit).Report();
        const auto written = report.WrittenRange();
        EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.end()), image);
        EXPECT_EQ(*report.lowestWritten, kBase);
        // The unit hears only its own speed: every byte after the switch came at it.
        EXPECT_EQ(report.baud, GetParam().baud);
        EXPECT_EQ(report.noiseBytesIgnored, 0u);
    }
    EXPECT_NE(Out().find("3 of 3 units complete (completed)"), std::string::npos) << Out();
    EXPECT_FALSE(fs::exists(dir_ / "config" / "Orlmark Ltd." / "Vantrel.conf"))
        << "no settings written without --remember";
}

INSTANTIATE_TEST_SUITE_P(Baud, CliProgramAtBaud,
                         ::testing::Values(BaudCase{{}, 57600},
                                           BaudCase{{"--baud", "115200"}, 115200}),
                         [](const ::testing::TestParamInfo<BaudCase>& test) {
                             return std::to_string(test.param.baud);
                         });

TEST_F(CliProgramTest, SilentUnitFailsTheRunWhileTheOthersAreCorrect) {
    sim::BenchOptions options = Units(3);
    options.faults[2] = {{sim::FaultKind::Silent}};
    sim::UnitBench bench(options);
    const auto image = Pattern(500);
    const std::string rom = WriteRom(image);
    EXPECT_EQ(RunToEnd({"--rom", rom, "--remember", bench.LinkPath(1), bench.LinkPath(2),
                        bench.LinkPath(3)}),
              1);
    EXPECT_NE(Err().find("Error detected with the unit connected to COM 2: Force2Mon Failed..."),
              std::string::npos)
        << Err();
    for (unsigned unit : {1u, 3u}) {
        const auto report = bench.Unit(unit).Report();
        const auto written = report.WrittenRange();
        EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.end()), image);
    }
    const std::string settings =
        testing::ReadText(dir_ / "config" / "Orlmark Ltd." / "Vantrel.conf");
    EXPECT_NE(settings.find("FwBaseAddr=00C10000"), std::string::npos) << settings;
}

TEST_F(CliProgramTest, ToolFilesFlashExactlyOrAreRefusedBeforeAnyPortIsTouched) {
    sim::UnitBench bench(Units(2));
    const auto files = testing::MakeToolFiles(dir_);
    for (const testing::ToolFile& file : files) {
        // S2 records, Intel HEX and ELF are flashed; every refused file is tried.
        if (!file.refusal && file.name != "objcopy-bin.srec" && file.name != "srec_cat.hex") {
            continue;
        }
        SCOPED_TRACE(file.name);
        // As if replaced: the units start from nothing heard.
        bench.PowerCycle();
        for (unsigned unit : {1u, 2u}) {
            ASSERT_TRUE(bench.Unit(unit).WaitUntil(
                [](const sim::UnitReport& r) { return r.bytesReceived == 0; }, 10s));
        }
        const std::string base = file.base == kBase ? "00C10000" : "1000";
        const int code = RunToEnd({"--json", "--rom", file.path.string(), "--base", base,
                                   bench.LinkPath(1), bench.LinkPath(2)});
        if (file.refusal) {
            EXPECT_EQ(code, 2);
            EXPECT_EQ(Err().find('\n'), Err().size() - 1) << "one reason: " << Err();
            EXPECT_EQ(Err().rfind(file.path.string(), 0), 0u) << Err();
            EXPECT_NE(Out().find("\"result\": \"not-flashed\""), std::string::npos) << Out();
            for (unsigned unit : {1u, 2u}) {
                EXPECT_EQ(bench.Unit(unit).Report().bytesReceived, 0u) << unit;
            }
            continue;
        }
        EXPECT_EQ(code, 0) << Err();
        for (unsigned unit : {1u, 2u}) {
            const auto report = bench.Unit(unit).Report();
            const auto written = report.WrittenRange();
            EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.end()), file.image);
        }
    }
    // The plain summary of a refused run names no unit.
    EXPECT_EQ(RunToEnd({"--rom", (dir_ / "empty.rom").string(), bench.LinkPath(1)}), 2);
    EXPECT_EQ(Out(), "nothing flashed (image-error)\n");
    EXPECT_EQ(RunToEnd({"--rom", (dir_ / "missing.rom").string(), bench.LinkPath(1)}), 2);
    EXPECT_NE(Err().find("missing.rom: cannot be opened: No such file or directory"),
              std::string::npos)
        << Err();
    EXPECT_EQ(
        RunToEnd({"--rom", (dir_ / "srec_cat-4.srec").string(), "--base", "0", bench.LinkPath(1)}),
        2);
    EXPECT_NE(Err().find("give --base"), std::string::npos) << Err();
    EXPECT_EQ(
        RunToEnd({"--rom", (dir_ / "srec_cat-4.srec").string(), (dir_ / "no-such-port").string()}),
        2);
    EXPECT_NE(Err().find("Failed to open Serial Port #1: "), std::string::npos) << Err();
}

TEST_F(CliProgramTest, InspectDescribesWhatWouldFlashAndRefusesAsARunWould) {
    testing::MakeToolFiles(dir_);
    EXPECT_EQ(RunToEnd({"--inspect", (dir_ / "gaps.srec").string()}), 0) << Err();
    const std::string text = Out();
    for (const char* expected :
         {"format     S-record\n", "addresses  00C10000-00C10DB7\n",
          "gaps       1: 00C10064-00C101FF (412 bytes), sent as FF\n",
          "chunks     16 of up to 224 bytes\n", "verdict    would flash\n"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    }
    EXPECT_EQ(RunToEnd({"--inspect", (dir_ / "mixed-overlap.srec").string(), "--json"}), 0);
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(Out())).object();
    EXPECT_EQ(json["format"].toString(), "S-record");
    EXPECT_EQ(json["image_bytes"].toInt(), 3000);
    EXPECT_EQ(json["overlaps"].toArray().size(), 1);
    EXPECT_GT(json["records"].toObject()["S2"].toInt(), 0) << "both record widths counted";
    EXPECT_GT(json["records"].toObject()["S3"].toInt(), 0);
    EXPECT_GT(json["expected_seconds"].toObject()["38400"].toDouble(),
              json["expected_seconds"].toObject()["115200"].toDouble());

    EXPECT_EQ(RunToEnd({"--inspect", (dir_ / "cut.hex").string(), "--base", "C10000"}), 2);
    EXPECT_NE(Err().find("incomplete (Intel HEX): no end-of-file record"), std::string::npos)
        << Err();
    EXPECT_EQ(Out(), "");
}

TEST_F(CliProgramTest, InterruptDuringTheFirmwareStopsAtOnce) {
    // Ctrl+C, and a terminal or ssh session that closes, alike.
    for (const int signal : {SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        sim::UnitBench bench(Units(2));
        const std::string rom = WriteRom(Pattern(224 * 2000));
        const pid_t pid = Start({"--rom", rom, bench.LinkPath(1), bench.LinkPath(2)});
        ASSERT_TRUE(bench.Unit(1).WaitUntil(
            [](const sim::UnitReport& r) { return r.firmwareChunks >= 3; }, 60s));
        kill(pid, signal);
        EXPECT_EQ(Wait(pid, 10s), 130) << Err();
        const unsigned chunks = bench.Unit(1).Report().firmwareChunks;
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(bench.Unit(1).Report().firmwareChunks, chunks) << "nothing sent after the stop";
        EXPECT_LT(chunks, 2000u);
        EXPECT_NE(Out().find("(stopped)"), std::string::npos) << Out();
    }
}

TEST_F(CliProgramTest, AUnitWhoseAdapterIsPulledIsReportedWithThatCause) {
    // The simulator program takes the unit's device away when it hangs up, as a pulled adapter.
    const fs::path units = dir_ / "units";
    const pid_t simulator = fork();
    if (simulator == 0) {
        execl(VANTREL_UNITSIM_PATH, VANTREL_UNITSIM_PATH, "--dir", units.c_str(), "--count", "2",
              "--fast", "--fault", "2:hangup:2", static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 500 && !fs::exists(units / "com2"); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(RunToEnd({"--json", "--rom", WriteRom(Pattern(224 * 4)), (units / "com1").string(),
                        (units / "com2").string()}),
              1);
    kill(simulator, SIGTERM);
    waitpid(simulator, nullptr, 0);
    const QJsonArray report =
        QJsonDocument::fromJson(QByteArray::fromStdString(Out())).object()["units"].toArray();
    ASSERT_EQ(report.size(), 2) << Out();
    EXPECT_FALSE(report[0].toObject().contains("cause"));
    EXPECT_EQ(report[1].toObject()["cause"].toString().toStdString(),
              "device gone: " + (units / "com2").string() + " disappeared");
}

TEST_F(CliProgramTest, AReaderOfStderrThatGoesAwayStopsTheRun) {
    sim::UnitBench bench(Units(1));
    int errors[2];
    ASSERT_EQ(pipe2(errors, O_CLOEXEC), 0);
    const pid_t pid =
        Start({"--rom", WriteRom(Pattern(224 * 2000)), bench.LinkPath(1)}, -1, errors[1]);
    close(errors[1]);
    ASSERT_TRUE(bench.Unit(1).WaitUntil(
        [](const sim::UnitReport& r) { return r.firmwareChunks >= 3; }, 60s));
    close(errors[0]);  // as a pipeline whose reader ended
    EXPECT_EQ(Wait(pid, 10s), 130);
    EXPECT_LT(bench.Unit(1).Report().firmwareChunks, 2000u);
    EXPECT_NE(Out().find("(stopped)"), std::string::npos) << Out();
}

TEST_F(CliProgramTest, JsonSummaryDescribesEachUnit) {
    sim::BenchOptions options = Units(2);
    options.faults[1] = {{sim::FaultKind::FirmwareStop, 2}};
    sim::UnitBench bench(options);
    const std::string rom = WriteRom(Pattern(224 * 3));
    EXPECT_EQ(RunToEnd({"--json", "--rom", rom, "--base", "c10000", bench.LinkPath(1),
                        bench.LinkPath(2)}),
              1);
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(Out())).object();
    EXPECT_EQ(json["base_address"].toString(), "c10000") << Out();
    EXPECT_EQ(json["exit_code"].toInt(), 1) << Out();
    const QJsonObject first = json["units"][0].toObject();
    EXPECT_EQ(first["port"].toString(), "COM1");
    EXPECT_EQ(first["device"].toString().toStdString(), bench.LinkPath(1));
    EXPECT_EQ(first["status"].toString(), "FW Load Cmd Not Ack...");
    EXPECT_EQ(first["complete"], false);
    EXPECT_EQ(json["units"][1]["status"].toString(), "FW Load Complete") << Out();
    EXPECT_EQ(json["units"][1]["complete"], true);
}

TEST_F(CliProgramTest, UsageErrorsAndVersion) {
    EXPECT_EQ(RunToEnd({"--version"}), 0);
    EXPECT_EQ(Out(), "Vantrel 1.00\n");
    EXPECT_EQ(RunToEnd({"--rom", "x.rom"}), 2);
    EXPECT_NE(Err().find("no port"), std::string::npos);
    EXPECT_EQ(RunToEnd({"--rom", "x.rom", "--baud", "9600", "COM1"}), 2);
    EXPECT_NE(Err().find("--baud takes 38400, 57600 or 115200: 9600"), std::string::npos);
}

TEST_F(CliProgramTest, EachUnitIsNamedOnceAndRelativePathsStartHere) {
    sim::UnitBench bench(Units(1));
    const auto image = Pattern(300);
    const std::string rom = WriteRom(image);
    const std::string device = fs::canonical(bench.LinkPath(1)).string();
    fs::create_directories(dir_ / "units");
    fs::create_symlink(device, dir_ / "units" / "com1");
    fs::create_directories(dir_ / "config" / "Orlmark Ltd.");
    std::ofstream(dir_ / "config" / "Orlmark Ltd." / "Vantrel.conf")
        << "[Ports]\nCom3=" << bench.LinkPath(1) << "\n";
    // The program starts in the test's folder, as a shell user would.
    struct WorkIn {
        explicit WorkIn(const fs::path& dir) { fs::current_path(dir); }
        ~WorkIn() { fs::current_path(before); }
        fs::path before = fs::current_path();
    } workIn(dir_);

    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"units/com1", device}, "units/com1 and " + device},
        {{"COM3", "./units/com1"}, "./units/com1 and COM3"},
    };
    for (const auto& [ports, named] : refused) {
        SCOPED_TRACE(named);
        std::vector<std::string> arguments = {"--rom", rom};
        arguments.insert(arguments.end(), ports.begin(), ports.end());
        EXPECT_EQ(RunToEnd(arguments), 2) << Err();
        EXPECT_NE(Err().find(named + " are the same device " + device + ": name each unit once\n"),
                  std::string::npos)
            << Err();
    }
    EXPECT_EQ(bench.Unit(1).Report().bytesReceived, 0u) << "no port was touched";

    EXPECT_EQ(RunToEnd({"--rom", rom, "units/com1"}), 0) << Err();
    const auto report = bench.Unit(1).Report();
    const auto written = report.WrittenRange();
    EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.end()), image);
}

TEST_F(CliProgramTest, LogThatCannotBeOpenedStopsBeforeAnyPortIsTouched) {
    sim::UnitBench bench(Units(1));
    const std::string rom = WriteRom(Pattern(300));
    for (const auto& [target, driverText] : std::vector<std::pair<std::string, std::string>>{
             {"/nonexistent/station.db", "unable to open database file"},
             {"postgresql://postgres@/postgres?host=/nonexistent", "/nonexistent/.s.PGSQL."}}) {
        EXPECT_EQ(RunToEnd({"--loop", "--log", target, "--rom", rom, bench.LinkPath(1)}), 2);
        EXPECT_NE(Err().find("cannot open the log " + target + ": "), std::string::npos) << Err();
        EXPECT_NE(Err().find(driverText), std::string::npos) << Err();
        EXPECT_EQ(Err().find('\t'), std::string::npos) << "the client's hint, on one line";
    }
    EXPECT_EQ(bench.Unit(1).Report().bytesReceived, 0u);
}

TEST_F(CliProgramTest, StatsOfALogThatCannotBeReadNeverShowItsPassword) {
    EXPECT_EQ(RunToEnd({"--stats", "postgresql://ann:s3cret@/trace?host=/nonexistent"}), 2);
    EXPECT_NE(Err().find("cannot read the log postgresql://ann@/trace?host=/nonexistent: "),
              std::string::npos)
        << Err();
    EXPECT_EQ(Err().find("s3cret"), std::string::npos) << Err();
}

// A station's log in SQLite or PostgreSQL, read back with the database's own client.
class StationLogTest : public LogStoreTest {
  protected:
    std::string Target() { return LogStoreTest::Target(server_ ? "postgres" : "station"); }
    std::string Query(const std::string& sql) const {
        return LogStoreTest::Query(server_ ? "postgres" : "station", sql);
    }
};

TEST_P(StationLogTest, ThreeBatchesAreTalliedAndEveryUnitIsLogged) {
    sim::BenchOptions options = Units(2);
    options.faults[2] = {{sim::FaultKind::Silent}};
    sim::UnitBench bench(options);
    const std::string rom = WriteRom(Pattern(700));
    const std::string firstSha = CommandOutput("sha256sum " + rom).substr(0, 64);
    int input[2];
    ASSERT_EQ(pipe2(input, O_CLOEXEC), 0);
    signal(SIGPIPE, SIG_IGN);  // a program that ended early fails the test, not the process
    const pid_t pid = Start({"--loop", "--log", Target(), "--station", "st-7", "--operator", "ann",
                             "--rom", rom, bench.LinkPath(1), bench.LinkPath(2)},
                            input[0]);
    close(input[0]);
    auto nextBatch = [&] {
        bench.PowerCycle();  // as units put in afresh
        return write(input[1], "\n", 1) == 1;
    };
    const bool fed = [&] {
        if (!WaitForPrompts(1)) {
            return false;
        }
        WriteRom(Pattern(900));  // rebuilt: the next runs flash and record the new file
        if (server_) {
            server_->Stop();  // the second run's record cannot be written
        }
        if (!nextBatch() || !WaitForPrompts(2)) {
            return false;
        }
        if (server_) {
            server_->Start();  // the third run's end writes both
        }
        return nextBatch() && WaitForPrompts(3) && write(input[1], "q\n", 2) == 2;
    }();
    close(input[1]);
    EXPECT_TRUE(fed) << Err();
    EXPECT_EQ(Wait(pid), 1) << Err();

    const std::string out = Out();
    EXPECT_NE(out.find("COM1        3       0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("COM2        0       3  Force2Mon Failed...\n"), std::string::npos) << out;
    EXPECT_NE(out.find("station: 3 runs, 6 units, 50.0 % yield"), std::string::npos) << out;
    const auto report = bench.Unit(1).Report();
    const auto written = report.WrittenRange();
    EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.end()), Pattern(900));
    EXPECT_EQ(Err().find("cannot write to the log") != std::string::npos, server_ != nullptr)
        << Err();

    const std::string secondSha = CommandOutput("sha256sum " + rom).substr(0, 64);
    const std::string size1 = std::to_string(FormatS3Records(Pattern(700), kBase).size());
    const std::string size2 = std::to_string(FormatS3Records(Pattern(900), kBase).size());
    EXPECT_NE(firstSha, secondSha);
    EXPECT_EQ(Query("SELECT station, operator, tool_version, rom_sha256, rom_bytes, baud, outcome, "
                    "exit_code FROM runs ORDER BY id"),
              "st-7|ann|1.00|" + firstSha + "|" + size1 + "|57600|completed|1\n" +
                  "st-7|ann|1.00|" + secondSha + "|" + size2 + "|57600|completed|1\n" +
                  "st-7|ann|1.00|" + secondSha + "|" + size2 + "|57600|completed|1\n");
    EXPECT_EQ(Query("SELECT COUNT(*) FROM runs WHERE started_at LIKE '____-__-__T__:__:__.___Z' "
                    "AND finished_at > started_at"),
              "3\n");
    std::string units;
    for (int run = 1; run <= 3; ++run) {
        units += std::to_string(run) + "|COM1|" + bench.LinkPath(1) + "|passed|||yes\n" +
                 std::to_string(run) + "|COM2|" + bench.LinkPath(2) +
                 "|failed|2|Force2Mon Failed...|yes\n";
    }
    EXPECT_EQ(
        Query("SELECT run_id, com_port, device, result, failed_stage, failed_text, CASE WHEN "
              "duration_ms > 0 THEN 'yes' ELSE 'no' END FROM units ORDER BY run_id, com_port"),
        units);

    EXPECT_EQ(RunToEnd({"--stats", Target()}), 0) << Err();
    EXPECT_NE(Out().find("st-7             COM1        3       0  100.0%\n"), std::string::npos)
        << Out();
    EXPECT_NE(Out().find("st-7             COM2        0       3    0.0%  Force2Mon Failed... (3)"),
              std::string::npos)
        << Out();
    EXPECT_EQ(RunToEnd({"--stats", Target(), "--since", "2999-01-01", "--json"}), 0) << Err();
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(Out()))["stations"], QJsonArray())
        << Out();
}

TEST_P(StationLogTest, AKilledRunIsToldAtTheNextStartAndCounted) {
    sim::UnitBench bench(Units(2));
    const std::string big = WriteRom(Pattern(224 * 2000), "big.rom");
    const pid_t pid = Start({"--log", Target(), "--station", "st-9", "--rom", big,
                             bench.LinkPath(1), bench.LinkPath(2)});
    ASSERT_TRUE(bench.Unit(1).WaitUntil(
        [](const sim::UnitReport& r) { return r.firmwareChunks >= 3; }, 60s));
    // The run is on record before its first byte: killing it leaves that record.
    kill(pid, SIGKILL);
    Wait(pid);
    EXPECT_EQ(Query("SELECT outcome FROM runs"), "running\n");
    EXPECT_EQ(Query("SELECT com_port, result FROM units ORDER BY com_port"),
              "COM1|unknown\nCOM2|unknown\n");

    bench.PowerCycle();
    EXPECT_EQ(RunToEnd({"--log", Target(), "--station", "st-9", "--rom", WriteRom(Pattern(300)),
                        bench.LinkPath(1), bench.LinkPath(2)}),
              0)
        << Err();
    EXPECT_NE(Err().find(" on st-9 did not finish: COM1, COM2 may be erased and not flashed\n"),
              std::string::npos)
        << Err();
    EXPECT_EQ(Query("SELECT outcome FROM runs ORDER BY id"), "interrupted\ncompleted\n");
    EXPECT_EQ(RunToEnd({"--stats", Target()}), 0) << Err();
    EXPECT_NE(Out().find("st-9: 2 unit(s) of runs that did not finish"), std::string::npos)
        << Out();
}

TEST_F(CliProgramTest, APostgresLogThatStallsOrGrantsLittleNeverFailsTheStation) {
    if (PostgresServer::BinFolder().empty()) {
        GTEST_SKIP() << "PostgreSQL is not installed (scripts/setup installs it)";
    }
    PostgresServer server;
    sim::UnitBench bench(Units(1));
    const std::string rom = WriteRom(Pattern(300));
    std::string target = server.Url();
    target.insert(target.find("@"), ":s3cret");  // trusted here, but never to be shown
    ASSERT_EQ(RunToEnd({"--log", target, "--rom", rom, bench.LinkPath(1)}), 0) << Err();
    server.HoldLock("runs", 60);
    bench.PowerCycle();
    EXPECT_EQ(Wait(Start({"--log", target, "--rom", rom, bench.LinkPath(1)}), 40s), 0) << Err();
    EXPECT_NE(Out().find("1 of 1 units complete"), std::string::npos) << Out();
    EXPECT_NE(Err().find("cannot write to the log postgresql://postgres@"), std::string::npos)
        << Err();
    EXPECT_NE(Err().find("record(s) wait in "), std::string::npos) << Err();
    EXPECT_EQ(Err().find("s3cret"), std::string::npos) << Err();
    server.Query(
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE pid <> "
        "pg_backend_pid() AND query LIKE '%pg_sleep%'");
    // The next start writes what waited, once.
    bench.PowerCycle();
    EXPECT_EQ(RunToEnd({"--log", target, "--rom", rom, bench.LinkPath(1)}), 0) << Err();
    EXPECT_EQ(server.Query("SELECT outcome, COUNT(*) FROM runs GROUP BY outcome"), "completed|3\n");

    // A role that may only read, add and update rows logs as well as the tables' owner.
    server.Query(
        "CREATE ROLE station LOGIN; GRANT SELECT, INSERT, UPDATE ON runs, units TO "
        "station; GRANT USAGE ON SEQUENCE runs_id_seq TO station");
    std::string least = server.Url();
    least.replace(least.find("postgres@"), 8, "station");
    bench.PowerCycle();
    EXPECT_EQ(RunToEnd({"--log", least, "--rom", rom, bench.LinkPath(1)}), 0) << Err();
    EXPECT_EQ(Err().find("cannot"), std::string::npos) << Err();
    EXPECT_EQ(server.Query("SELECT COUNT(*) FROM units WHERE result = 'passed'"), "4\n");
}

TEST_F(CliProgramTest, TlsIsAskedForInTheLogsAddress) {
    if (PostgresServer::BinFolder().empty()) {
        GTEST_SKIP() << "PostgreSQL is not installed (scripts/setup installs it)";
    }
    PostgresServer server;
    const std::string certificate = server.EnableTls();
    sim::UnitBench bench(Units(1));
    const std::string rom = WriteRom(Pattern(300));
    const std::string address =
        "postgresql://postgres@localhost:" + std::to_string(server.TlsPort()) + "/postgres";
    EXPECT_EQ(RunToEnd({"--log", address + "?sslmode=disable", "--rom", rom, bench.LinkPath(1)}), 2)
        << "the server takes no plain connection";
    EXPECT_EQ(RunToEnd({"--log", address + "?sslmode=verify-full&sslrootcert=" + certificate,
                        "--rom", rom, bench.LinkPath(1)}),
              0)
        << Err();
    EXPECT_EQ(server.Query("SELECT outcome FROM runs"), "completed\n");
}

INSTANTIATE_TEST_SUITE_P(Store, StationLogTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& test) { return test.param; });

}  // namespace
}  // namespace vantrel
