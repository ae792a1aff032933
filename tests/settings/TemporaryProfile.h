#pragma once

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace vantrel::testing {

// Keeps the tests off the user's own settings and cache: every per-user and system-wide store, and
// every cached file, goes to a temporary folder. Made before the application object, which reads
// XDG_CONFIG_HOME, and PointStores called after it, before any store is opened.
class TemporaryProfile {
  public:
    TemporaryProfile() {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(profile_.filePath(QStringLiteral("user"))));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(profile_.filePath(QStringLiteral("cache"))));
    }
    bool Valid() const { return profile_.isValid(); }
    void PointStores() const {
        for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat}) {
            QSettings::setPath(format, QSettings::UserScope,
                               profile_.filePath(QStringLiteral("user")));
            QSettings::setPath(format, QSettings::SystemScope,
                               profile_.filePath(QStringLiteral("system")));
        }
    }

  private:
    QTemporaryDir profile_;
};

}  // namespace vantrel::testing
