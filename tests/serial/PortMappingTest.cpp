#include "serial/PortMapping.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "serial/CMSComm.h"
#include "settings/SettingsStore.h"
#include "tests/serial/PtySupport.h"

namespace vantrel {
namespace {

TEST(DefaultDevicePath, FollowsTheHostsConvention) {
#ifdef Q_OS_WIN
    EXPECT_EQ(DefaultDevicePath(1), "COM1");
    EXPECT_EQ(DefaultDevicePath(16), "COM16");
#else
    EXPECT_EQ(DefaultDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(DefaultDevicePath(10), "/dev/ttyS9");
    EXPECT_EQ(DefaultDevicePath(16), "/dev/ttyS15");
#endif
}

class SettingsPortMappingTest : public ::testing::Test {
  protected:
    QTemporaryDir dir_;
    SettingsStore store_{"Vantrel", dir_.filePath("settings.ini")};
    SettingsPortMapping mapping_{store_};
};

TEST_F(SettingsPortMappingTest, PortsWithoutAValueGetTheirDefault) {
    ASSERT_TRUE(dir_.isValid());
    for (int port = 1; port <= 16; ++port) {
        EXPECT_EQ(mapping_.DevicePath(port), DefaultDevicePath(port)) << port;
    }
}

TEST_F(SettingsPortMappingTest, StoredValuesNameTheDevicePerPort) {
    EXPECT_EQ(SettingsPortMapping::ValueName(1), "Com1");
    EXPECT_EQ(SettingsPortMapping::ValueName(16), "Com16");
    ASSERT_TRUE(store_.WriteString("Ports", "Com3", "/dev/ttyUSB0"));
    ASSERT_TRUE(store_.WriteString("Ports", "Com16", "/tmp/units/com1"));
    ASSERT_TRUE(store_.WriteString("Ports", "Com4", ""));
    ASSERT_TRUE(store_.WriteString("Misc", "Com5", "/dev/wrong-section"));
    EXPECT_EQ(mapping_.DevicePath(3), "/dev/ttyUSB0");
    EXPECT_EQ(mapping_.DevicePath(16), "/tmp/units/com1");
    EXPECT_EQ(mapping_.DevicePath(4), DefaultDevicePath(4));
    EXPECT_EQ(mapping_.DevicePath(5), DefaultDevicePath(5));
    EXPECT_EQ(mapping_.DevicePath(13), DefaultDevicePath(13));
}

TEST_F(SettingsPortMappingTest, APortOpensTheDeviceStoredAtTheMomentOfOpening) {
    testing::BarePty pty;
    CMSComm comm(mapping_);
    ASSERT_TRUE(comm.Create(2002));
    comm.SetCommPort(2);
    ASSERT_TRUE(store_.WriteString("Ports", "Com2", testing::MissingDevice()));
    EXPECT_THROW(comm.SetPortOpen(true), SerialError);
    ASSERT_TRUE(store_.WriteString("Ports", "Com2", pty.Path()));
    comm.SetPortOpen(true);
    EXPECT_TRUE(comm.GetPortOpen());
}

TEST(TablePortMapping, GivenDevicesOrTheDefault) {
    TablePortMapping mapping;
    mapping.Set(2, "/tmp/a");
    mapping.Set(9, "/tmp/b");
    EXPECT_EQ(mapping.DevicePath(2), "/tmp/a");
    EXPECT_EQ(mapping.DevicePath(9), "/tmp/b");
    EXPECT_EQ(mapping.DevicePath(3), DefaultDevicePath(3));
    mapping.Set(2, "/tmp/c");
    EXPECT_EQ(mapping.DevicePath(2), "/tmp/c");
    mapping.Clear(2);
    EXPECT_EQ(mapping.DevicePath(2), DefaultDevicePath(2));
}

}  // namespace
}  // namespace vantrel
