#pragma once

#include <QString>
#include <map>

namespace vantrel {

class SettingsStore;

// Which device of the host stands for COM port N.
class PortMapping {
  public:
    virtual ~PortMapping() = default;
    virtual QString DevicePath(int port) const = 0;
};

// COM N is /dev/ttyS(N-1) on Linux and COMN on Windows.
QString DefaultDevicePath(int port);

// The user's own choice per port: section "Ports", values "Com1" to "Com16", each a device path.
// A port without a value (or with an empty one) gets its default device.
class SettingsPortMapping : public PortMapping {
  public:
    static constexpr const char* kSection = "Ports";

    explicit SettingsPortMapping(const SettingsStore& store) : store_(store) {}
    QString DevicePath(int port) const override;
    // "Com5" for port 5.
    static QString ValueName(int port);

  private:
    const SettingsStore& store_;
};

// Devices given one by one, e.g. on a command line or to reach simulated units; a port left out
// gets its default device.
class TablePortMapping : public PortMapping {
  public:
    void Set(int port, const QString& devicePath) { devices_[port] = devicePath; }
    void Clear(int port) { devices_.erase(port); }
    QString DevicePath(int port) const override;

  private:
    std::map<int, QString> devices_;
};

}  // namespace vantrel
