// Real runs on the worker thread, with ports that no unit answers on.
#include <gtest/gtest.h>

#include "tests/settings/QtPrinters.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "image/SRecordWriter.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/ControlIds.h"

namespace vantrel {
namespace {

using testing::PatternBytes;
using testing::WaitUntil;
using testing::WindowTest;

class RunTest : public WindowTest {
  protected:
    QPushButton* StartButton() { return Control<QPushButton>(ids::kStart); }
    // The run is over: Start is back and the thread has finished.
    bool RunOver() { return StartButton()->isEnabled() && !Window().RunActive(); }
    void SeedRemembered() {
        Seed("RomFile", "NameAndPath", "/remembered.rom");
        Seed("Misc", "FwBaseAddr", "00C10000");
    }
};

TEST_F(RunTest, ExitRightAfterStartStopsTheRunWithoutAQuestion) {
    SeedRemembered();
    const QString rom = RomFileWith("fw.rom", FormatS3Records(PatternBytes(1000), 0x00C10000));
    TickWithDevice(1);
    CLoaderDialog& window = Window();
    window.Link().ClosePort(1);
    Control<QLineEdit>(ids::kRomPath)->setText(rom);
    Click(ids::kStart);
    ASSERT_FALSE(StartButton()->isEnabled());
    ASSERT_TRUE(window.Link().IsOpen(1));
    // Nothing of the run has reached this thread yet: the images are being read.
    ASSERT_FALSE(window.State().InProgress());
    Click(ids::kExit);
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.RunActive()) << "the run was stopped and joined";
    EXPECT_FALSE(window.Link().IsOpen(1));
    // Whatever the run still had queued for this thread is dropped.
    QCoreApplication::processEvents();
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_EQ(Stored("RomFile", "NameAndPath"), "/remembered.rom");
    EXPECT_TRUE(Control<QLineEdit>(ids::kPortStatus[0])->text().isEmpty());
}

TEST_F(RunTest, ARunWhoseImageFailsToLoadLeavesTheStoreAlone) {
    SeedRemembered();
    // A checksum that does not match.
    const QString rom = RomFileWith("bad.rom", "S30900C1000001020304FF\n");
    TickWithDevice(2);
    Control<QLineEdit>(ids::kRomPath)->setText(rom);
    Window().SetBaseAddressText("c10000");
    Click(ids::kStart);
    ASSERT_TRUE(WaitUntil([&] { return RunOver(); }));
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].type.icon, BoxIcon::Exclamation);
    EXPECT_EQ(boxes_.shown[0].owner.data(), &Window());
    EXPECT_EQ(Stored("RomFile", "NameAndPath"), "/remembered.rom");
    EXPECT_EQ(Stored("Misc", "FwBaseAddr"), "00C10000");
    EXPECT_FALSE(Window().Link().IsOpen(2)) << "finish-run closes the selected ports";
}

TEST_F(RunTest, AnEmptyBaseAddressStopsTheRunWithTheInvalidAddressMessage) {
    SeedRemembered();
    const QString rom = RomFileWith("fw.rom", FormatS3Records(PatternBytes(100), 0x00C10000));
    TickWithDevice(2);
    Control<QLineEdit>(ids::kRomPath)->setText(rom);
    Window().SetBaseAddressText("");
    Click(ids::kStart);
    ASSERT_TRUE(WaitUntil([&] { return RunOver(); }));
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_TRUE(boxes_.shown[0].text.startsWith("Invalid base address specified."));
    EXPECT_EQ(Stored("Misc", "FwBaseAddr"), "00C10000");
}

TEST_F(RunTest, AGoodImageIsRememberedAsTypedEvenWhenNoUnitAnswers) {
    SeedRemembered();
    const QString rom = RomFileWith("good.rom", FormatS3Records(PatternBytes(500), 0x00C10000));
    TickWithDevice(1);
    Control<QLineEdit>(ids::kRomPath)->setText(rom);
    Window().SetBaseAddressText("c10000");
    Click(ids::kStart);
    ASSERT_TRUE(WaitUntil([&] { return RunOver(); }));
    EXPECT_EQ(Stored("RomFile", "NameAndPath"), rom);
    EXPECT_EQ(Stored("Misc", "FwBaseAddr"), "c10000") << "not normalised";
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text,
              "Error detected with the unit connected to COM 1: Force2Mon Failed...");
    EXPECT_EQ(boxes_.shown[0].type.icon, BoxIcon::Stop);
    EXPECT_EQ(Control<QLineEdit>(ids::kPortStatus[0])->text(), "Force2Mon Failed...");
    EXPECT_FALSE(Window().State().InProgress());
}

}  // namespace
}  // namespace vantrel
