#include <gtest/gtest.h>

#include <QCoreApplication>

// The ports and the host's posted calls need an application object on the test thread.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
