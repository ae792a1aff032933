#include "serial/PortMapping.h"

#include "settings/SettingsStore.h"

namespace vantrel {

QString DefaultDevicePath(int port) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

QString SettingsPortMapping::DevicePath(int port) const {
    const QString path = store_.ReadString(kSection, ValueName(port), {});
    return path.isEmpty() ? DefaultDevicePath(port) : path;
}

QString SettingsPortMapping::ValueName(int port) {
    return QStringLiteral("Com%1").arg(port);
}

QString TablePortMapping::DevicePath(int port) const {
    const auto found = devices_.find(port);
    return found != devices_.end() ? found->second : DefaultDevicePath(port);
}

}  // namespace vantrel
