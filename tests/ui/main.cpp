// The window tests need a QApplication; they run without a display and never touch the user's
// own settings.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir profile;
    if (!profile.isValid()) {
        return 1;
    }
    // Every per-user and system-wide store goes to the temporary folder, before any is opened.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(profile.filePath(QStringLiteral("user"))));
    QApplication application(argc, argv);
    // Windows come and go without an application event loop to end.
    QApplication::setQuitOnLastWindowClosed(false);
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, profile.filePath(QStringLiteral("user")));
        QSettings::setPath(format, QSettings::SystemScope,
                           profile.filePath(QStringLiteral("system")));
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
