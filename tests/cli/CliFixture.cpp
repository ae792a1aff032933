#include "tests/cli/CliFixture.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "image/SRecordWriter.h"
#include "tests/tools/ChildProgram.h"

namespace vantrel {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 13 + 5) & 0xFF);
    }
    return bytes;
}

void CliProgramTest::SetUp() {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-');  // parameterised tests
    dir_ =
        fs::temp_directory_path() / ("vantrel-cli-test-" + std::to_string(getpid()) + "-" + name);
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "config");
}

void CliProgramTest::TearDown() {
    fs::remove_all(dir_);
}

std::string CliProgramTest::WriteRom(const std::vector<std::uint8_t>& image,
                                     const std::string& name) {
    const fs::path path = dir_ / name;
    std::ofstream(path) << FormatS3Records(image, kBase);
    return path.string();
}

pid_t CliProgramTest::Start(const std::vector<std::string>& arguments, int input, int errors,
                            const std::string& tag) {
    std::vector<std::string> argv = {VANTREL_CLI_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const pid_t pid = testing::StartProgram(
        argv, {dir_ / (tag + "stdout"), dir_ / (tag + "stderr"), errors, input},
        testing::EnvironmentWith(
            {"XDG_CONFIG_HOME=" + (dir_ / "config").string(), "HOME=" + dir_.string()}));
    EXPECT_GT(pid, 0);
    return pid;
}

int CliProgramTest::Wait(pid_t pid, std::chrono::seconds limit) {
    const auto status = testing::WaitForChild(pid, limit);
    if (!status) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    return WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

std::string CliProgramTest::Out(const std::string& tag) const {
    return testing::ReadText(dir_ / (tag + "stdout"));
}

std::string CliProgramTest::Err(const std::string& tag) const {
    return testing::ReadText(dir_ / (tag + "stderr"));
}

bool CliProgramTest::WaitForPrompts(std::size_t count, const std::string& tag) {
    const std::string prompt = "Replace the units and press Enter to flash again, or q to quit.\n";
    for (const auto deadline = std::chrono::steady_clock::now() + 60s;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(20ms)) {
        const std::string err = Err(tag);
        std::size_t seen = 0;
        for (auto at = err.find(prompt); at != std::string::npos; at = err.find(prompt, at + 1)) {
            ++seen;
        }
        if (seen >= count) {
            return true;
        }
    }
    return false;
}

void LogStoreTest::SetUp() {
    CliProgramTest::SetUp();
    if (GetParam() == "postgresql") {
        if (PostgresServer::BinFolder().empty()) {
            GTEST_SKIP() << "PostgreSQL is not installed (scripts/setup installs it)";
        }
        server_ = std::make_unique<PostgresServer>();
    }
}

std::string LogStoreTest::Target(const std::string& name) {
    if (!server_) {
        return (dir_ / (name + ".db")).string();
    }
    if (name != "postgres") {
        server_->Query("CREATE DATABASE " + name);
    }
    return server_->Url(name);
}

std::string LogStoreTest::Query(const std::string& name, const std::string& sql) const {
    return server_
               ? server_->Query(sql, name)
               : CommandOutput("sqlite3 " + (dir_ / (name + ".db")).string() + " \"" + sql + "\"");
}

sim::BenchOptions CliProgramTest::Units(unsigned count) {
    sim::BenchOptions options;
    options.count = count;
    options.unit = sim::UnitOptions::Fast();
    return options;
}

}  // namespace vantrel
