#include "cli/PortList.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/CliOptions.h"
#include "serial/PortMapping.h"

namespace vantrel::cli {
namespace {

const char* const kLink = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K-if00-port0";

// COM10's own device: /dev/ttyS9 on Linux, COM10 on Windows.
const QString kCom10Default = DefaultDevicePath(10);

std::vector<DetectedPort> TwoPorts() {
    DetectedPort usb{"/dev/ttyUSB0", kLink, "FT232R \"USB\" UART", "FTDI", "A10K", 0x403, 0x6001};
    return {usb, {kCom10Default, {}, {}, {}, {}, {}, {}}};
}

// USB0 by path and by link; COM10 keeps its default.
TablePortMapping Mapping() {
    TablePortMapping mapping;
    mapping.Set(2, "/dev/ttyUSB0");
    mapping.Set(4, kLink);
    return mapping;
}

TEST(ListPortsOption, TakesOnlyJson) {
    EXPECT_TRUE(std::get<CliOptions>(ParseArguments({"--list-ports", "--json"})).listPorts);
    for (const char* other : {"COM1", "--remember"}) {
        EXPECT_TRUE(std::holds_alternative<CliUsageError>(ParseArguments({"--list-ports", other})));
    }
}

TEST(PortList, TextAlignsAColumnPerFieldWithDashesForWhatIsMissing) {
    EXPECT_EQ(PortListText(TwoPorts(), Mapping()),
              "DEVICE        COM        VID:PID    SERIAL  MANUFACTURER  DESCRIPTION        BY-ID\n"
              "/dev/ttyUSB0  COM2,COM4  0403:6001  A10K    FTDI          FT232R \"USB\" UART  " +
                  std::string(kLink) + "\n" + kCom10Default.leftJustified(14).toStdString() +
                  "COM10      -          -       -             -                  -\n");
    EXPECT_EQ(PortListText({}, Mapping()), "no serial ports found\n");
}

TEST(PortList, JsonHasEveryFieldWithNullsForMissingLinksAndIds) {
    const auto json = [](const std::vector<DetectedPort>& ports) {
        return QJsonDocument::fromJson(QByteArray::fromStdString(PortListJson(ports, Mapping())))
            .object()
            .value("ports");
    };
    const QJsonArray ports = json(TwoPorts()).toArray();
    ASSERT_EQ(ports.size(), 2);
    const QJsonObject usb = ports[0].toObject();
    EXPECT_EQ(usb, (QJsonObject{{"device", "/dev/ttyUSB0"},
                                {"by_id", kLink},
                                {"description", "FT232R \"USB\" UART"},
                                {"manufacturer", "FTDI"},
                                {"serial_number", "A10K"},
                                {"vid_pid", "0403:6001"},
                                {"com", QJsonArray{"COM2", "COM4"}}}));
    const QJsonObject bare = ports[1].toObject();
    EXPECT_EQ(bare.keys(), usb.keys());
    EXPECT_TRUE(bare["by_id"].isNull() && bare["vid_pid"].isNull());
    EXPECT_EQ(bare["com"].toArray(), QJsonArray{"COM10"});
    EXPECT_EQ(json({}), QJsonArray());
}

}  // namespace
}  // namespace vantrel::cli
