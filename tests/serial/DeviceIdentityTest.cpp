#include "serial/DeviceIdentity.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace vantrel {
namespace {

TEST(DeviceIdentityTest, ByIdPathIsTheLinkThatResolvesToTheSameDevice) {
    QTemporaryDir dir;
    const QString byId = dir.filePath("by-id");
    ASSERT_TRUE(QDir().mkpath(byId));
    ASSERT_TRUE(QFile::link("/dev/null", byId + "/usb-FTDI_A1-if00-port0"));
    ASSERT_TRUE(QFile::link("/dev/zero", byId + "/usb-FTDI_B2-if00-port0"));
    ASSERT_TRUE(QFile::link("/nonexistent", byId + "/usb-gone"));
    ASSERT_TRUE(QFile::link("/dev/zero", dir.filePath("com1")));

    EXPECT_EQ(ByIdPath("/dev/null", byId), byId + "/usb-FTDI_A1-if00-port0");
    EXPECT_EQ(ByIdPath(dir.filePath("com1"), byId), byId + "/usb-FTDI_B2-if00-port0")
        << "a device named through a link of its own";
    EXPECT_EQ(ByIdPath("/dev/full", byId), std::nullopt);
    EXPECT_EQ(ByIdPath("/nonexistent", byId), std::nullopt) << "a broken link is no match";
    EXPECT_EQ(ByIdPath("/dev/null", dir.filePath("missing")), std::nullopt);
    EXPECT_EQ(IdentifyDevice("/dev/null").usbSerial, std::nullopt);
}

}  // namespace
}  // namespace vantrel
