#include "cli/CliOptions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli/CliOptionTable.h"

namespace vantrel::cli {
namespace {

CliOptions Parse(std::vector<std::string> arguments) {
    auto parsed = ParseArguments(arguments);
    EXPECT_TRUE(std::holds_alternative<CliOptions>(parsed));
    return std::holds_alternative<CliOptions>(parsed) ? std::get<CliOptions>(parsed) : CliOptions{};
}

std::string Error(std::vector<std::string> arguments) {
    auto parsed = ParseArguments(arguments);
    const auto* error = std::get_if<CliUsageError>(&parsed);
    return error != nullptr ? error->text : "(no error)";
}

// Devices by their own names: a path on Linux, a Windows device name beyond COM16 on Windows.
#ifdef _WIN32
const char* const kDevice0 = "\\\\.\\COM20";
const char* const kDevice1 = "\\\\.\\com21";
#else
const char* const kDevice0 = "/dev/ttyUSB0";
const char* const kDevice1 = "/dev/ttyUSB1";
#endif

TEST(CliOptionsTest, ComPortsKeepTheirNumbersAndDevicesTakeTheFreeSlots) {
    const CliOptions options =
        Parse({"--rom", "fw.rom", kDevice0, "com3", "COM1", kDevice1, "--json"});
    EXPECT_EQ(options.romPath, "fw.rom");
    EXPECT_TRUE(options.json);
    EXPECT_FALSE(options.remember);
    EXPECT_FALSE(options.baseAddress.has_value());
    ASSERT_EQ(options.ports.size(), 4u);
    EXPECT_EQ(options.ports[0].port, 1);
    EXPECT_TRUE(options.ports[0].devicePath.empty());
    EXPECT_EQ(options.ports[1].port, 2);
    EXPECT_EQ(options.ports[1].devicePath, kDevice0);
    EXPECT_EQ(options.ports[2].port, 3);
    EXPECT_EQ(options.ports[3].port, 4);
    EXPECT_EQ(options.ports[3].devicePath, kDevice1);
}

// Windows takes every name in any folder that looks like COM1 for the port COM1 itself.
#ifndef _WIN32

TEST(CliOptionsTest, RelativeDevicePathsAreTakenFromTheCurrentDirectory) {
    const std::string here = std::filesystem::current_path().string();
    const CliOptions options = Parse({"--rom", "a", "units/com1", "./units/com2", "../com3"});
    ASSERT_EQ(options.ports.size(), 3u);
    EXPECT_EQ(options.ports[0].devicePath, here + "/units/com1");
    EXPECT_EQ(options.ports[1].devicePath, here + "/units/com2");
    EXPECT_EQ(options.ports[2].devicePath, here + "/../com3");
    EXPECT_EQ(options.ports[1].argument, "./units/com2") << "named as typed";
}
#endif

TEST(CliOptionsTest, BaseAddressIsKeptAsTyped) {
    EXPECT_EQ(Parse({"--rom", "a", "--base", "c10000", "COM2"}).baseAddress, "c10000");
    EXPECT_EQ(Error({"--rom", "a", "--base", "0xC10000", "COM2"}),
              "--base takes 1 to 8 hexadecimal digits, without 0x: 0xC10000");
    EXPECT_EQ(Error({"--rom", "a", "--base", "123456789", "COM2"}),
              "--base takes 1 to 8 hexadecimal digits, without 0x: 123456789");
    EXPECT_EQ(Error({"--rom", "a", "COM2", "--base"}), "--base needs a hexadecimal address");
}

TEST(CliOptionsTest, BaudIsARateTheUnitsHaveACodeFor) {
    EXPECT_EQ(Parse({"--rom", "a", "COM1"}).baud, 57600);
    for (int baud : {38400, 57600, 115200}) {
        EXPECT_EQ(Parse({"--rom", "a", "--baud", std::to_string(baud), "COM1"}).baud, baud);
    }
    for (const char* bad : {"9600", "19200", "230400", "115200x", "0x1C200", "", "-57600"}) {
        EXPECT_EQ(Error({"--rom", "a", "--baud", bad, "COM1"}),
                  std::string("--baud takes 38400, 57600 or 115200: ") + bad);
    }
    EXPECT_EQ(Error({"--rom", "a", "COM1", "--baud"}), "--baud needs a line speed");
    EXPECT_NE(UsageText("vantrel-cli").find("\"Erase Failed...\""), std::string::npos);
}

TEST(CliOptionsTest, BadCommandLinesAreRefusedWithAReason) {
    EXPECT_EQ(Error({"COM1"}), "no ROM file: give --rom FILE");
    EXPECT_EQ(Error({"--rom"}), "--rom needs a file");
    EXPECT_EQ(Error({"--rom", "a"}), "no port: name COM1 to COM16 or a device path");
    EXPECT_EQ(Error({"--rom", "a", "COM17"}), "no such port COM17: COM1 to COM16");
    EXPECT_EQ(Error({"--rom", "a", "COM0"}), "not a port: COM0 (COM1 to COM16 or a device path)");
    EXPECT_EQ(Error({"--rom", "a", "COM2", "com2"}), "port named twice: com2");
    EXPECT_EQ(Error({"--rom", "a", "ttyS0"}), "not a port: ttyS0 (COM1 to COM16 or a device path)");
    EXPECT_EQ(Error({"--rom", "a", "--fast", "COM1"}), "unknown option --fast");
}

TEST(CliOptionsTest, OptionsAreToldAsTyped) {
    EXPECT_EQ(Parse({"--rom=fw.rom", "COM1"}).romPath, "fw.rom");
    EXPECT_EQ(Error({"--rom", "a", "-fast", "COM1"}), "unknown option -fast");
    EXPECT_EQ(Error({"--rom", "a", "--json=yes", "COM1"}), "unknown option --json=yes");
    EXPECT_EQ(Error({"--rom", "a", "--x=1", "--y", "COM1"}), "unknown option --x=1");
    EXPECT_EQ(Error({"--rom", "a", "COM1", "--station=st-1", "--stats"}),
              "--stats needs a file or a postgresql:// address");
    EXPECT_EQ(Parse({"--rom", "--json", "COM1"}).romPath, "--json") << "a value is never an option";
}

TEST(CliOptionsTest, SeventeenPortsAreTooMany) {
    std::vector<std::string> arguments = {"--rom", "a"};
    for (int i = 0; i < 16; ++i) {
        arguments.push_back("/dev/u" + std::to_string(i));
    }
    EXPECT_EQ(Parse(arguments).ports.back().port, 16);
    arguments.push_back("/dev/u16");
    EXPECT_EQ(Error(arguments), "at most 16 ports");
}

TEST(CliOptionsTest, StationOptionsAndTheStatsReport) {
    const CliOptions options = Parse({"--loop", "--log", "postgresql://ann@db/trace", "--station",
                                      "st-3", "--operator", "bo", "--rom", "a", "COM1"});
    EXPECT_TRUE(options.loop);
    EXPECT_EQ(options.logTarget, "postgresql://ann@db/trace");
    EXPECT_EQ(options.station, "st-3");
    EXPECT_EQ(options.operatorName, "bo");
    EXPECT_FALSE(Parse({"--rom", "a", "COM1"}).logTarget.has_value());

    const auto stats = ParseArguments({"--json", "--stats", "s.db", "--since", "2024-05-31"});
    ASSERT_TRUE(std::holds_alternative<StatsRequest>(stats));
    EXPECT_EQ(std::get<StatsRequest>(stats).target, "s.db");
    EXPECT_EQ(std::get<StatsRequest>(stats).since, "2024-05-31T00:00:00.000Z");
    EXPECT_TRUE(std::get<StatsRequest>(stats).json);

    const auto page = ParseArguments({"--stats", "s.db", "--html", "yield.html"});
    ASSERT_TRUE(std::holds_alternative<StatsRequest>(page));
    EXPECT_EQ(std::get<StatsRequest>(page).htmlPath, "yield.html");

    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--stats", "s.db", "COM1"}, "--stats takes only --since and --json or --html"},
        {{"--stats", "s.db", "--since", "May"},
         "--since takes a date, 2024-05-31, or a time, 2024-05-31T14:00Z: May"},
        {{"--rom", "a", "--since", "2024-05-31", "COM1"}, "--since goes with --stats"},
        {{"--rom", "a", "--html", "p.html", "COM1"}, "--html goes with --stats"},
        {{"--stats", "s.db", "--json", "--html", "p.html"},
         "--html writes a page, --json prints: give one of them"},
        {{"--stats", "s.db", "--html"}, "--html needs a file"},
        {{"--inspect", "fw.rom", "--html", "p.html"},
         "--inspect flashes nothing: it takes only --base and --json"},
        {{"--list-ports", "--html", "p.html"},
         "--list-ports flashes nothing: it takes only --json"},
    };
    for (const auto& [arguments, message] : refused) {
        EXPECT_EQ(Error(arguments), message);
    }
    EXPECT_EQ(Error({"--rom", "a", "COM1", "--log"}),
              "--log needs a file or a postgresql:// address");
}

TEST(CliOptionsTest, HelpAndVersionWinOverEverythingElse) {
    EXPECT_EQ(std::get<CliAction>(ParseArguments({"COM99", "--help"})), CliAction::Help);
    EXPECT_EQ(std::get<CliAction>(ParseArguments({"--version"})), CliAction::Version);
    EXPECT_NE(UsageText("vantrel-cli").find("--remember"), std::string::npos);
    EXPECT_EQ(VersionText(), "Vantrel 1.00");
}

TEST(CliOptionsTest, StationAndOperatorNamesAreShownAsTheyAreOrRefused) {
    const CliOptions options =
        Parse({"--rom", "a", "--log", "l.db", "--station", "Linie 3 – Prüfplatz", "COM1"});
    EXPECT_EQ(options.station, "Linie 3 – Prüfplatz");
    for (const auto& [arguments, told] :
         std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--station", ""}, "--station is empty"},
             {{"--station=st\xff"}, "--station is not valid UTF-8"},
             {{"--operator", "ann\xc0\xaf"}, "--operator is not valid UTF-8"},  // overlong '/'
             {{"--station", "st-1\nst-2 COM1 99"}, "--station holds a control character"},
             {{"-operator", "ann\tbob"}, "--operator holds a control character"},
         }) {
        std::vector<std::string> typed = {"--rom", "a", "--log", "l.db"};
        typed.insert(typed.end(), arguments.begin(), arguments.end());
        typed.push_back("COM1");
        EXPECT_EQ(Error(typed).rfind(told, 0), 0u) << Error(typed);
    }
}

#ifdef VANTREL_CLI_MAN_PAGE
TEST(CliOptionsTest, EveryOptionIsInTheUsageAndTheManualPage) {
    std::ifstream page(VANTREL_CLI_MAN_PAGE);
    ASSERT_TRUE(page.good()) << VANTREL_CLI_MAN_PAGE;
    const std::string manual((std::istreambuf_iterator<char>(page)), {});
    const std::string usage = UsageText("vantrel-cli");
    for (const OptionSpec& option : OptionTable()) {
        const std::string name = option.name;
        // groff writes a dash as \-.
        std::string escaped = "\\-\\-";
        for (const char c : name) {
            escaped += c == '-' ? std::string("\\-") : std::string(1, c);
        }
        EXPECT_NE(manual.find(escaped), std::string::npos) << "--" << name;
        EXPECT_NE(usage.find("  --" + name), std::string::npos) << "--" << name;
    }
}
#endif

}  // namespace
}  // namespace vantrel::cli
