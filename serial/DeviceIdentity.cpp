#include "serial/DeviceIdentity.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

namespace vantrel {

std::optional<QString> ByIdPath(const QString& devicePath, const QString& folder) {
    const QString device = QFileInfo(devicePath).canonicalFilePath();
    if (device.isEmpty()) {
        return std::nullopt;
    }
    const QDir dir(folder);
    for (const QFileInfo& link : dir.entryInfoList(QDir::System | QDir::Files, QDir::Name)) {
        if (link.isSymLink() && link.canonicalFilePath() == device) {
            return link.absoluteFilePath();
        }
    }
    return std::nullopt;
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
