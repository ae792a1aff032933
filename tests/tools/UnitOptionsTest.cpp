// Fault texts and the program's command line.

#include <gtest/gtest.h>

#include "tools/unitsim/CommandLine.h"
#include "tools/unitsim/UnitOptions.h"

namespace vantrel::sim::test {
namespace {

TEST(ParseFaultTest, ReadsEveryKind) {
    const std::vector<std::pair<std::string, Fault>> cases = {
        {"silent", {FaultKind::Silent, 0}},
        {"demon-stop:5", {FaultKind::DemonStop, 5}},
        {"fw-stop:1", {FaultKind::FirmwareStop, 1}},
        {"demon-double-ack:3", {FaultKind::DemonDoubleAck, 3}},
        {"fw-double-ack:12", {FaultKind::FirmwareDoubleAck, 12}},
        {"slow-erase", {FaultKind::SlowErase, 0}},
        {"noise", {FaultKind::Noise, kDefaultNoiseBytes}},
        {"noise:7", {FaultKind::Noise, 7}},
        {"demon-hangup:4", {FaultKind::DemonHangup, 4}},
        {"hangup:4", {FaultKind::FirmwareHangup, 4}},
        {"fw-hangup:9", {FaultKind::FirmwareHangup, 9}},
    };
    for (const auto& [text, fault] : cases) {
        SCOPED_TRACE(text);
        std::string error;
        const auto parsed = ParseFault(text, &error);
        ASSERT_TRUE(parsed) << error;
        EXPECT_EQ(*parsed, fault);
        // And back again.
        EXPECT_EQ(ParseFault(FaultText(*parsed)), parsed);
    }
    EXPECT_EQ(FaultText({FaultKind::FirmwareHangup, 4}), "hangup:4");
    EXPECT_EQ(FaultText({FaultKind::Silent, 0}), "silent");
}

TEST(ParseFaultTest, RefusesWhatItCannotRead) {
    for (const char* text :
         {"", "loud", "demon-stop", "demon-stop:", "demon-stop:0", "demon-stop:x", "demon-stop:5x",
          "demon-stop:-1", "silent:3", "slow-erase:1", "noise:0", "hangup", "Silent"}) {
        SCOPED_TRACE(text);
        std::string error;
        EXPECT_FALSE(ParseFault(text, &error));
        EXPECT_FALSE(error.empty());
    }
}

ParsedCommandLine Parse(std::vector<std::string_view> args) {
    return ParseCommandLine(args);
}

TEST(CommandLineTest, DefaultsWithoutArguments) {
    const auto parsed = Parse({});
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_EQ(parsed.options->count, 1u);
    EXPECT_TRUE(parsed.options->dir.empty());
    EXPECT_FALSE(parsed.options->fast);
    EXPECT_EQ(parsed.options->flashBase, 0x00C10000u);
    EXPECT_EQ(parsed.options->flashSize, 655360u);

    const auto bench = MakeBenchOptions(*parsed.options);
    EXPECT_FALSE(bench.unit.fast);
    EXPECT_EQ(bench.unit.eraseTime, UnitOptions{}.eraseTime);
    EXPECT_EQ(bench.unit.writeTime, UnitOptions{}.writeTime);
}

TEST(CommandLineTest, ReadsEveryOption) {
    const auto parsed =
        Parse({"--dir", "/tmp/x", "--count=4", "--fault", "2:silent", "--fault=3:demon-stop:5",
               "--fault", "3:noise", "--erase-ms", "250", "--write-ms=3", "--flash-base",
               "0x00A00000", "--flash-size", "128K", "--fast", "--quiet", "--spin"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const auto& options = *parsed.options;
    EXPECT_EQ(options.dir, "/tmp/x");
    EXPECT_EQ(options.count, 4u);
    EXPECT_TRUE(options.fast);
    EXPECT_TRUE(options.quiet);
    EXPECT_EQ(options.flashBase, 0x00A00000u);
    EXPECT_EQ(options.flashSize, 128u * 1024);
    ASSERT_EQ(options.faults.size(), 2u);
    EXPECT_EQ(options.faults.at(2), (std::vector<Fault>{{FaultKind::Silent, 0}}));
    EXPECT_EQ(options.faults.at(3),
              (std::vector<Fault>{{FaultKind::DemonStop, 5}, {FaultKind::Noise, 3}}));

    const auto bench = MakeBenchOptions(options);
    EXPECT_EQ(bench.count, 4u);
    EXPECT_EQ(bench.dir, "/tmp/x");
    EXPECT_TRUE(bench.unit.fast);
    // Given times win over the fast defaults.
    EXPECT_EQ(bench.unit.eraseTime, std::chrono::milliseconds(250));
    EXPECT_EQ(bench.unit.writeTime, std::chrono::milliseconds(3));
    EXPECT_EQ(bench.unit.flashBase, 0x00A00000u);
    EXPECT_EQ(bench.faults, options.faults);
    EXPECT_TRUE(bench.spin);
}

TEST(CommandLineTest, HighestRateForEveryUnitAndForOne) {
    const auto parsed = Parse({"--count", "4", "--max-baud=4:38400", "--max-baud", "57600"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const auto bench = MakeBenchOptions(*parsed.options);
    EXPECT_EQ(bench.unit.maxBaud, 57600u);
    EXPECT_EQ(bench.maxBaud, (std::map<unsigned, std::uint32_t>{{4, 38400}}));
    EXPECT_EQ(MakeBenchOptions(*Parse({}).options).unit.maxBaud, 115200u);
}

TEST(CommandLineTest, FastDropsTheUnitTimesUnlessGiven) {
    const auto parsed = Parse({"--fast"});
    ASSERT_TRUE(parsed.options);
    const auto bench = MakeBenchOptions(*parsed.options);
    EXPECT_EQ(bench.unit.eraseTime, std::chrono::milliseconds(0));
    EXPECT_EQ(bench.unit.writeTime, std::chrono::milliseconds(0));
}

TEST(CommandLineTest, SizesAndAddressesInTheirForms) {
    const auto size = [](std::string_view text) {
        const auto parsed = Parse({"--flash-size", text});
        return parsed.options ? parsed.options->flashSize : 0u;
    };
    EXPECT_EQ(size("4096"), 4096u);
    EXPECT_EQ(size("0x1000"), 4096u);
    EXPECT_EQ(size("4k"), 4096u);
    EXPECT_EQ(size("1M"), 1048576u);
    EXPECT_EQ(size("64M"), 64u * 1048576);
    EXPECT_EQ(size("65M"), 0u);
    EXPECT_EQ(size("0"), 0u);
    EXPECT_EQ(size("12q"), 0u);

    const auto base = [](std::string_view text) {
        const auto parsed = Parse({"--flash-base", text});
        return parsed.options ? parsed.options->flashBase : 0u;
    };
    EXPECT_EQ(base("C10000"), 0x00C10000u);
    EXPECT_EQ(base("0XC10000"), 0x00C10000u);
    EXPECT_EQ(base("100000000"), 0u);
    EXPECT_EQ(base("zz"), 0u);
}

TEST(CommandLineTest, RefusesBadInput) {
    const std::vector<std::vector<std::string_view>> cases = {
        {"--count"},
        {"--count", "0"},
        {"--count", "65"},
        {"--count", "two"},
        {"--fault", "silent"},
        {"--fault", "0:silent"},
        {"--fault", "2:silent"},  // only one unit
        {"--fault", "1:loud"},
        {"--erase-ms", "-5"},
        {"--erase-ms", "3600001"},
        {"--fast=yes"},
        {"--dir", ""},
        {"--flash-base", "FFFF0000", "--flash-size", "0x10001"},
        {"--max-baud", "19200"},
        {"--max-baud", "0:57600"},
        {"--max-baud", "2:57600"},  // only one unit
        {"--max-baud", ":57600"},
        {"--max-baud", "1:"},
        {"--frobnicate"},
        {"com1"},
    };
    for (const auto& args : cases) {
        const auto parsed = Parse(args);
        std::string joined;
        for (auto arg : args) {
            joined += std::string(arg) + ' ';
        }
        EXPECT_FALSE(parsed.options) << joined;
        EXPECT_FALSE(parsed.error.empty()) << joined;
    }
}

TEST(CommandLineTest, HelpNamesEveryOptionAndFault) {
    EXPECT_TRUE(Parse({"--help"}).options->help);
    EXPECT_TRUE(Parse({"-h"}).options->help);
    const std::string usage = UsageText("vantrel-unitsim");
    for (const char* word :
         {"--dir",           "--count",      "--fault",      "--erase-ms",     "--write-ms",
          "--flash-base",    "--flash-size", "--fast",       "--quiet",        "--help",
          "--spin",          "silent",       "demon-stop:K", "fw-stop:K",      "demon-double-ack:K",
          "fw-double-ack:K", "slow-erase",   "noise",        "demon-hangup:K", "hangup:K",
          "SIGINT",          "SIGUSR1"}) {
        EXPECT_NE(usage.find(word), std::string::npos) << word;
    }
    EXPECT_NE(usage.find("--max-baud [U:]N"), std::string::npos);
    for (const char* word : {"SIGUSR2", "--plug AWAY:BACK", "--seed N", "--operator SWAP",
                             "U#N:KIND[:K]", "comN-units.json"}) {
        EXPECT_NE(usage.find(word), std::string::npos) << word;
    }
}

using std::chrono::milliseconds;
using namespace std::chrono_literals;

TEST(CommandLineTest, ReadsPlugging) {
    const struct {
        std::vector<std::string_view> args;
        std::optional<PlugPlan> plug;
        std::optional<milliseconds> swap;
    } cases[] = {
        {{"--plug", "1-3:0.5-2"}, PlugPlan{{1000ms, 3000ms}, {500ms, 2000ms}, 1}, std::nullopt},
        {{"--plug=2:0", "--seed", "42"}, PlugPlan{{2000ms, 2000ms}, {0ms, 0ms}, 42}, std::nullopt},
        {{"--plug", "0.25-0.5:1.125"}, PlugPlan{{250ms, 500ms}, {1125ms, 1125ms}, 1}, std::nullopt},
        {{"--operator", "2.5"}, std::nullopt, 2500ms},
        {{"--operator=0", "--seed", "9"}, std::nullopt, 0ms},
        {{}, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto parsed = Parse(c.args);
        ASSERT_TRUE(parsed.options) << parsed.error;
        EXPECT_EQ(parsed.options->plug, c.plug);
        EXPECT_EQ(parsed.options->operatorSwap, c.swap);
        const auto bench = MakeBenchOptions(*parsed.options);
        EXPECT_EQ(bench.plug, c.plug);
        EXPECT_EQ(bench.operatorSwap, c.swap);
    }
}

TEST(CommandLineTest, FaultsForOneUnitAtAPortAndForEveryUnitThere) {
    const auto parsed = Parse({"--count", "3", "--fault", "2#1:fw-stop:5", "--fault=2#3:silent",
                               "--fault", "2:noise", "--fault", "2#1:noise:2"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    using Key = std::pair<unsigned, unsigned>;
    const std::map<Key, std::vector<Fault>> instanceFaults = {
        {{2, 1}, {{FaultKind::FirmwareStop, 5}, {FaultKind::Noise, 2}}},
        {{2, 3}, {{FaultKind::Silent, 0}}},
    };
    EXPECT_EQ(parsed.options->instanceFaults, instanceFaults);
    EXPECT_EQ(parsed.options->faults,
              (std::map<unsigned, std::vector<Fault>>{{2, {{FaultKind::Noise, 3}}}}));
    EXPECT_EQ(MakeBenchOptions(*parsed.options).instanceFaults, instanceFaults);
}

TEST(CommandLineTest, RefusesBadPluggingAndUnitNumbers) {
    const std::vector<std::pair<const char*, std::vector<const char*>>> cases = {
        {"--plug",
         {"1", "1:", ":1", "3-1:1", "-1:1", "1:2:3", "1.2.3:1", "1.:1", "1.2345:1", "a:1", "3601:1",
          "1-2-3:1"}},
        {"--operator", {"x", "-1", ""}},
        {"--seed", {"x", "4294967296"}},
        {"--fault",
         {"1#0:silent", "1#:silent", "#1:silent", "1#x:silent", "2#1:silent", "1#1:loud",
          "1#1#1:silent"}},
    };
    for (const auto& [option, values] : cases) {
        for (const char* value : values) {
            const auto parsed = Parse({option, value});
            EXPECT_FALSE(parsed.options) << option << ' ' << value;
            EXPECT_FALSE(parsed.error.empty()) << option << ' ' << value;
        }
    }
    const auto both = Parse({"--operator", "1", "--plug", "1:1"});
    EXPECT_FALSE(both.options);
    EXPECT_NE(both.error.find("--operator"), std::string::npos);
}

}  // namespace
}  // namespace vantrel::sim::test
