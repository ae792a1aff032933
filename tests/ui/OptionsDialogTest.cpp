#include <gtest/gtest.h>

#include "tests/settings/QtPrinters.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "tests/ui/UiTestSupport.h"
#include "ui/ControlIds.h"
#include "ui/DialogUnits.h"
#include "ui/OptionsDialog.h"

namespace vantrel {
namespace {

using testing::TabCycle;
using testing::WindowTest;

const QString kLengthMessage = QStringLiteral("Please enter no more than 8 characters.");

class OptionsDialogTest : public WindowTest {
  protected:
    COptionsDialog& Options() {
        if (!options_) {
            options_ = std::make_unique<COptionsDialog>(Window());
            options_->show();
        }
        return *options_;
    }
    template <class T = QWidget>
    T* Item(int id) {
        return FindControl<T>(Options(), id);
    }
    QLineEdit* Field() { return Item<QLineEdit>(ids::kFwBaseAddress); }
    void PressOk() { Item<QPushButton>(ids::kOk)->click(); }
    void Retype(const QString& text) {
        Field()->selectAll();
        QTest::keyClick(Field(), Qt::Key_Delete);
        QTest::keyClicks(Field(), text);
    }

    std::unique_ptr<COptionsDialog> options_;
};

TEST_F(OptionsDialogTest, FirstOpeningShowsTheFirmwareRomAndTheDefaultAddress) {
    COptionsDialog& options = Options();
    EXPECT_EQ(options.windowTitle(), "Options");
    EXPECT_EQ(options.parentWidget(), &Window());
    EXPECT_TRUE(Item<QRadioButton>(ids::kUpdateFirmwareRom)->isChecked());
    EXPECT_TRUE(Item<QRadioButton>(ids::kUpdateFirmwareRom)->isEnabled());
    EXPECT_FALSE(Item<QRadioButton>(ids::kUpdateBootRom)->isChecked());
    EXPECT_FALSE(Item<QRadioButton>(ids::kUpdateBootRom)->isEnabled());
    EXPECT_EQ(Field()->text(), "00C10000");
    EXPECT_FALSE(Item<QCheckBox>(ids::kNoWaitForAck)->isChecked());
    EXPECT_FALSE(Item<QCheckBox>(ids::kNoWaitForAck)->isEnabled());
    EXPECT_EQ(Item<QCheckBox>(ids::kNoWaitForAck)->text(), "Don't wait for ACK during download");
    EXPECT_FALSE(Item<QLineEdit>(ids::kBootBaseAddress)->isEnabled());
    EXPECT_TRUE(Item<QLineEdit>(ids::kBootBaseAddress)->text().isEmpty());
    EXPECT_TRUE(Item<QPushButton>(ids::kOk)->isDefault());
    EXPECT_EQ(options.focusWidget(), Item(ids::kOk));
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(OptionsDialogTest, ControlsSitWhereTheTemplatePutsThem) {
    COptionsDialog& options = Options();
    EXPECT_EQ(options.font().pointSize(), 8);
    const DialogUnits units = DialogUnits::ForFont(options.font());
    EXPECT_EQ(options.size(), units.Size(270, 94));
    EXPECT_EQ(Item(ids::kOk)->geometry(), units.Rect(183, 74, 50, 15));
    EXPECT_EQ(Item(ids::kUpdateFirmwareRom)->geometry(), units.Rect(16, 20, 88, 10));
    EXPECT_EQ(Item(ids::kUpdateBootRom)->geometry(), units.Rect(16, 38, 88, 10));
    EXPECT_EQ(Item(ids::kFwBaseAddress)->geometry(), units.Rect(207, 34, 41, 12));
    EXPECT_EQ(Item(ids::kBootBaseAddress)->geometry(), units.Rect(207, 50, 41, 12));
    EXPECT_EQ(Item(ids::kNoWaitForAck)->geometry(), units.Rect(124, 17, 132, 10));
}

TEST_F(OptionsDialogTest, TabReachesOnlyOkAndTheBaseAddress) {
    EXPECT_EQ(TabCycle(Item(ids::kOk)), (std::vector<int>{ids::kOk, ids::kFwBaseAddress}));
}

TEST_F(OptionsDialogTest, ANinthTypedCharacterIsRefused) {
    Retype("123456789");
    EXPECT_EQ(Field()->text(), "12345678");
    QTest::keyClick(Field(), Qt::Key_Home);
    QTest::keyClick(Field(), Qt::Key_A);
    EXPECT_EQ(Field()->text(), "12345678") << "not at the front either";
    QTest::keyClick(Field(), Qt::Key_Backspace, Qt::NoModifier);
    QTest::keyClick(Field(), Qt::Key_End);
    QTest::keyClick(Field(), Qt::Key_Backspace);
    QTest::keyClicks(Field(), "xy");
    EXPECT_EQ(Field()->text(), "1234567x");
}

TEST_F(OptionsDialogTest, OkCopiesTheTextBackExactlyAsTyped) {
    Retype("c1");
    PressOk();
    EXPECT_EQ(Window().BaseAddressText(), "c1");
    EXPECT_EQ(Window().RomType(), CLoaderDialog::kRomTypeFirmware);
    EXPECT_EQ(Options().result(), QDialog::Accepted);
    EXPECT_FALSE(Options().isVisible());
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(OptionsDialogTest, EnterInTheFieldIsOk) {
    Retype("abc");
    QTest::keyClick(Field(), Qt::Key_Return);
    EXPECT_EQ(Window().BaseAddressText(), "abc");
    EXPECT_EQ(Options().result(), QDialog::Accepted);
}

TEST_F(OptionsDialogTest, AnEmptyTextIsAccepted) {
    Retype("");
    PressOk();
    EXPECT_EQ(Window().BaseAddressText(), "");
    EXPECT_EQ(Options().result(), QDialog::Accepted);
}

TEST_F(OptionsDialogTest, EscapeAndTheCloseBoxCopyNothingBack) {
    Retype("1234");
    QTest::keyClick(Field(), Qt::Key_Escape);
    EXPECT_EQ(Options().result(), QDialog::Rejected);
    EXPECT_FALSE(Options().isVisible());
    EXPECT_EQ(Window().BaseAddressText(), "00C10000");

    options_.reset();
    Retype("5678");
    Options().close();
    EXPECT_FALSE(Options().isVisible());
    EXPECT_EQ(Window().BaseAddressText(), "00C10000");
}

TEST_F(OptionsDialogTest, ASecondOpeningShowsWhatTheFirstOkStored) {
    Retype("c10000");
    PressOk();
    options_.reset();
    EXPECT_EQ(Field()->text(), "c10000");
}

TEST_F(OptionsDialogTest, ALongerStoredTextIsShownWholeAndMayOnlyShrink) {
    Seed("Misc", "FwBaseAddr", "123456789ABC");
    EXPECT_EQ(Field()->text(), "123456789ABC");
    QTest::keyClick(Field(), Qt::Key_End);
    QTest::keyClick(Field(), Qt::Key_D);
    EXPECT_EQ(Field()->text(), "123456789ABC");
    QTest::keyClick(Field(), Qt::Key_Backspace);
    EXPECT_EQ(Field()->text(), "123456789AB");
}

TEST_F(OptionsDialogTest, OkWithALongerTextShowsTheLengthMessageTwiceAndStaysOpen) {
    Seed("Misc", "FwBaseAddr", "123456789ABC");
    COptionsDialog& options = Options();
    options.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&options));
    PressOk();
    EXPECT_EQ(boxes_.Texts(), (QStringList{kLengthMessage, kLengthMessage}));
    for (const auto& box : boxes_.shown) {
        EXPECT_EQ(box.type, (BoxType{BoxButtons::Ok, BoxIcon::Exclamation, 0}));
        EXPECT_EQ(box.owner.data(), &options);
        EXPECT_EQ(box.caption, "Vantrel");
    }
    EXPECT_TRUE(options.isVisible());
    EXPECT_EQ(options.focusWidget(), Field());
    EXPECT_EQ(Field()->selectedText(), "123456789ABC");
    // The text went back before the dialog refused to end, and stays there.
    EXPECT_EQ(Window().BaseAddressText(), "123456789ABC");

    // Once it fits, OK works as usual.
    boxes_.shown.clear();
    QTest::keyClick(Field(), Qt::Key_End);
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(Field(), Qt::Key_Backspace);
    }
    PressOk();
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_FALSE(options.isVisible());
    EXPECT_EQ(Window().BaseAddressText(), "12345678");
}

TEST_F(OptionsDialogTest, TheRomTypeGoesInAndComesBackAsZeroOrOne) {
    Window().SetRomType(5);
    EXPECT_TRUE(Item<QRadioButton>(ids::kUpdateBootRom)->isChecked());
    EXPECT_FALSE(Item<QRadioButton>(ids::kUpdateFirmwareRom)->isChecked());
    PressOk();
    EXPECT_EQ(Window().RomType(), CLoaderDialog::kRomTypeBoot);

    options_.reset();
    Item<QRadioButton>(ids::kUpdateFirmwareRom)->click();
    PressOk();
    EXPECT_EQ(Window().RomType(), CLoaderDialog::kRomTypeFirmware);
}

}  // namespace
}  // namespace vantrel
