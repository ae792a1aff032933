#include <gtest/gtest.h>

#include "tests/settings/QtPrinters.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include "tests/ui/UiTestSupport.h"
#include "ui/ControlIds.h"
#include "ui/PortMappingDialog.h"

namespace vantrel {
namespace {

const QString kLink = QStringLiteral("/dev/serial/by-id/usb-Silicon_Labs_CP2102_0001-if00-port0");

// Qt lists no pseudo-terminals, so the dialog gets its ports from the test.
class PortMappingDialogTest : public testing::WindowTest {
  protected:
    std::unique_ptr<CPortMappingDialog> Dialog() {
        const std::vector<DetectedPort> ports = {
            {"/dev/ttyS0", {}, {}, {}, {}, {}, {}},
            {"/dev/ttyUSB0", {}, "FT232R USB UART", {}, "A10K", {}, {}},
            {"/dev/ttyUSB1", kLink, "CP2102 USB to UART", {}, "0001", {}, {}}};
        return std::make_unique<CPortMappingDialog>(App().Settings(), ports);
    }
    static void Press(CPortMappingDialog& dialog, QDialogButtonBox::StandardButton button) {
        dialog.findChild<QDialogButtonBox*>()->button(button)->click();
    }
};

TEST_F(PortMappingDialogTest, EveryRowOffersTheDetectedPortsStableNamesFirst) {
    auto dialog = Dialog();
    for (const int port : {1, 16}) {
        const QComboBox* row = dialog->Row(port);
        ASSERT_TRUE(row->isEditable());
        EXPECT_EQ(row->count(), 3);
        EXPECT_EQ(row->itemData(0), kLink);
        EXPECT_EQ(row->itemData(1), "/dev/ttyS0");
    }
    EXPECT_EQ(dialog->Row(1)->itemText(0), kLink + "  (ttyUSB1: CP2102 USB to UART, serial 0001)");
    EXPECT_EQ(dialog->Row(1)->itemText(2), "/dev/ttyUSB0  (FT232R USB UART, serial A10K)");
}

TEST_F(PortMappingDialogTest, OkStoresTheChangedRowsAndCancelNothing) {
    Seed("Ports", "Com1", "/dev/ttyUSB0");
    Seed("Ports", "Com2", "/dev/old");
    for (const bool ok : {false, true}) {
        auto dialog = Dialog();
        EXPECT_EQ(dialog->RowPath(1), "/dev/ttyUSB0");
        dialog->Row(1)->clearEditText();  // back to the default
        // Chosen from the list: the field shows the path, not the longer text.
        dialog->Row(2)->setCurrentIndex(0);
        emit dialog->Row(2)->activated(0);
        EXPECT_EQ(dialog->Row(2)->currentText(), kLink);
        QTest::keyClicks(dialog->Row(5)->lineEdit(), "/dev/typed");
        Press(*dialog, ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel);
        EXPECT_EQ(Stored("Ports", "Com1"), ok ? "" : "/dev/ttyUSB0");
        EXPECT_EQ(Stored("Ports", "Com2"), ok ? kLink : "/dev/old");
        EXPECT_EQ(Stored("Ports", "Com5"), ok ? "/dev/typed" : "<none>");
        EXPECT_EQ(Stored("Ports", "Com3"), "<none>") << "untouched rows store nothing";
    }
    EXPECT_EQ(SettingsPortMapping(App().Settings()).DevicePath(1), DefaultDevicePath(1));
}

TEST_F(PortMappingDialogTest, TheWindowMenuOpensItAboveTheWindowBeforeAbout) {
    QStringList opened;
    Window().SetModalRunner([&](QDialog& dialog) {
        EXPECT_EQ(dialog.parentWidget(), &Window());
        opened << dialog.windowTitle();
        return 0;
    });
    const QList<QAction*> actions = Window().WindowMenu()->actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_EQ(actions.back()->text(), "About...");
    QAction* mapping = actions[actions.size() - 2];
    EXPECT_EQ(mapping->text(), "Port Mapping...");
    mapping->trigger();
    for (const int id : {0x30, 0x3F, 0x20, 0x40}) {
        Window().SystemCommand(id);
    }
    EXPECT_EQ(opened, QStringList(3, "Port Mapping"));
}

}  // namespace
}  // namespace vantrel
