#include <gtest/gtest.h>

#include "tests/settings/QtPrinters.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <system_error>

#include "image/SRecordWriter.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/AboutDialog.h"
#include "ui/ControlIds.h"
#include "ui/DialogUnits.h"
#include "ui/OptionsDialog.h"

namespace vantrel {
namespace {

using testing::PatternBytes;
using testing::ReadAll;
using testing::TabCycle;
using testing::WindowTest;

const QString kSelectRomFirst = QStringLiteral("Select the ROM file first.");
const QString kRomOpenFailed = QStringLiteral("The ROM file could not be opened!");
const QString kSelectPortsFirst = QStringLiteral("Select COM port(s) first.");
const QString kExitQuestion = QStringLiteral(
    "Firmware loading is in progress! Unit may not    recover if the loading process is "
    "interrupted.\n\nAre you sure you want to exit?");

// The port table of template 102, in dialog units.
struct PortRow {
    int boxId;
    int boxX;
    int y;
    int statusId;
    int statusX;
};
const PortRow kPortRows[16] = {
    {1003, 15, 51, 1010, 57},    {1004, 15, 67, 1021, 57},    {1005, 15, 83, 1023, 57},
    {1006, 15, 99, 1025, 57},    {1011, 15, 115, 1027, 57},   {1012, 15, 131, 1029, 57},
    {1013, 15, 147, 1031, 57},   {1014, 15, 163, 1033, 57},   {1015, 159, 51, 1035, 204},
    {1016, 159, 67, 1037, 204},  {1017, 159, 83, 1039, 204},  {1018, 159, 99, 1041, 204},
    {1007, 159, 115, 1036, 204}, {1022, 159, 131, 1038, 204}, {1024, 159, 147, 1040, 204},
    {1026, 159, 163, 1042, 204},
};

// Records what Start hands to a run instead of starting one, or fails to make its thread.
class CapturingWindow : public CLoaderDialog {
  public:
    using CLoaderDialog::CLoaderDialog;
    struct Run {
        RunPlan plan;
        std::vector<std::uint8_t> image;  // what the plan sends from the ROM buffer
    };
    std::vector<Run> runs;
    bool failToStart = false;

  protected:
    void StartRun(const RunPlan& plan) override {
        if (failToStart) {
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        const auto& rom = State().RomBuffer();
        runs.push_back({plan, std::vector<std::uint8_t>(
                                  rom.begin(), rom.begin() + static_cast<long>(plan.romSize))});
    }
};

class LoaderDialogTest : public WindowTest {
  protected:
    LoaderDialogTest() {
        makeWindow_ = [](CLoaderApp& app, const PortMapping& mapping) {
            return std::make_unique<CapturingWindow>(app, mapping);
        };
    }
    CapturingWindow& Capturing() { return static_cast<CapturingWindow&>(Window()); }
    QLineEdit* PathField() { return Control<QLineEdit>(ids::kRomPath); }
    QPushButton* StartButton() { return Control<QPushButton>(ids::kStart); }
    QString ValidRom(const QString& name = QStringLiteral("fw.rom")) {
        return RomFileWith(name, FormatS3Records(PatternBytes(300), 0x00C10000));
    }
};

// --- Layout --------------------------------------------------------------------------------

TEST_F(LoaderDialogTest, TitleIsTheProgramNameAndVersionWhateverTheExecutableIsCalled) {
    App(QStringLiteral("/usr/lib/some.dir/Renamed.bin"));
    EXPECT_EQ(Window().windowTitle(), "Vantrel v1.00");
    Click(ids::kStart);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].caption, "Renamed");
}

TEST_F(LoaderDialogTest, AComBoxTellsWhatStandsBehindItWhenThePointerRestsOnIt) {
    mapping_.Set(3, dir_.filePath(QStringLiteral("unit3")));
    auto* box = Control<QCheckBox>(kPortRows[2].boxId);
    QHelpEvent hover(QEvent::ToolTip, QPoint(2, 2), box->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(box, &hover);
    EXPECT_EQ(box->toolTip(), "Com 3: " + dir_.filePath(QStringLiteral("unit3")) +
                                  "\nnot among the serial ports found on this machine");
}

TEST_F(LoaderDialogTest, PortRowsSitWhereTheTemplatePutsThem) {
    const DialogUnits units = DialogUnits::ForFont(Window().font());
    for (int port = 1; port <= 16; ++port) {
        const PortRow& row = kPortRows[port - 1];
        auto* box = Control<QCheckBox>(row.boxId);
        auto* status = Control<QLineEdit>(row.statusId);
        ASSERT_NE(box, nullptr) << port;
        ASSERT_NE(status, nullptr) << port;
        EXPECT_EQ(box->text(), QStringLiteral("Com %1").arg(port));
        EXPECT_EQ(box->geometry(), units.Rect(row.boxX, row.y, 40, 12)) << port;
        EXPECT_EQ(status->geometry(), units.Rect(row.statusX, row.y, 91, 12)) << port;
        EXPECT_FALSE(box->isChecked());
        EXPECT_TRUE(status->isReadOnly());
        EXPECT_TRUE(status->text().isEmpty());
        EXPECT_NE(status->focusPolicy() & Qt::TabFocus, 0) << "status fields take the focus";
    }
}

TEST_F(LoaderDialogTest, OtherControlsSitWhereTheTemplatePutsThem) {
    CLoaderDialog& window = Window();
    EXPECT_EQ(window.font().pointSize(), 8);
    const DialogUnits units = DialogUnits::ForFont(window.font());
    EXPECT_EQ(window.size(), units.Size(311, 217));
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "fixed size";

    struct Expected {
        int id;
        QRect rect;
        QString text;
    };
    const Expected controls[] = {
        {ids::kRomPath, units.Rect(13, 15, 253, 12), QString()},
        {ids::kBrowse, units.Rect(271, 15, 26, 13), "..."},
        {ids::kProgress, units.Rect(12, 190, 136, 16), QString()},
        {ids::kStart, units.Rect(157, 190, 50, 16), "Start"},
        {ids::kSettings, units.Rect(210, 190, 35, 16), "Settings"},
        {ids::kAbout, units.Rect(249, 190, 15, 16), "?"},
        {ids::kExit, units.Rect(268, 190, 30, 16), "E&xit"},
    };
    for (const Expected& expected : controls) {
        QWidget* control = Control(expected.id);
        ASSERT_NE(control, nullptr) << expected.id;
        EXPECT_EQ(control->geometry(), expected.rect) << expected.id;
        if (auto* button = qobject_cast<QPushButton*>(control)) {
            EXPECT_EQ(button->text(), expected.text);
            EXPECT_FALSE(button->isDefault()) << "no default button";
            EXPECT_FALSE(button->autoDefault());
        }
    }
    EXPECT_EQ(Control<QPushButton>(ids::kExit)->shortcut(), QKeySequence(Qt::ALT | Qt::Key_X));

    QStringList groups;
    for (const QGroupBox* group : window.findChildren<QGroupBox*>()) {
        groups << group->title();
        EXPECT_EQ(group->focusPolicy(), Qt::NoFocus);
    }
    EXPECT_TRUE(groups.contains("Select ROM File"));
    EXPECT_TRUE(groups.contains("Com Port Selection, Status and Settings"));
    EXPECT_EQ(groups.size(), 3);
}

TEST_F(LoaderDialogTest, ProgressBarRunsFromZeroToAHundred) {
    auto* bar = Control<QProgressBar>(ids::kProgress);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(bar->focusPolicy(), Qt::NoFocus);
}

TEST_F(LoaderDialogTest, TabVisitsTheControlsInTemplateOrder) {
    const std::vector<int> expected = {1003, 1019, 1004, 1021, 1005, 1023, 1006, 1025, 1011, 1027,
                                       1012, 1029, 1013, 1031, 1014, 1033, 1015, 1035, 1016, 1037,
                                       1017, 1039, 1018, 1041, 1044, 1087, 1104, 1010, 1091, 1007,
                                       1036, 1022, 1038, 1024, 1040, 1026, 1042, 1094};
    EXPECT_EQ(TabCycle(Control(1003)), expected);
}

TEST_F(LoaderDialogTest, FocusStartsOnComOneAndTabKeysMoveIt) {
    CLoaderDialog& window = Window();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_EQ(window.focusWidget(), Control(1003));
    QTest::keyClick(&window, Qt::Key_Tab);
    EXPECT_EQ(window.focusWidget(), Control(ids::kBrowse));
    QTest::keyClick(&window, Qt::Key_Tab);
    EXPECT_EQ(window.focusWidget(), Control(1004));
    QTest::keyClick(&window, Qt::Key_Tab, Qt::ShiftModifier);
    QTest::keyClick(&window, Qt::Key_Tab, Qt::ShiftModifier);
    QTest::keyClick(&window, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(window.focusWidget(), Control(ids::kSettings)) << "the order wraps around";
}

TEST_F(LoaderDialogTest, DisabledStartIsSkippedByTab) {
    StartButton()->setEnabled(false);
    const std::vector<int> order = TabCycle(Control(1018));
    ASSERT_GE(order.size(), 4u);
    EXPECT_EQ(std::vector<int>(order.begin(), order.begin() + 4),
              (std::vector<int>{1018, 1041, 1087, 1104}));
}

// --- Start-up and the remembered settings -------------------------------------------------

TEST_F(LoaderDialogTest, FirstStartShowsAnEmptyPathAndTheDefaultBaseAddress) {
    CLoaderDialog& window = Window();
    EXPECT_TRUE(PathField()->text().isEmpty());
    EXPECT_EQ(window.BaseAddressText(), "00C10000");
    EXPECT_EQ(window.RomType(), CLoaderDialog::kRomTypeFirmware);
    EXPECT_FALSE(window.RomFileOpen());
    EXPECT_FALSE(window.State().InProgress());
    // Reading writes nothing.
    EXPECT_EQ(Stored("RomFile", "NameAndPath"), "<none>");
    EXPECT_EQ(Stored("Misc", "FwBaseAddr"), "<none>");
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(LoaderDialogTest, RemembersTheValuesAsStoredWithoutOpeningTheFile) {
    Seed("RomFile", "NameAndPath", dir_.filePath("gone.rom"));
    Seed("Misc", "FwBaseAddr", "123456789abc");
    CLoaderDialog& window = Window();
    EXPECT_EQ(PathField()->text(), dir_.filePath("gone.rom"));
    EXPECT_EQ(window.BaseAddressText(), "123456789abc") << "used unchanged, whatever its length";
    EXPECT_FALSE(window.RomFileOpen());
    EXPECT_TRUE(boxes_.shown.empty()) << "a missing file is reported only at Start or Browse";
}

// --- Start ---------------------------------------------------------------------------------

TEST_F(LoaderDialogTest, StartWithoutPathAndWithoutPortsAsksOnlyForTheFile) {
    Window().SetProgress(40);
    Click(ids::kStart);
    EXPECT_EQ(boxes_.Texts(), QStringList{kSelectRomFirst});
    EXPECT_EQ(boxes_.shown[0].type, (BoxType{BoxButtons::Ok, BoxIcon::Exclamation, 0}));
    EXPECT_EQ(boxes_.shown[0].owner.data(), &Window());
    EXPECT_EQ(Control<QProgressBar>(ids::kProgress)->value(), 0) << "reset before any check";
    EXPECT_TRUE(StartButton()->isEnabled());
    EXPECT_TRUE(Capturing().runs.empty());
}

TEST_F(LoaderDialogTest, StartWithAMissingFileEmptiesThePathAndLeavesTheTickedPortsOpen) {
    Seed("RomFile", "NameAndPath", dir_.filePath("gone.rom"));
    TickWithDevice(2);
    ASSERT_TRUE(Window().Link().IsOpen(2));
    Window().Link().ClosePort(2);
    Click(ids::kStart);
    EXPECT_EQ(boxes_.Texts(), QStringList{kRomOpenFailed});
    EXPECT_EQ(boxes_.shown[0].type.icon, BoxIcon::Exclamation);
    EXPECT_TRUE(PathField()->text().isEmpty());
    EXPECT_TRUE(Window().RomPathText().isEmpty());
    EXPECT_FALSE(Window().RomFileOpen());
    EXPECT_TRUE(Window().Link().IsOpen(2)) << "Start opened it before the checks";
    EXPECT_TRUE(Window().State().Port(2).selected.load());
    EXPECT_TRUE(Capturing().runs.empty());
}

TEST_F(LoaderDialogTest, TheFileIsExaminedBeforeThePorts) {
    Seed("RomFile", "NameAndPath", dir_.filePath("gone.rom"));
    Click(ids::kStart);
    EXPECT_EQ(boxes_.Texts(), QStringList{kRomOpenFailed});
}

TEST_F(LoaderDialogTest, StartWithAFolderForAPathCannotOpenIt) {
    Seed("RomFile", "NameAndPath", dir_.path());
    Click(ids::kStart);
    EXPECT_EQ(boxes_.Texts(), QStringList{kRomOpenFailed});
    EXPECT_TRUE(PathField()->text().isEmpty());
}

TEST_F(LoaderDialogTest, StartWithAFileButNoPortAsksForPortsAndKeepsTheFileOpen) {
    const QString rom = ValidRom();
    Seed("RomFile", "NameAndPath", rom);
    Click(ids::kStart);
    EXPECT_EQ(boxes_.Texts(), QStringList{kSelectPortsFirst});
    EXPECT_EQ(boxes_.shown[0].type.icon, BoxIcon::Exclamation);
    EXPECT_TRUE(Window().RomFileOpen());
    EXPECT_EQ(PathField()->text(), rom);
    EXPECT_TRUE(StartButton()->isEnabled());
}

TEST_F(LoaderDialogTest, ClearingThePathWhileAFileIsOpenAsksForTheFile) {
    chooser_.answers = {ValidRom()};
    Click(ids::kBrowse);
    ASSERT_TRUE(Window().RomFileOpen());
    PathField()->clear();
    TickWithDevice(1);
    Click(ids::kStart);
    EXPECT_EQ(boxes_.Texts(), QStringList{kSelectRomFirst});
    EXPECT_TRUE(Window().RomFileOpen()) << "the open file is left alone";
    EXPECT_TRUE(Capturing().runs.empty());
}

TEST_F(LoaderDialogTest, APortThatCannotOpenAtStartEndsStartWithItsOwnTextAndAStopIcon) {
    const QString rom = ValidRom();
    Seed("RomFile", "NameAndPath", rom);
    TickWithDevice(1);
    Window().Link().ClosePort(1);
    mapping_.Set(1, dir_.filePath("unplugged"));
    Window().SetProgress(70);
    Click(ids::kStart);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    const QString text = boxes_.shown[0].text;
    EXPECT_FALSE(text.isEmpty());
    EXPECT_FALSE(text == kSelectRomFirst || text == kRomOpenFailed || text == kSelectPortsFirst);
    EXPECT_EQ(boxes_.shown[0].type, (BoxType{BoxButtons::Ok, BoxIcon::Stop, 0}));
    EXPECT_EQ(Control<QProgressBar>(ids::kProgress)->value(), 0);
    EXPECT_FALSE(Window().RomFileOpen()) << "no check was made, so the file was not opened";
    EXPECT_TRUE(StartButton()->isEnabled());
    EXPECT_TRUE(Capturing().runs.empty());
}

TEST_F(LoaderDialogTest, StartHandsTheRunTheFileAsReadThenAtTheBaseTypedThen) {
    const QString rom =
        RomFileWith("first.rom", FormatS3Records(std::vector<std::uint8_t>{1, 2, 3}, 0xC1));
    Seed("RomFile", "NameAndPath", rom);
    TickWithDevice(3);
    CapturingWindow& window = Capturing();
    window.SetBaseAddressText("c1");
    Click(ids::kStart);
    EXPECT_TRUE(boxes_.shown.empty()) << boxes_.Texts().join('|').toStdString();
    ASSERT_EQ(window.runs.size(), 1u);
    EXPECT_EQ(window.runs[0].plan.baseAddress, 0xC1u);
    EXPECT_EQ(window.runs[0].image, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_FALSE(StartButton()->isEnabled());
    EXPECT_EQ(window.runs[0].plan.romPathText, rom.toStdString());
    EXPECT_EQ(window.runs[0].plan.baseAddressText, "c1");

    // Later changes in the window do not reach the run.
    window.SetBaseAddressText("FF");
    EXPECT_EQ(window.runs[0].plan.baseAddress, 0xC1u);
    window.SetBaseAddressText("c1");

    // The next Start reads the file as it is on disk then, and follows an edited path.
    ASSERT_TRUE(testing::WriteFile(rom, FormatS3Records(std::vector<std::uint8_t>{4, 5}, 0xC1)));
    window.EnableStart();
    Click(ids::kStart);
    ASSERT_EQ(window.runs.size(), 2u);
    EXPECT_EQ(window.runs[1].image, (std::vector<std::uint8_t>{4, 5}));

    const QString other =
        RomFileWith("second.rom", FormatS3Records(std::vector<std::uint8_t>{6}, 0xC1));
    PathField()->setText(other);
    window.EnableStart();
    Click(ids::kStart);
    ASSERT_EQ(window.runs.size(), 3u);
    EXPECT_EQ(window.runs[2].image, std::vector<std::uint8_t>{6});
    EXPECT_EQ(window.runs[2].plan.romPathText, other.toStdString());
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(LoaderDialogTest, ARunWithoutAThreadIsReportedAndStartStaysDisabled) {
    Seed("RomFile", "NameAndPath", ValidRom());
    TickWithDevice(1);
    Capturing().failToStart = true;
    Click(ids::kStart);
    EXPECT_EQ(boxes_.Texts(), QStringList{"Failed to create system resources."});
    EXPECT_EQ(boxes_.shown[0].type.icon, BoxIcon::Exclamation);
    EXPECT_FALSE(StartButton()->isEnabled());
    EXPECT_TRUE(Window().Link().IsOpen(1)) << "the ticked ports stay open";
}

// --- Browse --------------------------------------------------------------------------------

TEST_F(LoaderDialogTest, BrowseAsksForARomFileStartingAtTheCurrentPath) {
    const QString rom = ValidRom();
    Click(ids::kBrowse);
    ASSERT_EQ(chooser_.requests.size(), 1u);
    const FileRequest& first = chooser_.requests[0];
    EXPECT_EQ(first.title, "Select ROM File...");
    EXPECT_EQ(first.defaultSuffix, "rom");
    EXPECT_TRUE(first.initialPath.isEmpty()) << "no path, no initial folder";
    ASSERT_EQ(first.filters.size(), 3u);
    EXPECT_EQ(first.filters[0], (FileFilter{"ROM File (.rom)", "*.rom"}));
    EXPECT_TRUE(first.filters[1].pattern.contains("*.hex") &&
                first.filters[1].pattern.contains("*.elf"));
    EXPECT_EQ(first.filters[2], (FileFilter{"All Files (*.*)", "*"}));

    chooser_.answers = {rom};
    Click(ids::kBrowse);
    Click(ids::kBrowse);
    ASSERT_EQ(chooser_.requests.size(), 3u);
    EXPECT_EQ(chooser_.requests[2].initialPath, rom) << "the whole path, file name included";
}

TEST_F(LoaderDialogTest, BrowseToAFileShowsItsPathAndOpensIt) {
    const QString rom = ValidRom();
    chooser_.answers = {rom};
    Click(ids::kBrowse);
    EXPECT_EQ(PathField()->text(), rom);
    EXPECT_EQ(Window().RomPathText(), rom);
    EXPECT_TRUE(Window().RomFileOpen());
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(LoaderDialogTest, BrowseCancelledChangesNothing) {
    const QString rom = ValidRom();
    chooser_.answers = {rom, std::nullopt};
    Click(ids::kBrowse);
    Click(ids::kBrowse);
    EXPECT_EQ(PathField()->text(), rom);
    EXPECT_TRUE(Window().RomFileOpen());
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(LoaderDialogTest, BrowseToAFileThatCannotBeOpenedClosesTheOldOne) {
    chooser_.answers = {ValidRom(), dir_.filePath("missing.rom")};
    Click(ids::kBrowse);
    ASSERT_TRUE(Window().RomFileOpen());
    Click(ids::kBrowse);
    EXPECT_EQ(boxes_.Texts(), QStringList{kRomOpenFailed});
    EXPECT_EQ(boxes_.shown[0].type.icon, BoxIcon::Exclamation);
    EXPECT_FALSE(Window().RomFileOpen());
    EXPECT_TRUE(PathField()->text().isEmpty());
}

// --- Port boxes ----------------------------------------------------------------------------

TEST_F(LoaderDialogTest, ABoxClickOpensAndClosesItsPort) {
    TickWithDevice(9);
    CLoaderDialog& window = Window();
    EXPECT_TRUE(window.IsTicked(9));
    EXPECT_TRUE(window.Link().IsOpen(9));
    EXPECT_TRUE(window.State().Port(9).selected.load());
    Click(kPortRows[8].boxId);
    EXPECT_FALSE(window.IsTicked(9));
    EXPECT_FALSE(window.Link().IsOpen(9));
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(LoaderDialogTest, ABoxWhosePortCannotOpenIsUntickedWithAWarning) {
    mapping_.Set(13, dir_.filePath("no-such-device"));
    Click(kPortRows[12].boxId);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_TRUE(boxes_.shown[0].text.startsWith("Failed to open Serial Port #13: "))
        << boxes_.shown[0].text.toStdString();
    EXPECT_EQ(boxes_.shown[0].type.icon, BoxIcon::Exclamation);
    EXPECT_FALSE(Window().IsTicked(13));
    EXPECT_FALSE(Control<QCheckBox>(1007)->isChecked());
}

// --- What a run shows ----------------------------------------------------------------------

TEST_F(LoaderDialogTest, RunViewReachesTheRightControls) {
    CLoaderDialog& window = Window();
    window.SetStatusText(13, "FW Load Cmd Sent");
    window.SetStatusText(1, "ENQ Sent");
    EXPECT_EQ(Control<QLineEdit>(1036)->text(), "FW Load Cmd Sent");
    EXPECT_EQ(Control<QLineEdit>(1010)->text(), "ENQ Sent");
    EXPECT_EQ(Control<QLineEdit>(1007), nullptr) << "1007 is port 13's box, not a status field";
    StartButton()->setEnabled(false);
    window.EnableStart();
    EXPECT_TRUE(StartButton()->isEnabled());
    window.WriteSetting("Misc", "FwBaseAddr", "c10000");
    EXPECT_EQ(Stored("Misc", "FwBaseAddr"), "c10000");
}

TEST_F(LoaderDialogTest, ProgressIsClampedWhenSetAndStartsOverWhenSteppedPastTheEnd) {
    CLoaderDialog& window = Window();
    auto* bar = Control<QProgressBar>(ids::kProgress);
    window.SetProgress(150);
    EXPECT_EQ(bar->value(), 100);
    window.SetProgress(-5);
    EXPECT_EQ(bar->value(), 0);
    window.StepProgress();
    window.StepProgress();
    EXPECT_EQ(bar->value(), 2);
    window.SetProgress(99);
    window.StepProgress();
    EXPECT_EQ(bar->value(), 100);
    window.StepProgress();
    EXPECT_EQ(bar->value(), 1);
}

TEST_F(LoaderDialogTest, ARunsMessagesGoThroughTheOneRoutine) {
    CLoaderDialog& window = Window();
    boxes_.answers = {BoxResult::Ok, BoxResult::Ok, BoxResult::No};
    EXPECT_EQ(window.ShowMessage("unit failed", MessageButtons::Ok, MessageIcon::Stop),
              MessageResult::Ok);
    EXPECT_EQ(window.ShowMessage("bad image", MessageButtons::Ok, MessageIcon::None),
              MessageResult::Ok);
    EXPECT_EQ(window.ShowMessage("sure?", MessageButtons::YesNo, MessageIcon::Exclamation),
              MessageResult::No);
    ASSERT_EQ(boxes_.shown.size(), 3u);
    EXPECT_EQ(boxes_.shown[0].type, (BoxType{BoxButtons::Ok, BoxIcon::Stop, 0}));
    EXPECT_EQ(boxes_.shown[1].type, (BoxType{BoxButtons::Ok, BoxIcon::Exclamation, 0}));
    EXPECT_EQ(boxes_.shown[2].type.buttons, BoxButtons::YesNo);
    for (const auto& box : boxes_.shown) {
        EXPECT_EQ(box.owner.data(), &window);
        EXPECT_EQ(box.caption, "Vantrel");
    }
}

// --- Keys, Exit and the close box ---------------------------------------------------------

TEST_F(LoaderDialogTest, EscapeAndEnterDoNothing) {
    CLoaderDialog& window = Window();
    for (QWidget* target :
         {static_cast<QWidget*>(&window), Control(1003), Control(ids::kRomPath), Control(1010)}) {
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Escape);
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier);
    }
    // The commands themselves, whoever gives them.
    window.accept();
    window.reject();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(boxes_.shown.empty()) << "no button was pressed either";
    EXPECT_TRUE(chooser_.requests.empty());
}

TEST_F(LoaderDialogTest, EnterPressesTheButtonThatHasTheFocus) {
    CLoaderDialog& window = Window();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    StartButton()->setFocus();
    QTest::keyClick(StartButton(), Qt::Key_Return);
    EXPECT_EQ(boxes_.Texts(), QStringList{kSelectRomFirst});
    EXPECT_TRUE(window.isVisible());
}

TEST_F(LoaderDialogTest, ExitWithoutARunAsksNothingAndEndsTheWindow) {
    TickWithDevice(4);
    chooser_.answers = {ValidRom()};
    Click(ids::kBrowse);
    CLoaderDialog& window = Window();
    ASSERT_TRUE(window.RomFileOpen());
    Click(ids::kExit);
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.Link().IsOpen(4));
    EXPECT_FALSE(window.RomFileOpen());
}

TEST_F(LoaderDialogTest, ExitDuringARunAnsweredNoChangesNothing) {
    TickWithDevice(5);
    CLoaderDialog& window = Window();
    window.State().SetInProgress(true);
    boxes_.answers = {BoxResult::No};
    Click(ids::kExit);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text, kExitQuestion);
    EXPECT_EQ(boxes_.shown[0].type, (BoxType{BoxButtons::YesNo, BoxIcon::Stop, 0}));
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.State().InProgress());
    EXPECT_TRUE(window.Link().IsOpen(5));
}

TEST_F(LoaderDialogTest, ExitDuringARunAnsweredYesClosesThePortsAndEnds) {
    TickWithDevice(5);
    TickWithDevice(16);
    CLoaderDialog& window = Window();
    window.State().SetInProgress(true);
    boxes_.answers = {BoxResult::Yes};
    Click(ids::kExit);
    EXPECT_EQ(boxes_.Texts(), QStringList{kExitQuestion});
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.State().InProgress());
    EXPECT_FALSE(window.Link().IsOpen(5));
    EXPECT_FALSE(window.Link().IsOpen(16));
}

TEST_F(LoaderDialogTest, TheCloseBoxGoesToExit) {
    CLoaderDialog& window = Window();
    window.State().SetInProgress(true);
    boxes_.answers = {BoxResult::No, BoxResult::Yes};
    EXPECT_FALSE(window.close()) << "answered No";
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.close()) << "answered Yes";
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(boxes_.Texts(), (QStringList{kExitQuestion, kExitQuestion}));
}

// --- Window menu, About and Settings ------------------------------------------------------

class ModalLog {
  public:
    CLoaderDialog::ModalRunner Runner() {
        return [this](QDialog& dialog) {
            titles << dialog.windowTitle();
            parents.push_back(dialog.parentWidget());
            if (auto* about = qobject_cast<CAboutDialog*>(&dialog)) {
                QStringList lines;
                for (const int id : {ids::kAboutName, ids::kAboutVersion, ids::kAboutDate}) {
                    lines << FindControl<QLabel>(*about, id)->text();
                }
                aboutLines.push_back(lines);
            }
            if (whileOpen) {
                whileOpen(dialog);
            }
            return static_cast<int>(QDialog::Rejected);
        };
    }
    QStringList titles;
    std::vector<QWidget*> parents;
    std::vector<QStringList> aboutLines;
    std::function<void(QDialog&)> whileOpen;
};

TEST_F(LoaderDialogTest, TheWindowMenuEndsWithAboutAsCommand0x10) {
    ModalLog log;
    Window().SetModalRunner(log.Runner());
    QMenu* menu = Window().WindowMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_FALSE(menu->actions().isEmpty());
    QAction* about = menu->actions().back();
    EXPECT_EQ(about->text(), "About...");
    EXPECT_EQ(about->data().toInt(), 0x10);
    EXPECT_TRUE(about->isEnabled());
    EXPECT_FALSE(about->isSeparator());
    about->trigger();
    EXPECT_EQ(log.titles, QStringList{"About..."});
}

TEST_F(LoaderDialogTest, SystemCommands0x10To0x1FOpenAboutAndCloseGoesToExit) {
    ModalLog log;
    CLoaderDialog& window = Window();
    window.SetModalRunner(log.Runner());
    for (const int id : {0x10, 0x11, 0x1F}) {
        window.SystemCommand(id);
    }
    window.SystemCommand(0x0F);
    window.SystemCommand(0x20);
    window.SystemCommand(0xF020);
    EXPECT_EQ(log.titles.size(), 3);
    EXPECT_TRUE(window.isVisible());
    window.SystemCommand(0xF060);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(LoaderDialogTest, TheButtonAndTheMenuShowTheSameAboutBox) {
    ModalLog log;
    Window().SetModalRunner(log.Runner());
    Click(ids::kAbout);
    Window().SystemCommand(0x10);
    ASSERT_EQ(log.aboutLines.size(), 2u);
    const QStringList expected = {"Vantrel", "Version: 1.00", "Date: 10/24/2005"};
    EXPECT_EQ(log.aboutLines[0], expected);
    EXPECT_EQ(log.aboutLines[1], expected);
    EXPECT_EQ(log.parents[0], &Window());
}

TEST_F(LoaderDialogTest, SettingsOpensTheOptionsAboveTheWindow) {
    ModalLog log;
    Window().SetModalRunner(log.Runner());
    log.whileOpen = [](QDialog& dialog) {
        auto* field = FindControl<QLineEdit>(dialog, ids::kFwBaseAddress);
        field->setText("c1");
        FindControl<QPushButton>(dialog, ids::kOk)->click();
    };
    Click(ids::kSettings);
    EXPECT_EQ(log.titles, QStringList{"Options"});
    EXPECT_EQ(log.parents[0], &Window());
    EXPECT_EQ(Window().BaseAddressText(), "c1");
}

}  // namespace
}  // namespace vantrel
