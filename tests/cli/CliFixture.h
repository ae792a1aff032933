#pragma once

// The vantrel-cli program run as a child process against simulated units, with its settings and
// state in a folder of the test's own.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/cli/PostgresServer.h"
#include "tools/unitsim/UnitSim.h"

namespace vantrel {

inline constexpr std::uint32_t kBase = 0x00C10000;

std::vector<std::uint8_t> Pattern(std::size_t size);

class CliProgramTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::string WriteRom(const std::vector<std::uint8_t>& image,
                         const std::string& name = "fw.rom");
    // Starts the program with its settings and state in the test's folder; standard input from
    // the given descriptor, else empty. Its output goes to TAGstdout and TAGstderr there.
    pid_t Start(const std::vector<std::string>& arguments, int input = -1, int errors = -1,
                const std::string& tag = "");
    // The exit code, or -1 when it did not end within the time.
    int Wait(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(60));
    int RunToEnd(const std::vector<std::string>& arguments) { return Wait(Start(arguments)); }
    std::string Out(const std::string& tag = "") const;
    std::string Err(const std::string& tag = "") const;
    // Waits until the program has asked for the next batch the given number of times.
    bool WaitForPrompts(std::size_t count, const std::string& tag = "");
    // The state folder the program keeps its spools in.
    std::filesystem::path StateFolder() const { return dir_ / ".local" / "state" / "vantrel"; }

    static sim::BenchOptions Units(unsigned count);

    std::filesystem::path dir_;
};

// A test of a log in SQLite (parameter "sqlite") or in PostgreSQL ("postgresql", on a server of
// the test's own; skipped when PostgreSQL is not installed).
class LogStoreTest : public CliProgramTest, public ::testing::WithParamInterface<std::string> {
  protected:
    void SetUp() override;
    // The log "NAME.db", or the server's database NAME, made for the test.
    std::string Target(const std::string& name);
    // The database's own client's rows, "a|b" a line.
    std::string Query(const std::string& name, const std::string& sql) const;

    std::unique_ptr<PostgresServer> server_;
};

}  // namespace vantrel
