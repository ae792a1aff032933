#include "serial/DeviceIdentity.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <optional>
#include <vector>

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

TEST(DeviceIdentityTest, NamesLeadToOneDeviceByAnyPathLinkOrRelativeForm) {
    QTemporaryDir dir;
    const QString device = dir.filePath("ttyUSB0");
    ASSERT_TRUE(QFile(device).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile(dir.filePath("ttyUSB1")).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QDir(dir.path()).mkdir("by-id"));
    ASSERT_TRUE(QFile::link(device, dir.filePath("by-id/usb-A")));
    const QString relative = "./" + QDir::current().relativeFilePath(device);
    const QString real = QFileInfo(device).canonicalFilePath();
    const QString gone = dir.filePath("gone");

    struct Case {
        std::vector<QString> names;
        std::optional<SharedDevice> expected;
    };
    const Case cases[] = {
        {{device, dir.filePath("ttyUSB1")}, std::nullopt},
        {{dir.filePath("ttyUSB1"), device, dir.filePath("by-id/usb-A")}, SharedDevice{1, 2, real}},
        {{relative, device}, SharedDevice{0, 1, real}},
        {{gone, dir.filePath("by-id/../gone")}, SharedDevice{0, 1, gone}},
        {{"ttyS7", "/dev/ttyS7"}, SharedDevice{0, 1, ResolvedDevice("/dev/ttyS7")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names.front().toStdString());
        const auto found = FindSharedDevice(c.names);
        ASSERT_EQ(found.has_value(), c.expected.has_value());
        if (found) {
            EXPECT_EQ(found->first, c.expected->first);
            EXPECT_EQ(found->second, c.expected->second);
            EXPECT_EQ(found->device, c.expected->device);
        }
    }
}

}  // namespace
}  // namespace vantrel
