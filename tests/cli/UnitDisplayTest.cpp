#include "cli/UnitDisplay.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vantrel::cli {
namespace {

using namespace std::chrono_literals;

class UnitDisplayTest : public ::testing::Test {
  protected:
    UnitDisplay Make(bool live, std::size_t romBytes = 2000) {
        return UnitDisplay(out, live, {{1, "COM1"}, {4, "COM4 (/dev/x)"}}, 5630, romBytes,
                           [this] { return now; });
    }
    std::ostringstream out;
    std::chrono::steady_clock::time_point now{};
};

TEST_F(UnitDisplayTest, PlainOutputShowsPerChunkTextsOnlyOnce) {
    UnitDisplay display = Make(false);
    for (int chunk = 0; chunk < 3; ++chunk) {
        display.Status(1, "FW Load Cmd Sent");
        display.Status(1, "FW Load Cmd Ack");
    }
    display.Status(1, "FW Load Complete");
    display.Status(4, "Erase Failed...");
    display.Status(9, "not one of ours");
    EXPECT_EQ(out.str(),
              "COM1: FW Load Cmd Sent\nCOM1: FW Load Cmd Ack\nCOM1: FW Load Complete\n"
              "COM4 (/dev/x): Erase Failed...\n");
}

TEST_F(UnitDisplayTest, PlainProgressEveryTenthWithBytesOfTheImageBeingSent) {
    UnitDisplay display = Make(false);
    display.Progress(5);
    display.Progress(9);
    display.Progress(100);
    display.Progress(0);
    now += 10s;
    display.Progress(25);
    const std::string text = out.str();
    EXPECT_NE(text.find("Demon    [#.............................]   5%  281 / 5,630 bytes"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("  9%"), std::string::npos) << "same tenth as 5%";
    EXPECT_NE(text.find("Demon    [##############################] 100%  5,630 / 5,630 bytes"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Firmware [.............................."), std::string::npos) << text;
    EXPECT_NE(text.find("Firmware [#######.......................]  25%  500 / 2,000 bytes  "
                        "ETA 0:30"),
              std::string::npos)
        << text;
}

TEST_F(UnitDisplayTest, LiveModeRedrawsInPlaceAndPrintsMessagesAboveTheBlock) {
    UnitDisplay display = Make(true);
    display.Status(1, "ENQ Sent");
    display.Status(4, "ENQ Sent");  // within 100 ms of the first draw: not drawn yet
    EXPECT_EQ(out.str().find("COM4 (/dev/x): ENQ Sent"), std::string::npos);
    now += 200ms;
    display.Status(4, "Force2Mon Successful");
    EXPECT_NE(out.str().find("\x1b[3F"), std::string::npos) << "back up over 2 units + bar";
    EXPECT_NE(out.str().find("COM1: ENQ Sent"), std::string::npos);
    out.str("");
    display.Message("Error detected with the unit connected to COM 4: Force2Mon Failed...");
    EXPECT_EQ(out.str().rfind("\x1b[3F\x1b[J", 0), 0u) << "clears the block first";
    EXPECT_NE(out.str().find("Force2Mon Failed...\n\x1b[2KCOM1: ENQ Sent"), std::string::npos);
}

TEST_F(UnitDisplayTest, RunRefusedAtTheStartShowsOnlyItsMessage) {
    UnitDisplay display = Make(true);
    display.Message("ROM file format invalid (S-record)");
    display.Finish();
    EXPECT_EQ(out.str(), "ROM file format invalid (S-record)\n");
}

TEST(GroupThousandsTest, GroupsByThree) {
    EXPECT_EQ(GroupThousands(0), "0");
    EXPECT_EQ(GroupThousands(999), "999");
    EXPECT_EQ(GroupThousands(1000), "1,000");
    EXPECT_EQ(GroupThousands(655360), "655,360");
    EXPECT_EQ(GroupThousands(1234567), "1,234,567");
}

}  // namespace
}  // namespace vantrel::cli
