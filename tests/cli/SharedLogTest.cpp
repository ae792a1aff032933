// The run log as a line lives with it: a database server that hangs, a peer that never
// answers, stations that share one computer, a spool a crash left cut short, an address that
// tries to say more than it may.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include "tests/cli/CliFixture.h"
#include "tests/cli/PostgresServer.h"
#include "tests/tools/ChildProgram.h"
#include "tools/unitsim/UnitSim.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The bound the log keeps on every wait, what a stop may take, and what a busy machine adds.
constexpr auto kLogBound = 5s;
constexpr auto kStopLimit = 2s;  // asked: 1 s; the rest is the machine's
constexpr auto kSlack = 5s;
constexpr const char* kNoAnswer = "the database server did not answer within 5 s";

// The moment done() first held, polled; nothing at the limit.
std::optional<Clock::time_point> WaitFor(const std::function<bool()>& done,
                                         std::chrono::seconds limit) {
    for (const auto end = Clock::now() + limit; Clock::now() < end;
         std::this_thread::sleep_for(20ms)) {
        if (done()) {
            return Clock::now();
        }
    }
    return std::nullopt;
}

// Standard input for a --loop station, already holding its answers.
int InputWith(const std::string& answers) {
    int input[2];
    if (pipe2(input, O_CLOEXEC) != 0 ||
        write(input[1], answers.data(), answers.size()) != static_cast<ssize_t>(answers.size())) {
        return -1;
    }
    close(input[1]);
    return input[0];
}

sim::BenchOptions SilentUnits(unsigned count) {
    sim::BenchOptions options;
    options.count = count;
    options.unit = sim::UnitOptions::Fast();
    for (unsigned unit = 1; unit <= count; ++unit) {
        options.faults[unit] = {{sim::FaultKind::Silent}};
    }
    return options;
}

class FrozenServerTest : public CliProgramTest {
  protected:
    void SetUp() override {
        CliProgramTest::SetUp();
        if (PostgresServer::BinFolder().empty()) {
            GTEST_SKIP() << "PostgreSQL is not installed (scripts/setup installs it)";
        }
        server_ = std::make_unique<PostgresServer>();
    }
    std::unique_ptr<PostgresServer> server_;
};

TEST_F(FrozenServerTest, AServerThatHangsMidRunHoldsTheStationNoLongerThanTheBound) {
    sim::UnitBench bench(Units(1));
    const std::string target = server_->Url();
    const pid_t pid = Start({"--log", target, "--station", "st-1", "--rom",
                             WriteRom(Pattern(224 * 400)), bench.LinkPath(1)});
    ASSERT_TRUE(bench.Unit(1).WaitUntil(
        [](const sim::UnitReport& r) { return r.firmwareChunks >= 2; }, 60s));
    server_->Freeze();
    const auto shown =
        WaitFor([&] { return Out().find("1 of 1 units complete") != std::string::npos; }, 60s);
    ASSERT_TRUE(shown) << Err();
    EXPECT_EQ(Wait(pid), 0) << Err();
    EXPECT_LT(Clock::now() - *shown, kLogBound + kSlack);
    EXPECT_NE(Err().find("cannot write to the log " + target + ": " + kNoAnswer +
                         "; the record is kept and will be written later"),
              std::string::npos)
        << Err();
    EXPECT_NE(Err().find("1 record(s) wait in "), std::string::npos) << Err();

    server_->Thaw();
    bench.PowerCycle();
    EXPECT_EQ(RunToEnd({"--log", target, "--station", "st-1", "--rom", WriteRom(Pattern(300)),
                        bench.LinkPath(1)}),
              0)
        << Err();
    EXPECT_EQ(server_->Query("SELECT outcome, COUNT(*), COUNT(DISTINCT run_key) FROM runs GROUP "
                             "BY outcome"),
              "completed|2|2\n");
    EXPECT_EQ(server_->Query("SELECT result, COUNT(*) FROM units GROUP BY result"), "passed|2\n");
}

TEST_F(FrozenServerTest, AStopEndsAStationWaitingForAHungServerAtOnceAndTouchesNoUnit) {
    sim::UnitBench bench(Units(1));
    const std::string target = server_->Url();
    const std::string rom = WriteRom(Pattern(300));
    int input[2];
    ASSERT_EQ(pipe2(input, O_CLOEXEC), 0);
    signal(SIGPIPE, SIG_IGN);
    const pid_t pid =
        Start({"--loop", "--log", target, "--station", "st-2", "--rom", rom, bench.LinkPath(1)},
              input[0]);
    close(input[0]);
    ASSERT_TRUE(WaitForPrompts(1)) << Err();
    server_->Freeze();
    bench.PowerCycle();
    ASSERT_TRUE(bench.Unit(1).WaitUntil(
        [](const sim::UnitReport& r) { return r.bytesReceived == 0; }, 10s));
    ASSERT_EQ(write(input[1], "\n", 1), 1);
    // The next batch's record is safe in the spool; the station waits for the log a while.
    std::this_thread::sleep_for(1500ms);
    const auto stopped = Clock::now();
    kill(pid, SIGINT);
    EXPECT_EQ(Wait(pid, 30s), 130) << Err();
    EXPECT_LT(Clock::now() - stopped, kStopLimit);
    close(input[1]);
    EXPECT_EQ(bench.Unit(1).Report().bytesReceived, 0u) << "a stopped batch touches no unit";
    EXPECT_NE(Err().find("2 record(s) wait in "), std::string::npos) << Err();

    server_->Thaw();
    bench.PowerCycle();
    EXPECT_EQ(RunToEnd({"--log", target, "--station", "st-2", "--rom", rom, bench.LinkPath(1)}), 0)
        << Err();
    EXPECT_EQ(server_->Query("SELECT r.outcome, r.exit_code, u.result, u.failed_text FROM runs r "
                             "JOIN units u ON u.run_id = r.id ORDER BY r.id"),
              "completed|0|passed|\n"
              "not-started|130|not-flashed|Stopped before flashing: interrupted\n"
              "completed|0|passed|\n");
}

TEST_F(CliProgramTest, APeerThatAcceptsAndNeverAnswersIsGivenUpAtTheBoundOrAtAStop) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(listen(listener, 8), 0);  // the kernel takes the connection; nobody reads
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const std::string target =
        "postgresql://ann@127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/trace";
    sim::UnitBench bench(Units(1));
    const std::vector<std::string> arguments = {"--log", target, "--rom", WriteRom(Pattern(300)),
                                                bench.LinkPath(1)};

    const auto started = Clock::now();
    EXPECT_EQ(RunToEnd(arguments), 2) << Err();
    EXPECT_LT(Clock::now() - started, kLogBound + kSlack);
    EXPECT_NE(Err().find("cannot open the log " + target + ": " + kNoAnswer), std::string::npos)
        << Err();

    const pid_t pid = Start(arguments);
    std::this_thread::sleep_for(1s);
    const auto stopped = Clock::now();
    kill(pid, SIGTERM);
    EXPECT_EQ(Wait(pid, 30s), 130) << Err();
    EXPECT_LT(Clock::now() - stopped, kStopLimit);
    EXPECT_EQ(bench.Unit(1).Report().bytesReceived, 0u);
    close(listener);
}

// Several stations of one computer share one log and one user's state folder, so one spool.
using SharedStationsTest = LogStoreTest;

TEST_P(SharedStationsTest, FourStationsRecordEveryRunAndUnitExactlyOnce) {
    constexpr int kStations = 4;
    constexpr int kBatches = 25;
    const std::string rom = WriteRom(Pattern(300));
    for (int round = 1; round <= 3; ++round) {
        const std::string name = "round" + std::to_string(round);
        const std::string target = Target(name);
        sim::UnitBench bench(SilentUnits(4 * kStations));
        std::vector<pid_t> stations;
        for (int station = 0; station < kStations; ++station) {
            std::vector<std::string> arguments = {
                "--loop", "--log", target, "--station", "st-" + std::to_string(station),
                "--rom",  rom};
            for (int unit = 1; unit <= 4; ++unit) {
                arguments.push_back(bench.LinkPath(static_cast<unsigned>(4 * station + unit)));
            }
            const int input = InputWith(std::string(kBatches - 1, '\n') + "q\n");
            stations.push_back(Start(arguments, input, -1, "st" + std::to_string(station)));
            close(input);
        }
        for (int station = 0; station < kStations; ++station) {
            EXPECT_EQ(Wait(stations[static_cast<std::size_t>(station)], 180s), 1)
                << Err("st" + std::to_string(station));
        }
        EXPECT_EQ(Query(name,
                        "SELECT COUNT(*), COUNT(DISTINCT run_key), SUM(CASE WHEN outcome "
                        "= 'all-units-failed' THEN 1 ELSE 0 END) FROM runs"),
                  "100|100|100\n")
            << "round " << round;
        EXPECT_EQ(Query(name, "SELECT result, COUNT(*) FROM units GROUP BY result"), "failed|400\n")
            << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Store, SharedStationsTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& test) { return test.param; });

TEST_F(FrozenServerTest, FourStationsStartingAtOnceOnAnEmptyDatabaseAllLog) {
    const std::string rom = WriteRom(Pattern(300));
    sim::UnitBench bench(SilentUnits(4));
    for (int round = 1; round <= 3; ++round) {
        const std::string database = "empty" + std::to_string(round);
        server_->Query("CREATE DATABASE " + database);
        std::vector<pid_t> stations;
        for (int station = 1; station <= 4; ++station) {
            stations.push_back(Start(
                {"--log", server_->Url(database), "--station", "st-" + std::to_string(station),
                 "--rom", rom, bench.LinkPath(static_cast<unsigned>(station))},
                -1, -1, "st" + std::to_string(station)));
        }
        for (int station = 1; station <= 4; ++station) {
            EXPECT_EQ(Wait(stations[static_cast<std::size_t>(station - 1)]), 1)
                << Err("st" + std::to_string(station));
        }
        EXPECT_EQ(server_->Query("SELECT COUNT(*) FROM runs WHERE outcome = 'all-units-failed'",
                                 database),
                  "4\n");
    }
}

TEST_F(CliProgramTest, ATornSpoolLineNeverHidesARunKilledAfterIt) {
    const std::string target = (dir_ / "station.db").string();
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(target), QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    const fs::path spool = StateFolder() / ("spool-" + digest.toStdString() + ".jsonl");
    fs::create_directories(StateFolder());
    const std::string torn = R"({"key":"cut-short","started_at":"2026-12)";
    std::ofstream(spool) << torn;  // a full disk ended the line there

    sim::UnitBench bench(Units(1));
    const pid_t pid = Start({"--log", target, "--station", "st-9", "--rom",
                             WriteRom(Pattern(224 * 2000), "big.rom"), bench.LinkPath(1)});
    ASSERT_TRUE(bench.Unit(1).WaitUntil(
        [](const sim::UnitReport& r) { return r.firmwareChunks >= 3; }, 60s));
    kill(pid, SIGKILL);
    Wait(pid);

    bench.PowerCycle();
    EXPECT_EQ(RunToEnd({"--log", target, "--station", "st-9", "--rom", WriteRom(Pattern(300)),
                        bench.LinkPath(1)}),
              0)
        << Err();
    EXPECT_NE(Err().find(" on st-9 did not finish: COM1 may be erased and not flashed\n"),
              std::string::npos)
        << Err();
    EXPECT_EQ(CommandOutput("sqlite3 " + target + " \"SELECT outcome FROM runs ORDER BY id\""),
              "interrupted\ncompleted\n");
    EXPECT_EQ(testing::ReadText(spool.string() + ".aside"), torn + "\n");
}

TEST_F(CliProgramTest, AStationNameBelongsToOneLiveProcess) {
    const std::string target = (dir_ / "station.db").string();
    const std::string rom = WriteRom(Pattern(300));
    sim::UnitBench bench(Units(3));
    int input[2];
    ASSERT_EQ(pipe2(input, O_CLOEXEC), 0);
    signal(SIGPIPE, SIG_IGN);
    const pid_t first =
        Start({"--loop", "--log", target, "--station", "st-1", "--rom", rom, bench.LinkPath(1)},
              input[0]);
    close(input[0]);
    ASSERT_TRUE(WaitForPrompts(1)) << Err();

    EXPECT_EQ(Wait(Start({"--log", target, "--station", "st-1", "--rom", rom, bench.LinkPath(2)},
                         -1, -1, "second")),
              2);
    EXPECT_NE(Err("second").find("the station st-1 already logs to " + target + " from process " +
                                 std::to_string(first) + " (vantrel-cli, since "),
              std::string::npos)
        << Err("second");
    EXPECT_EQ(bench.Unit(2).Report().bytesReceived, 0u);
    EXPECT_EQ(Wait(Start({"--log", target, "--station", "st-2", "--rom", rom, bench.LinkPath(3)},
                         -1, -1, "other")),
              0)
        << Err("other");

    ASSERT_EQ(write(input[1], "q\n", 2), 2);
    close(input[1]);
    EXPECT_EQ(Wait(first), 0) << Err();
    EXPECT_EQ(Err().find("did not finish"), std::string::npos) << Err();
    EXPECT_EQ(
        CommandOutput("sqlite3 " + target + " \"SELECT station, outcome FROM runs ORDER BY id\""),
        "st-1|completed\nst-2|completed\n");
}

TEST_F(CliProgramTest, ALogAddressCarriesOnlyItsOwnOptionsAndNeverShowsItsPassword) {
    sim::UnitBench bench(Units(1));
    const std::string rom = WriteRom(Pattern(300));
    struct Case {
        std::string address;
        std::string told;
        std::string password;  // never shown
    };
    for (const Case& c : std::vector<Case>{
             {"postgresql://ann@db/trace?sslmode=disable%20dbname%3Dother",
              "sslmode in the log address must be", ""},
             {"postgresql://ann@db/trace?sslmode=prefer%20options%3D'-c%20statement_timeout=0'",
              "sslmode in the log address must be", ""},
             {"postgresql://ann@db/trace?options=-c%20statement_timeout%3D0",
              "may give only host, sslmode and sslrootcert", ""},
             {"postgresql://ann:pa/ss@db/trace", "not a PostgreSQL address", "pa/ss"},
             {"postgresql://ann:p@ss%w:rd@db/trace", "not a PostgreSQL address", "ss%w:rd"},
         }) {
        EXPECT_EQ(RunToEnd({"--log", c.address, "--rom", rom, bench.LinkPath(1)}), 2) << c.address;
        EXPECT_NE(Err().find(c.told), std::string::npos) << Err();
        if (!c.password.empty()) {
            EXPECT_EQ((Err() + Out()).find(c.password), std::string::npos) << Err();
        }
    }
    EXPECT_EQ(bench.Unit(1).Report().bytesReceived, 0u);
}

}  // namespace
}  // namespace vantrel
