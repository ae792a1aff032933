#pragma once

#include <QString>
#include <cstddef>
#include <optional>
#include <vector>

namespace vantrel {

// What tells one adapter from another across reboots, for the record of a unit.
struct DeviceIdentity {
    std::optional<QString> byIdPath;   // the /dev/serial/by-id link to the device
    std::optional<QString> usbSerial;  // the USB serial number of its adapter
};

// The link in folder that resolves to the same device as devicePath (itself perhaps a link).
std::optional<QString> ByIdPath(const QString& devicePath,
                                const QString& folder = QStringLiteral("/dev/serial/by-id"));

// Both, where the system knows them.
DeviceIdentity IdentifyDevice(const QString& devicePath);

// The file the serial layer opens for a device name: a bare name such as ttyUSB0 lies in /dev,
// as the layer itself takes it; a path is used as it is.
QString DeviceFile(const QString& name);

// The device a name leads to, by whatever path, link or relative form: its real path once every
// link is followed, or its absolute path while nothing is there. Two names lead to one device
// exactly when this is the same for both.
QString ResolvedDevice(const QString& name);

// Two names, of those given, that lead to one device.
struct SharedDevice {
    std::size_t first;   // index of the earlier name
    std::size_t second;  // index of the later one
    QString device;      // where both lead
};

// The first such pair in the order given; nothing when every name leads to a device of its own.
std::optional<SharedDevice> FindSharedDevice(const std::vector<QString>& names);

// "COM1 and /dev/ttyUSB0 are the same device /dev/ttyUSB0"
QString SharedDeviceText(const QString& first, const QString& second, const QString& device);

}  // namespace vantrel
