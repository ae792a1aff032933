#include "serial/DeviceIdentity.h"

#include "serial/PortDirectory.h"

#include <QFileInfo>
#include <QSerialPortInfo>

namespace vantrel {

std::optional<QString> ByIdPath(const QString& devicePath, const QString& folder) {
    const QString link = StableLinkFor(devicePath, folder);
    return link.isEmpty() ? std::nullopt : std::optional(link);
}

DeviceIdentity IdentifyDevice(const QString& devicePath) {
    DeviceIdentity identity;
    identity.byIdPath = ByIdPath(devicePath);
    const QString device = QFileInfo(devicePath).canonicalFilePath();
    if (!device.isEmpty()) {
        const QString serial = QSerialPortInfo(device).serialNumber();
        if (!serial.isEmpty()) {
            identity.usbSerial = serial;
        }
    }
    return identity;
}

}  // namespace vantrel
