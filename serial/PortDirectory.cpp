#include "serial/PortDirectory.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>
#include <tuple>

#include "engine/LoaderState.h"
#include "serial/DeviceIdentity.h"
#include "serial/PortMapping.h"

namespace vantrel {
namespace {

// "/dev/ttyS10" -> ("/dev/ttyS", 10), so that numbered devices sort by number.
std::tuple<QString, qulonglong, QString> SortKey(const QString& device) {
    qsizetype digits = device.size();
    while (digits > 0 && device.at(digits - 1).isDigit()) {
        --digits;
    }
    return {device.left(digits), device.mid(digits).toULongLong(), device};
}

}  // namespace

std::vector<DetectedPort> DetectedPorts() {
    std::vector<DetectedPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        DetectedPort port;
#ifdef Q_OS_WIN
        // "COM5", as Windows names it, not "\\.\COM5": the name a port is mapped and opened by.
        port.device = info.portName();
#else
        port.device = info.systemLocation();
#endif
        port.stableLink = StableLinkFor(port.device);
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serialNumber = info.serialNumber();
        if (info.hasVendorIdentifier()) {
            port.vendorId = info.vendorIdentifier();
        }
        if (info.hasProductIdentifier()) {
            port.productId = info.productIdentifier();
        }
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(), [](const DetectedPort& a, const DetectedPort& b) {
        return SortKey(a.device) < SortKey(b.device);
    });
    return ports;
}

QString StableLinkFor(const QString& device, const QString& folder) {
#ifdef Q_OS_WIN
    // Windows keeps no folder of links to its ports; a COM name stays with its adapter.
    Q_UNUSED(device);
    Q_UNUSED(folder);
    return {};
#else
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty()) {
        return {};
    }
    const QDir dir(folder);
    // Sorted, so the same link wins every time when several lead to one device.
    for (const QFileInfo& entry : dir.entryInfoList(QDir::System | QDir::Files, QDir::Name)) {
        if (entry.isSymLink() && entry.canonicalFilePath() == target) {
            return entry.absoluteFilePath();
        }
    }
    return {};
#endif
}

QString PreferredPath(const DetectedPort& port) {
    return port.stableLink.isEmpty() ? port.device : port.stableLink;
}

QString VidPid(const DetectedPort& port) {
    if (!port.vendorId || !port.productId) {
        return {};
    }
    return QStringLiteral("%1:%2")
        .arg(*port.vendorId, 4, 16, QLatin1Char('0'))
        .arg(*port.productId, 4, 16, QLatin1Char('0'));
}

std::vector<int> MappedComPorts(const PortMapping& mapping, const DetectedPort& port) {
    const QString target = ResolvedDevice(port.device);
    std::vector<int> found;
    for (int com = 1; com <= kPortCount; ++com) {
        const QString path = mapping.DevicePath(com);
        const bool named = (!port.stableLink.isEmpty() && path == port.stableLink) ||
                           ResolvedDevice(path) == target;
        if (named) {
            found.push_back(com);
        }
    }
    return found;
}

QString DescribeComPort(int port, const PortMapping& mapping,
                        const std::vector<DetectedPort>& detected) {
    QStringList lines{QStringLiteral("Com %1: %2").arg(port).arg(mapping.DevicePath(port))};
    for (const DetectedPort& found : detected) {
        const auto coms = MappedComPorts(mapping, found);
        if (std::find(coms.begin(), coms.end(), port) == coms.end()) {
            continue;
        }
        lines << found.device;
        if (!found.stableLink.isEmpty()) {
            lines << found.stableLink;
        }
        QStringList about;
        for (const QString& part : {found.manufacturer, found.description}) {
            if (!part.isEmpty() && !about.contains(part)) {
                about << part;
            }
        }
        if (!found.serialNumber.isEmpty()) {
            about << QStringLiteral("serial number %1").arg(found.serialNumber);
        }
        if (const QString ids = VidPid(found); !ids.isEmpty()) {
            about << ids;
        }
        if (!about.isEmpty()) {
            lines << about.join(QStringLiteral(", "));
        }
        return lines.join(QLatin1Char('\n'));
    }
    lines << QStringLiteral("not among the serial ports found on this machine");
    return lines.join(QLatin1Char('\n'));
}

}  // namespace vantrel
