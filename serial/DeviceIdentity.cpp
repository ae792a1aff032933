#include "serial/DeviceIdentity.h"

#include "serial/PortDirectory.h"

#include <QDir>
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
#ifdef Q_OS_WIN
    const QString device = devicePath;  // Qt finds a port by its COM name
#else
    const QString device = QFileInfo(devicePath).canonicalFilePath();
#endif
    if (!device.isEmpty()) {
        const QString serial = QSerialPortInfo(device).serialNumber();
        if (!serial.isEmpty()) {
            identity.usbSerial = serial;
        }
    }
    return identity;
}

QString DeviceFile(const QString& name) {
#ifdef Q_OS_UNIX
    if (name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1String("./")) ||
        name.startsWith(QLatin1String("../"))) {
        return name;
    }
    return QStringLiteral("/dev/") + name;
#else
    return name;
#endif
}

QString ResolvedDevice(const QString& name) {
#ifdef Q_OS_UNIX
    const QFileInfo file(DeviceFile(name));
    const QString real = file.canonicalFilePath();
    return real.isEmpty() ? QDir::cleanPath(file.absoluteFilePath()) : real;
#else
    // COM3, com3 and \\.\COM3 are one port.
    const QString prefix = QStringLiteral("\\\\.\\");
    return (name.startsWith(prefix) ? name.mid(prefix.size()) : name).toUpper();
#endif
}

std::optional<SharedDevice> FindSharedDevice(const std::vector<QString>& names) {
    std::vector<QString> devices;
    devices.reserve(names.size());
    for (const QString& name : names) {
        devices.push_back(ResolvedDevice(name));
    }
    for (std::size_t later = 1; later < devices.size(); ++later) {
        for (std::size_t earlier = 0; earlier < later; ++earlier) {
            if (devices[earlier] == devices[later]) {
                return SharedDevice{earlier, later, devices[later]};
            }
        }
    }
    return std::nullopt;
}

QString SharedDeviceText(const QString& first, const QString& second, const QString& device) {
    return QStringLiteral("%1 and %2 are the same device %3").arg(first, second, device);
}

}  // namespace vantrel
