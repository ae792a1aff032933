#include "session/HeadlessSession.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>

#include "tests/serial/PtySupport.h"
#include "tests/session/SessionSupport.h"

namespace vantrel {
namespace {

using testing::BarePty;
using testing::MissingDevice;

// Start's checks, before any run: nothing here reaches a worker.
class SessionStartTest : public ::testing::Test {
  protected:
    SessionStartTest() {
        auto mapping = std::make_unique<TablePortMapping>();
        mapping_ = mapping.get();
        mapping_->Set(1, one_.Path());
        mapping_->Set(2, two_.Path());
        session_ = std::make_unique<HeadlessSession>(std::move(mapping));
    }
    std::vector<QString> Messages() const { return session_->View().MessageTexts(); }

    testing::RomFixture rom_{testing::FirmwarePattern(64)};
    BarePty one_;
    BarePty two_;
    TablePortMapping* mapping_ = nullptr;
    std::unique_ptr<HeadlessSession> session_;
};

TEST_F(SessionStartTest, NoTickedPortMeansNoRun) {
    EXPECT_EQ(session_->Run(HeadlessSession::Request(rom_.Path(), "00C10000")), std::nullopt);
    EXPECT_EQ(Messages(), std::vector<QString>{"Select COM port(s) first."});
    EXPECT_EQ(session_->View().Messages().front().icon, MessageIcon::Exclamation);
    EXPECT_FALSE(session_->Running());
}

TEST_F(SessionStartTest, TheRomFileIsCheckedBeforeThePorts) {
    EXPECT_EQ(session_->Run(HeadlessSession::Request("", "00C10000")), std::nullopt);
    EXPECT_EQ(Messages(), std::vector<QString>{"Select the ROM file first."});
}

TEST_F(SessionStartTest, AnUnreadableRomFileStopsStartWithTheTickedPortsOpen) {
    ASSERT_TRUE(session_->Tick(1));
    session_->Link().ClosePort(1);
    EXPECT_EQ(session_->Run(HeadlessSession::Request("/nonexistent/firmware.rom", "00C10000")),
              std::nullopt);
    EXPECT_EQ(Messages(), std::vector<QString>{"The ROM file could not be opened!"});
    EXPECT_TRUE(session_->Link().IsOpen(1));
    EXPECT_TRUE(session_->State().Port(1).selected.load());
    EXPECT_EQ(session_->View().Progress(), 0);
}

TEST_F(SessionStartTest, ATickThatCannotOpenIsReportedAndUnticked) {
    mapping_->Set(3, MissingDevice());
    EXPECT_FALSE(session_->Tick(3));
    EXPECT_FALSE(session_->IsTicked(3));
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_TRUE(Messages().front().startsWith("Failed to open Serial Port #3: "));
    EXPECT_EQ(session_->View().Messages().front().icon, MessageIcon::Exclamation);
}

TEST_F(SessionStartTest, APortThatCannotOpenAtStartIsReportedWithItsOwnText) {
    ASSERT_TRUE(session_->Tick(1));
    ASSERT_TRUE(session_->Tick(2));
    session_->Link().ClosePort(2);
    mapping_->Set(2, MissingDevice());

    EXPECT_EQ(session_->Run(HeadlessSession::Request(rom_.Path(), "00C10000")), std::nullopt);
    EXPECT_EQ(Messages(),
              std::vector<QString>{
                  "COM2 could not be opened: No such file or directory: " + MissingDevice() +
                  "\n\nNothing was flashed. Plug in the unit's cable, map COM2 to "
                  "its device (Port Mapping...), or untick COM2."});
    EXPECT_EQ(session_->View().Messages().front().icon, MessageIcon::Stop);
    EXPECT_FALSE(session_->Running());
}

TEST_F(SessionStartTest, TwoTickedPortsOnOneDeviceAreRefusedBeforeAnythingIsOpened) {
    QTemporaryDir links;
    const QString device = QFileInfo(one_.Path()).canonicalFilePath();
    ASSERT_TRUE(QFile::link(device, links.filePath("usb-A")));
    const QString sameDevice[] = {device, links.filePath("usb-A"),
                                  "./" + QDir::current().relativeFilePath(device)};
    mapping_->Set(3, two_.Path());
    ASSERT_TRUE(session_->Tick(1));
    ASSERT_TRUE(session_->Tick(3));
    for (const QString& path : sameDevice) {
        SCOPED_TRACE(path.toStdString());
        session_->Link().ClosePort(1);
        session_->Link().ClosePort(3);
        session_->View().Clear();
        mapping_->Set(3, path);
        EXPECT_EQ(session_->Run(HeadlessSession::Request(rom_.Path(), "00C10000")), std::nullopt);
        EXPECT_EQ(Messages(), std::vector<QString>{"COM1 and COM3 are the same device " + device +
                                                   ": tick one box per unit."});
        EXPECT_FALSE(session_->Link().IsOpen(1) || session_->Link().IsOpen(3));
    }
}

TEST_F(SessionStartTest, UntickClosesThePort) {
    ASSERT_TRUE(session_->Tick(2));
    session_->Untick(2);
    EXPECT_FALSE(session_->IsTicked(2));
    EXPECT_FALSE(session_->Link().IsOpen(2));
}

TEST(RecordingView, RecordsWhatAWindowWouldShow) {
    RecordingView view;
    std::vector<int> positions;
    view.SetCallbacks({{}, {}, [&](int position) { positions.push_back(position); }, {}});
    view.SetStatusText(16, "ENQ Sent");
    view.SetStatusText(16, "Force2Mon Successful");
    EXPECT_EQ(view.Status(16), "Force2Mon Successful");
    EXPECT_EQ(view.StatusHistory(16).size(), 2u);
    EXPECT_TRUE(view.Status(1).isEmpty());
    EXPECT_THROW(view.SetStatusText(17, "x"), std::out_of_range);

    EXPECT_EQ(view.ShowMessage("a", MessageButtons::Ok, MessageIcon::None), MessageResult::Ok);
    EXPECT_EQ(view.ShowMessage("b", MessageButtons::YesNo, MessageIcon::Stop), MessageResult::Yes);
    ASSERT_EQ(view.Messages().size(), 2u);
    EXPECT_EQ(view.Messages()[0].icon, MessageIcon::None) << "recorded as asked for";
    EXPECT_EQ(view.Messages()[1].icon, MessageIcon::Stop);

    view.SetProgress(0);
    view.StepProgress();
    view.StepProgress();
    view.SetProgress(100);
    EXPECT_EQ(positions, (std::vector<int>{0, 1, 2, 100}));
    EXPECT_EQ(view.ProgressHistory(), positions);
    EXPECT_EQ(view.ProgressSteps(), 2);

    view.Clear();
    EXPECT_TRUE(view.Messages().empty());
    EXPECT_TRUE(view.StatusHistory(16).empty());
    EXPECT_EQ(view.ProgressSteps(), 0);
}

}  // namespace
}  // namespace vantrel
