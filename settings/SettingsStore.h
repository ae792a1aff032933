#pragma once

#include <QSettings>
#include <QString>
#include <memory>

namespace vantrel {

// The per-user store of remembered texts: company "Orlmark Ltd.", then the application name,
// then section and value name. On Windows this is the registry; elsewhere a per-user file.
class SettingsStore {
  public:
    static constexpr const char* kCompanyKey = "Orlmark Ltd.";

    // The two remembered values: the path of the last ROM file whose run loaded both images,
    // and the firmware base address as the user typed it.
    static constexpr const char* kRomFileSection = "RomFile";
    static constexpr const char* kNameAndPathValue = "NameAndPath";
    static constexpr const char* kMiscSection = "Misc";
    static constexpr const char* kFwBaseAddrValue = "FwBaseAddr";
    static constexpr const char* kDefaultFwBaseAddr = "00C10000";
    // Station mode, when the user has switched it on: its run log, the names its records carry
    // and the ports ticked at its last click, "1,3,16".
    static constexpr const char* kStationSection = "Station";
    static constexpr const char* kStationModeValue = "Mode";
    static constexpr const char* kStationLogValue = "Log";
    static constexpr const char* kStationNameValue = "Station";
    static constexpr const char* kStationOperatorValue = "Operator";
    static constexpr const char* kStationPortsValue = "Ports";
    // "1": Start watches the ports, each flashing every unit the moment it is plugged in.
    static constexpr const char* kStationHandsFreeValue = "HandsFree";

    // With a file path, the store is kept in that one file instead (tests, private profiles).
    explicit SettingsStore(const QString& applicationName, const QString& filePath = {});

    QString ReadString(const QString& section, const QString& name,
                       const QString& defaultValue) const;
    // False when the value could not be stored; the old value then stays.
    bool WriteString(const QString& section, const QString& name, const QString& value);

    // The firmware base address as last remembered, else the default.
    QString FwBaseAddress() const;

    // Where the values live: a file path, or a registry path on Windows.
    QString Location() const { return settings_->fileName(); }

  private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace vantrel
