#pragma once

#include <QString>
#include <optional>
#include <vector>

namespace vantrel {

class PortMapping;

// One serial port the host reports.
struct DetectedPort {
    QString device;      // "/dev/ttyUSB0", "COM3"
    QString stableLink;  // "/dev/serial/by-id/usb-…", or empty where the host has none
    QString description;
    QString manufacturer;
    QString serialNumber;
    std::optional<unsigned> vendorId;
    std::optional<unsigned> productId;
};

// The serial ports Qt finds on this machine, ordered by device name (ttyS2 before ttyS10).
// Pseudo-terminals are never among them.
std::vector<DetectedPort> DetectedPorts();

// The link in folder that leads to device, or empty. By-id names stay the same when an adapter
// is plugged into another socket; kernel names such as ttyUSB0 do not.
QString StableLinkFor(const QString& device,
                      const QString& folder = QStringLiteral("/dev/serial/by-id"));

// The name to map a port by: the stable link where there is one.
QString PreferredPath(const DetectedPort& port);

// "0403:6001", or empty without a USB id.
QString VidPid(const DetectedPort& port);

// What stands behind COM port N, for the pointer resting on its box: the mapped path, and for a
// port found on this machine its by-id name, its description and its USB serial number.
QString DescribeComPort(int port, const PortMapping& mapping,
                        const std::vector<DetectedPort>& detected);

// The COM numbers whose mapping names this port, by its device, its link, or any other path
// that leads to the same device; in ascending order.
std::vector<int> MappedComPorts(const PortMapping& mapping, const DetectedPort& port);

}  // namespace vantrel
