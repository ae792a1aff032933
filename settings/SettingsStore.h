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
