#pragma once

#include <QString>
#include <optional>

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

}  // namespace vantrel
