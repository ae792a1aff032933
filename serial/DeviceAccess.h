#pragma once

#include <QString>
#include <optional>

namespace vantrel {

// Why this process may not open a device, as far as the file system tells.
struct DeviceAccess {
    QString device;            // as it was named
    QString target;            // where a link leads, or empty
    int error = 0;             // errno of the access check
    QString group;             // the device's group, or empty when it has no name
    bool groupMayUse = false;  // joining that group gives read and write access
};

// The text for an opening refused for lack of permission: names the device and how to get
// access. Empty for any other error, whose own text says enough.
QString AccessDeniedText(const DeviceAccess& access);

// Checks whether this process may read and write the device. Nothing when it may, or when the
// check finds another reason (the device is missing, say): the opening's own text then stands.
std::optional<DeviceAccess> CheckDeviceAccess(const QString& device);

}  // namespace vantrel
