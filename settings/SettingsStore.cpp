#include "settings/SettingsStore.h"

namespace vantrel {

SettingsStore::SettingsStore(const QString& applicationName, const QString& filePath)
    : settings_(filePath.isEmpty()
                    ? std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                  kCompanyKey, applicationName)
                    : std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {
    // The user's own values only: no company-wide or system-wide file stands in for them.
    settings_->setFallbacksEnabled(false);
}

QString SettingsStore::ReadString(const QString& section, const QString& name,
                                  const QString& defaultValue) const {
    const QVariant value = settings_->value(section + '/' + name);
    return value.isValid() ? value.toString() : defaultValue;
}

QString SettingsStore::FwBaseAddress() const {
    return ReadString(kMiscSection, kFwBaseAddrValue, QString::fromLatin1(kDefaultFwBaseAddr));
}

bool SettingsStore::WriteString(const QString& section, const QString& name, const QString& value) {
    settings_->setValue(section + '/' + name, value);
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

}  // namespace vantrel
