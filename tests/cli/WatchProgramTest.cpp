// vantrel-cli --watch as a child process, on simulated units that an operator plugs and pulls.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "image/SRecordWriter.h"
#include "tests/cli/CliFixture.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Longer than the three unanswered probes after which a port counts its unit gone.
constexpr auto kUnitAway = 5s;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        // Unit lines, not the tallies' rows.
        const bool unitLine = line.starts_with("COM") && (line.find(" OK ") != line.npos ||
                                                          line.find(" FAILED ") != line.npos);
        if (unitLine || line.starts_with("{\"complete\"")) {
            lines.push_back(line);
        }
    }
    return lines;
}

// What the unit's flash holds from its lowest to its highest byte written.
std::vector<std::uint8_t> Written(const sim::UnitReport& report) {
    const auto range = report.WrittenRange();
    return {range.begin(), range.end()};
}

std::string Sha256(const std::string& text) {
    return QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

// What the watch's tests share, over a fixture with or without a log of the test's own.
template <typename Fixture>
class WatchFixture : public Fixture {
  protected:
    // Waits until the watch has printed count unit lines.
    bool WaitForUnits(std::size_t count, const std::string& tag = "") {
        for (const auto deadline = std::chrono::steady_clock::now() + 60s;
             std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(20ms)) {
            if (Lines(this->Out(tag)).size() >= count) {
                return true;
            }
        }
        return false;
    }
    bool WaitForError(const std::string& text) {
        for (const auto deadline = std::chrono::steady_clock::now() + 30s;
             std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(20ms)) {
            if (this->Err().find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
    // The unit is taken away, and a fresh one plugged once the port has seen it go.
    static void Swap(sim::SimulatedUnit& unit) {
        unit.Pull();
        std::this_thread::sleep_for(kUnitAway);
        unit.Plug();
    }
    int Interrupt(pid_t pid, int signal = SIGINT) {
        kill(pid, signal);
        return this->Wait(pid, 10s);
    }
    static std::string JsonMember(const std::string& line, const char* name) {
        return QJsonDocument::fromJson(QByteArray::fromStdString(line))
            .object()
            .value(QLatin1String(name))
            .toString()
            .toStdString();
    }
};

using WatchTest = WatchFixture<CliProgramTest>;
class WatchLogTest : public WatchFixture<LogStoreTest> {};

TEST_P(WatchLogTest, UnitsThatComeAndGoAreEachFlashedOnceAndRecordedAsRunsOfOne) {
    sim::BenchOptions options = Units(3);
    options.instanceFaults[{2, 1}] = {*sim::ParseFault("fw-stop:2")};
    sim::UnitBench bench(options);
    const auto image = Pattern(3000);
    const std::string rom = WriteRom(image);
    const std::string log = Target("watch");
    const pid_t pid = Start({"--watch", "--rom", rom, "--log", log, "--station", "st1",
                             bench.LinkPath(1), bench.LinkPath(2), bench.LinkPath(3)});
    ASSERT_TRUE(WaitForUnits(3)) << Err();
    // Ports 1 and 2 get fresh units; port 3's stays, and is never flashed again.
    std::thread swap1([&] { Swap(bench.Unit(1)); });
    Swap(bench.Unit(2));
    swap1.join();
    ASSERT_TRUE(WaitForUnits(5)) << Err();
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(Interrupt(pid), 1) << "a unit failed";
    const std::vector<std::string> lines = Lines(Out());
    ASSERT_EQ(lines.size(), 5u) << Out();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find(" OK ") != l.npos; }),
              4);
    EXPECT_NE(Out().find("FW Load Cmd Not Ack..."), std::string::npos) << Out();
    EXPECT_NE(Out().find("station: 5 runs, 5 units, 80.0 % yield"), std::string::npos) << Out();

    for (unsigned port = 1; port <= 3; ++port) {
        const auto history = bench.Unit(port).History();
        ASSERT_EQ(history.size(), port == 3 ? 1u : 2u) << port;
        for (const sim::UnitReport& unit : history) {
            SCOPED_TRACE(::testing::Message() << "port " << port << " unit " << unit.unit);
            EXPECT_EQ(unit.erases, 1u) << "flashed exactly once";
            if (!(port == 2 && unit.unit == 1)) {
                EXPECT_EQ(Written(unit), image);
            }
        }
    }
    // Each unit a run of one, with its end; the report reads them as any runs.
    EXPECT_EQ(Query("watch", "SELECT count(*), count(DISTINCT run_id) FROM units"), "5|5\n");
    EXPECT_EQ(Query("watch", "SELECT outcome, count(*) FROM runs GROUP BY outcome ORDER BY 1"),
              "all-units-failed|1\ncompleted|4\n");
    EXPECT_EQ(RunToEnd({"--stats", log}), 0) << Err();
    EXPECT_NE(Out().find("80.0"), std::string::npos) << "the station's yield: " << Out();
}

INSTANTIATE_TEST_SUITE_P(Store, WatchLogTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& test) { return test.param; });

TEST_F(WatchTest, ARebuiltRomFileIsFlashedFromTheNextUnitOnAndABrokenOneFlashesNothing) {
    sim::BenchOptions options = Units(1);
    options.unit.fast = false;  // the first flash takes long enough to rebuild the file in it
    sim::UnitBench bench(options);
    const auto first = Pattern(6000);
    std::vector<std::uint8_t> second(first.rbegin(), first.rend());
    std::vector<std::uint8_t> third(4000, 0x3C);
    const std::string rom = WriteRom(first);
    const pid_t pid = Start({"--watch", "--json", "--rom", rom, bench.LinkPath(1)});
    ASSERT_TRUE(bench.Unit(1).WaitForState(sim::UnitState::Erased, 30s));
    WriteRom(second);  // mid-flash: this unit finishes with the bytes it began with
    ASSERT_TRUE(WaitForUnits(1)) << Err();
    EXPECT_EQ(Written(bench.Unit(1).Report()), first);

    Swap(bench.Unit(1));
    ASSERT_TRUE(WaitForUnits(2)) << Err();
    EXPECT_EQ(Written(bench.Unit(1).Report()), second);
    EXPECT_EQ(JsonMember(Lines(Out())[1], "rom_sha256"), Sha256(FormatS3Records(second, kBase)));
    EXPECT_NE(Err().find("ROM file changed"), std::string::npos) << Err();

    // A broken rebuild: the next unit waits, untouched, until the file is fixed.
    std::ofstream(rom) << "S3 not a record\n";
    Swap(bench.Unit(1));
    ASSERT_TRUE(WaitForError("no new unit is flashed until the file is fixed")) << Err();
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(Lines(Out()).size(), 2u);
    EXPECT_EQ(bench.Unit(1).Report().erases, 0u);
    WriteRom(third);
    ASSERT_TRUE(WaitForUnits(3)) << Err();
    EXPECT_EQ(Written(bench.Unit(1).Report()), third);
    EXPECT_EQ(Interrupt(pid), 0) << Err();
}

class WatchSignalTest : public WatchTest, public ::testing::WithParamInterface<int> {};

// Every port ends at once, the units under way recorded as stopped, nothing left running.
TEST_P(WatchSignalTest, EndsEveryPortAtOnceMidFlashWithTheRecordsComplete) {
    sim::BenchOptions options = Units(2);
    options.unit.fast = false;
    sim::UnitBench bench(options);
    const std::string rom = WriteRom(Pattern(64 * 1024));
    const std::string log = (dir_ / "watch.db").string();
    const pid_t pid =
        Start({"--watch", "--rom", rom, "--log", log, bench.LinkPath(1), bench.LinkPath(2)});
    for (unsigned port = 1; port <= 2; ++port) {
        ASSERT_TRUE(bench.Unit(port).WaitUntil(
            [](const sim::UnitReport& r) { return r.firmwareChunks > 2; }, 30s));
    }
    const auto signalled = std::chrono::steady_clock::now();
    EXPECT_EQ(Interrupt(pid, GetParam()), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 1s);
    EXPECT_EQ(Lines(Out()).size(), 2u) << Out();
    EXPECT_NE(Out().find("(stopped)"), std::string::npos) << Out();
    EXPECT_EQ(CommandOutput("sqlite3 " + log +
                            " \"SELECT r.outcome, u.result FROM runs r JOIN units u ON "
                            "u.run_id = r.id\""),
              "stopped|failed\nstopped|failed\n");
}

INSTANTIATE_TEST_SUITE_P(Signals, WatchSignalTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& test) { return std::to_string(test.param); });

TEST_F(WatchTest, AMissingDeviceIsToldOnceAndWatchedUntilItComesBack) {
    sim::UnitBench bench(Units(1));
    const std::string rom = WriteRom(Pattern(1000));
    const fs::path device = dir_ / "adapter";
    const pid_t pid = Start({"--watch", "--rom", rom, device.string()});
    ASSERT_TRUE(WaitForError("watched until it comes back")) << Err();
    std::this_thread::sleep_for(1500ms);
    fs::create_symlink(bench.LinkPath(1), device);
    ASSERT_TRUE(WaitForUnits(1)) << Err();
    EXPECT_EQ(Interrupt(pid), 0);
    const std::string err = Err();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 3) << err;  // watching, missing, back
    EXPECT_NE(err.find("COM1 (" + device.string() + "): device back"), std::string::npos) << err;
}

struct RefusedStart {
    const char* name;
    std::vector<std::string> arguments;  // ROM and ports added: ROM, COM1, COM2
    std::string romText;
    std::string told;
};

void PrintTo(const RefusedStart& start, std::ostream* out) {
    *out << start.name;
}

class WatchRefusal : public WatchTest, public ::testing::WithParamInterface<RefusedStart> {};

TEST_P(WatchRefusal, TouchesNoPort) {
    sim::UnitBench bench(Units(2));
    const fs::path rom = dir_ / "fw.rom";
    if (!GetParam().romText.empty()) {
        std::ofstream(rom) << GetParam().romText;
    }
    std::vector<std::string> arguments = GetParam().arguments;
    arguments.insert(arguments.end(),
                     {"--watch", "--rom", rom.string(), bench.LinkPath(1), bench.LinkPath(2)});
    EXPECT_EQ(RunToEnd(arguments), 2);
    EXPECT_NE(Err().find(GetParam().told), std::string::npos) << Err();
    for (unsigned port = 1; port <= 2; ++port) {
        EXPECT_EQ(bench.Unit(port).Report().bytesReceived, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WatchRefusal,
    ::testing::Values(
        RefusedStart{"NoFile", {}, "", "fw.rom: cannot be opened: No such file or directory"},
        RefusedStart{"BrokenFile", {}, "S3 not a record\n", "fw.rom"},
        RefusedStart{"WithLoop", {"--loop"}, "", "give one of them"},
        RefusedStart{"LogRefused",
                     {"--log", "/nonexistent/folder/x.db"},
                     FormatS3Records(std::vector<std::uint8_t>(300, 1), kBase),
                     "unable to open database file"}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace vantrel
