// The vantrel-unitsim program, run as a separate process.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "LineClient.h"
#include "tests/tools/ChildProgram.h"

namespace vantrel::sim::test {
namespace {

namespace fs = std::filesystem;

using vantrel::testing::ReadText;

QJsonObject ReadJson(const fs::path& path) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(ReadText(path))).object();
}

class UnitSimProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "unitsim-program-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // Starts the program with stdout and stderr going to files in the directory.
    void Spawn(std::vector<std::string> args) {
        args.insert(args.begin(), VANTREL_UNITSIM_PROGRAM);
        pid_ = vantrel::testing::StartProgram(args, {dir_ / "stdout.txt", dir_ / "stderr.txt"});
        ASSERT_GT(pid_, 0);
    }

    // The exit status, or -1 when the program does not end in time.
    int WaitForExit(std::chrono::milliseconds timeout = kWait) {
        const auto status = vantrel::testing::WaitForChild(pid_, timeout);
        if (!status) {
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(*status) ? WEXITSTATUS(*status) : 128 + WTERMSIG(*status);
    }

    bool WaitForFile(const fs::path& path) {
        const auto deadline = std::chrono::steady_clock::now() + kWait;
        while (std::chrono::steady_clock::now() < deadline) {
            if (fs::is_symlink(path) && fs::exists(path)) {
                return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    bool WaitForText(const fs::path& path, const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + kWait;
        while (std::chrono::steady_clock::now() < deadline) {
            if (ReadText(path).find(text) != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    fs::path dir_;
    pid_t pid_ = -1;
};

TEST_F(UnitSimProgramTest, RunsUnitsUntilInterruptedThenWritesResults) {
    Spawn({"--count", "2", "--fast", "--dir", dir_.string()});
    ASSERT_TRUE(WaitForFile(dir_ / "com1"));
    ASSERT_TRUE(WaitForFile(dir_ / "com2"));

    {
        // Talk to com1 a little, so its report has something to say.
        LineClient line((dir_ / "com1").string());
        ASSERT_TRUE(line.IsOpen());
        ASSERT_TRUE(line.SetLine(B9600, 'O'));
        ASSERT_TRUE(line.Write(kForceMonitorPacket));
        // No report to wait on from here; the unit reads within microseconds.
        std::this_thread::sleep_for(200ms);
        ASSERT_TRUE(line.SetLine(B9600, 'N'));
        ASSERT_TRUE(line.Write(kEnquiryPacket));
        EXPECT_EQ(line.ReadUntilAck(), std::vector<std::uint8_t>{kAck});
        ASSERT_TRUE(line.Write(std::vector<std::uint8_t>{0x41}));
        line.ReadFor(kQuiet);
    }

    ASSERT_EQ(kill(pid_, SIGINT), 0);
    ASSERT_EQ(WaitForExit(), 0) << ReadText(dir_ / "stderr.txt");

    const std::string out = ReadText(dir_ / "stdout.txt");
    for (const char* name : {"com1", "com2"}) {
        SCOPED_TRACE(name);
        const std::string link = (dir_ / name).string();
        EXPECT_NE(out.find(std::string(name) + " " + link + " /dev/pts/"), std::string::npos)
            << out;
        EXPECT_FALSE(fs::is_symlink(link)) << "links go when the program ends";
        EXPECT_EQ(ReadText(dir_ / (std::string(name) + ".rom")), "S70500000000FA\n");
        EXPECT_NE(out.find("wrote " + link + ".json"), std::string::npos) << out;
    }
    const QJsonObject com1 = ReadJson(dir_ / "com1.json");
    EXPECT_EQ(com1.value("unit"), "com1");
    EXPECT_EQ(com1.value("reachedMonitor"), true);
    EXPECT_EQ(com1.value("enquiries"), 1);
    EXPECT_TRUE(
        com1.value("protocolErrors").toArray().first().toString().startsWith("stray byte 0x41"));
    const QJsonObject com2 = ReadJson(dir_ / "com2.json");
    EXPECT_EQ(com2.value("state"), "application");
    EXPECT_EQ(com2.value("bytesReceived"), 0);
    // Not --quiet: the unit's doings are told as they happen.
    EXPECT_NE(ReadText(dir_ / "stderr.txt").find("com1: error: stray byte 0x41"),
              std::string::npos);
}

TEST_F(UnitSimProgramTest, FaultsAndFlashOptionsReachTheUnits) {
    Spawn({"--count", "1", "--fast", "--quiet", "--dir", dir_.string(), "--fault", "1:silent",
           "--flash-base", "A00000", "--flash-size", "4K"});
    ASSERT_TRUE(WaitForFile(dir_ / "com1"));
    ASSERT_EQ(kill(pid_, SIGTERM), 0);
    ASSERT_EQ(WaitForExit(), 0);
    const QJsonObject json = ReadJson(dir_ / "com1.json");
    EXPECT_EQ(json.value("faults"), QJsonArray{"silent"});
    EXPECT_EQ(json.value("flashBase"), "0x00A00000");
    EXPECT_EQ(json.value("flashSize"), 4096);
    EXPECT_TRUE(ReadText(dir_ / "stderr.txt").empty());
}

TEST_F(UnitSimProgramTest, SwapsUnitsOnSigusr2AndReportsEveryOne) {
    Spawn({"--count", "2", "--fast", "--dir", dir_.string(), "--fault", "2#2:silent"});
    ASSERT_TRUE(WaitForFile(dir_ / "com2"));
    // Signals of a kind do not queue: each swap is seen before the next is asked for.
    for (const char* plugged : {"com2: unit 2 plugged", "com2: unit 3 plugged"}) {
        ASSERT_EQ(kill(pid_, SIGUSR2), 0);
        ASSERT_TRUE(WaitForText(dir_ / "stderr.txt", plugged)) << ReadText(dir_ / "stderr.txt");
    }
    ASSERT_EQ(kill(pid_, SIGINT), 0);
    ASSERT_EQ(WaitForExit(), 0) << ReadText(dir_ / "stderr.txt");

    for (const std::string name : {"com1", "com2"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(ReadText(dir_ / "stdout.txt").find("wrote " + (dir_ / name).string() + "-units"),
                  std::string::npos);
        const QJsonArray units =
            QJsonDocument::fromJson(
                QByteArray::fromStdString(ReadText(dir_ / (name + "-units.json"))))
                .array();
        ASSERT_EQ(units.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const QJsonObject unit = units[i].toObject();
            EXPECT_EQ(unit.value("instance"), i + 1);
            EXPECT_EQ(unit.value("pulled_s").isNull(), i == 2) << "only the last stays";
            const bool silent = name == "com2" && i == 1;
            EXPECT_EQ(unit.value("faults"), silent ? QJsonArray{"silent"} : QJsonArray{});
        }
        EXPECT_EQ(ReadJson(dir_ / (name + ".json")).value("instance"), 3);
    }
}

TEST_F(UnitSimProgramTest, PlugAndOperatorExcludeEachOther) {
    Spawn({"--plug", "1:1", "--operator", "2"});
    ASSERT_EQ(WaitForExit(), 2);
    EXPECT_NE(ReadText(dir_ / "stderr.txt").find("--operator"), std::string::npos);
}

TEST_F(UnitSimProgramTest, HelpAndBadOptions) {
    Spawn({"--help"});
    ASSERT_EQ(WaitForExit(), 0);
    EXPECT_NE(ReadText(dir_ / "stdout.txt").find("--fault U:KIND[:K]"), std::string::npos);

    Spawn({"--count", "0"});
    ASSERT_EQ(WaitForExit(), 2);
    EXPECT_NE(ReadText(dir_ / "stderr.txt").find("--count"), std::string::npos);
}

}  // namespace
}  // namespace vantrel::sim::test
