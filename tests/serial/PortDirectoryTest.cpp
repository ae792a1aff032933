#include "serial/PortDirectory.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "serial/PortMapping.h"

namespace vantrel {
namespace {

// Files stand in for devices, beside a by-id folder of links to them.
TEST(PortDirectory, LinksAndMappingsReachADeviceByAnyPathToIt) {
    QTemporaryDir dir;
    const auto path = [&](const char* name) { return dir.filePath(name); };
    ASSERT_TRUE(dir.isValid() && QDir(dir.path()).mkdir("by-id"));
    for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyACM0"}) {
        ASSERT_TRUE(QFile(path(name)).open(QIODevice::WriteOnly));
    }
    const std::pair<const char*, const char*> links[] = {{"ttyUSB0", "by-id/usb-B"},
                                                         {"ttyUSB0", "by-id/usb-A"},
                                                         {"ttyUSB1", "by-id/usb-C"},
                                                         {"ttyUSB1", "by-path-1"}};
    for (const auto& [target, link] : links) {
        ASSERT_TRUE(QFile::link(path(target), path(link)));
    }
    // The first by name, every time.
    EXPECT_EQ(StableLinkFor(path("ttyUSB0"), path("by-id")), path("by-id/usb-A"));
    EXPECT_EQ(StableLinkFor(path("by-path-1"), path("by-id")), path("by-id/usb-C"));
    EXPECT_EQ(StableLinkFor(path("ttyACM0"), path("by-id")), "");
    EXPECT_EQ(StableLinkFor(path("gone"), path("by-id")), "");

    TablePortMapping mapping;
    mapping.Set(2, path("ttyUSB0"));
    mapping.Set(5, path("by-id/usb-A"));
    mapping.Set(7, path("by-id/usb-B"));
    mapping.Set(9, path("by-path-1"));
    mapping.Set(16, path("gone"));
    const DetectedPort usb0{path("ttyUSB0"), path("by-id/usb-A"), {}, {}, {}, {}, {}};
    const DetectedPort usb1{path("ttyUSB1"), path("by-id/usb-C"), {}, {}, {}, {}, {}};
    const DetectedPort acm0{path("ttyACM0"), {}, {}, {}, {}, {}, {}};
    const DetectedPort com3Default{DefaultDevicePath(3), {}, {}, {}, {}, {}, {}};
    EXPECT_EQ(MappedComPorts(mapping, usb0), (std::vector<int>{2, 5, 7}));
    EXPECT_EQ(MappedComPorts(mapping, usb1), (std::vector<int>{9}));
    EXPECT_EQ(MappedComPorts(mapping, acm0), (std::vector<int>{}));
    EXPECT_EQ(MappedComPorts(mapping, com3Default), (std::vector<int>{3}));
}

TEST(PortDirectory, DescribeComPortNamesTheMappedPathAndWhatIsFoundBehindIt) {
    TablePortMapping mapping;
    mapping.Set(2, QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A600-if00-port0"));
    DetectedPort ftdi{QStringLiteral("/dev/ttyUSB0"),
                      QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A600-if00-port0"),
                      QStringLiteral("FT232R USB UART"),
                      QStringLiteral("FTDI"),
                      QStringLiteral("A600"),
                      0x0403,
                      0x6001};
    EXPECT_EQ(DescribeComPort(2, mapping, {ftdi}),
              "Com 2: /dev/serial/by-id/usb-FTDI_FT232R_A600-if00-port0\n/dev/ttyUSB0\n"
              "/dev/serial/by-id/usb-FTDI_FT232R_A600-if00-port0\n"
              "FTDI, FT232R USB UART, serial number A600, 0403:6001");
    EXPECT_TRUE(DescribeComPort(5, mapping, {ftdi}).endsWith("found on this machine"));
}

}  // namespace
}  // namespace vantrel
