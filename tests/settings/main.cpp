// The settings tests never touch the user's own settings: every store goes to a temporary folder.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "tests/settings/TemporaryProfile.h"

int main(int argc, char* argv[]) {
    const vantrel::testing::TemporaryProfile profile;
    if (!profile.Valid()) {
        return 1;
    }
    QCoreApplication application(argc, argv);
    profile.PointStores();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
