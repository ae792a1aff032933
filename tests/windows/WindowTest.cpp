// The window program as Windows runs it: settings from the registry, a real COM port, a run's
// first packets and Alt+X. scripts/test-windows runs it under wine on Qt's offscreen platform,
// once it has written the settings and named COM6 for a simulated unit:
//   window_tests.exe -platform offscreen --rom=ROM --base=HEX
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "ui/ControlIds.h"
#include "ui/LoaderApp.h"
#include "ui/LoaderDialog.h"
#include "ui/MessagePresenter.h"

namespace vantrel {
namespace {

constexpr int kPort = 6;
QString rememberedRom;
QString rememberedBase;

// Keeps each box's text instead of waiting for a click on it.
class KeptBoxes : public MessagePresenter {
  public:
    BoxResult Present(const BoxRequest& request) override {
        texts << request.text;
        return BoxResult::Ok;
    }
    void CloseOpenBox() override {}
    QStringList texts;
};

bool WaitFor(const std::function<bool()>& done, int milliseconds = 20000) {
    const QDeadlineTimer deadline(milliseconds);
    while (!done() && !deadline.hasExpired()) {
        QTest::qWait(20);
    }
    return done();
}

void CheckWindow(CLoaderApp& app, CLoaderDialog& window, const KeptBoxes& boxes) {
    EXPECT_EQ(window.windowTitle(), "Vantrel v1.00");
    auto* romPath = FindControl<QLineEdit>(window, ids::kRomPath);
    ASSERT_NE(romPath, nullptr);
    EXPECT_EQ(romPath->text(), rememberedRom);
    EXPECT_EQ(app.Settings().FwBaseAddress(), rememberedBase);

    auto* box = FindControl<QCheckBox>(window, ids::kPortBox[kPort - 1]);
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return box->isChecked() && window.State().Port(kPort).selected; }))
        << "COM6 did not open: " << boxes.texts.join(" | ").toStdString();
    EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join(" | ").toStdString();

    // The first packets go out; wine never hands the unit's answer back, so the run ends there.
    auto* start = FindControl<QPushButton>(window, ids::kStart);
    ASSERT_NE(start, nullptr);
    QTest::mouseClick(start, Qt::LeftButton);
    auto* status = FindControl<QLineEdit>(window, ids::kPortStatus[kPort - 1]);
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(WaitFor([&] {
        return status->text() == "Force2Mon Failed..." && start->isEnabled();
    })) << "status "
        << status->text().toStdString();
}

TEST(WindowTest, RegistrySettingsAPortThatOpensAndAltX) {
    CLoaderApp app(QStringLiteral("C:\\Program Files\\Vantrel\\Vantrel.exe"));
    KeptBoxes boxes;
    app.SetMessagePresenter(&boxes);
    bool exitedOnAltX = false;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<CLoaderDialog*>(app.MainWindow());
        ASSERT_NE(window, nullptr);
        CheckWindow(app, *window, boxes);
        // A window's shortcut needs the window active, as it is under the user's hands.
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_X, Qt::AltModifier);
        exitedOnAltX = WaitFor([window] { return !window->isVisible(); }, 5000);
        if (!exitedOnAltX) {
            window->done(QDialog::Rejected);
        }
        // The waits above ran inside the window's own loop and took the wake-up its end sent;
        // a posted call gives it back.
        QMetaObject::invokeMethod(
            window, [] {}, Qt::QueuedConnection);
    });
    app.Startup();
    EXPECT_TRUE(exitedOnAltX);
}

}  // namespace
}  // namespace vantrel

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    for (const QString& argument : QCoreApplication::arguments()) {
        if (argument.startsWith("--rom=")) {
            vantrel::rememberedRom = argument.mid(6);
        } else if (argument.startsWith("--base=")) {
            vantrel::rememberedBase = argument.mid(7);
        }
    }
    return RUN_ALL_TESTS();
}
