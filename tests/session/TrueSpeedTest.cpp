// A whole download with bytes taking their real time on the line. Run on its own: its waits
// have little to spare, as the loader's own have.

#include <gtest/gtest.h>

#include "engine/UnitStage.h"
#include "tests/session/UnitRig.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using testing::ExpectProgrammed;
using testing::FirmwarePattern;
using testing::RomFixture;
using testing::StageText;
using testing::UnitRig;

TEST(TrueSpeed, ADownloadHoldsAtRealLineTiming) {
    // A Demon chunk needs about 245 ms on the line at 9600 baud, against a wait of 300 ms; the
    // firmware goes at 57600.
    sim::UnitOptions units;
    units.eraseTime = 50ms;
    units.writeTime = 2ms;
    const RomFixture rom(FirmwarePattern(300));
    UnitRig download({1}, units);
    EXPECT_EQ(download.Run(rom), RunOutcome::Completed);
    for (const auto& message : download.Session().View().Messages()) {
        ADD_FAILURE() << message.text.toStdString();
    }
    EXPECT_EQ(download.Session().View().Status(1), StageText(kFwLoadComplete));
    const sim::UnitReport report = download.Report(1);
    EXPECT_EQ(report.demonChunks, 26u);
    EXPECT_EQ(report.baud, 57600u);
    ExpectProgrammed(report, rom.Image());
}

}  // namespace
}  // namespace vantrel
