// The settings tests never touch the user's own settings: every store goes to a temporary folder.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

int main(int argc, char* argv[]) {
    QTemporaryDir profile;
    if (!profile.isValid()) {
        return 1;
    }
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(profile.filePath(QStringLiteral("user"))));
    QCoreApplication application(argc, argv);
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, profile.filePath(QStringLiteral("user")));
        QSettings::setPath(format, QSettings::SystemScope,
                           profile.filePath(QStringLiteral("system")));
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
