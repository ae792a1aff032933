// The window tests need a QApplication; they run without a display and never touch the user's
// own settings.
#include <gtest/gtest.h>

#include <QApplication>

#include "tests/settings/TemporaryProfile.h"

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const vantrel::testing::TemporaryProfile profile;
    if (!profile.Valid()) {
        return 1;
    }
    QApplication application(argc, argv);
    // Windows come and go without an application event loop to end.
    QApplication::setQuitOnLastWindowClosed(false);
    profile.PointStores();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
