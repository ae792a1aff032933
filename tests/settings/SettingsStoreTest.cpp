#include <gtest/gtest.h>

#include "tests/settings/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include "settings/SettingsStore.h"

namespace vantrel {
namespace {

class SettingsStoreTest : public ::testing::Test {
  protected:
    QString File() const { return dir_.filePath(QStringLiteral("store.ini")); }
    QTemporaryDir dir_;
};

TEST_F(SettingsStoreTest, AMissingValueGivesTheDefault) {
    const SettingsStore store(QStringLiteral("Vantrel"), File());
    EXPECT_EQ(store.ReadString("RomFile", "NameAndPath", QString()), QString());
    EXPECT_EQ(store.ReadString("Misc", "FwBaseAddr", "00C10000"), "00C10000");
}

TEST_F(SettingsStoreTest, TextsComeBackExactlyAsWritten) {
    const QStringList texts = {
        QStringLiteral("c10000"),
        QStringLiteral("c1"),
        QStringLiteral("  c1 "),
        QStringLiteral("123456789ABCDEF"),
        QStringLiteral("/home/user/rom files/a,b;c.rom"),
        QStringLiteral("C:\\Tools\\Vantrel\\fw.rom"),
        QStringLiteral("@Variant(x)"),
        QStringLiteral("quote \" and = sign"),
        QStringLiteral("Z\u00fcrich/\u00df.rom"),
        QStringLiteral("true"),
        QStringLiteral("0"),
    };
    SettingsStore store(QStringLiteral("Vantrel"), File());
    for (const QString& text : texts) {
        ASSERT_TRUE(store.WriteString("Misc", "FwBaseAddr", text));
        // A fresh store reads what is on disk, not a cache.
        const SettingsStore reread(QStringLiteral("Vantrel"), File());
        EXPECT_EQ(reread.ReadString("Misc", "FwBaseAddr", "default"), text);
    }
}

TEST_F(SettingsStoreTest, TheBaseAddressIsTheRememberedOneElseTheDefault) {
    SettingsStore store(QStringLiteral("Vantrel"), File());
    EXPECT_EQ(store.FwBaseAddress(), "00C10000");
    ASSERT_TRUE(store.WriteString("Misc", "FwBaseAddr", "c1"));
    EXPECT_EQ(store.FwBaseAddress(), "c1");
}

TEST_F(SettingsStoreTest, AnEmptyValueIsStoredAndIsNotTheDefault) {
    SettingsStore store(QStringLiteral("Vantrel"), File());
    ASSERT_TRUE(store.WriteString("RomFile", "NameAndPath", QString()));
    EXPECT_EQ(store.ReadString("RomFile", "NameAndPath", "default"), QString());
}

TEST_F(SettingsStoreTest, SectionsAndNamesAreKeptApart) {
    SettingsStore store(QStringLiteral("Vantrel"), File());
    store.WriteString("RomFile", "NameAndPath", "/a.rom");
    store.WriteString("Misc", "FwBaseAddr", "c1");
    EXPECT_EQ(store.ReadString("RomFile", "NameAndPath", {}), "/a.rom");
    EXPECT_EQ(store.ReadString("Misc", "FwBaseAddr", {}), "c1");
    EXPECT_EQ(store.ReadString("Misc", "NameAndPath", "none"), "none");
    EXPECT_EQ(store.ReadString("RomFile", "FwBaseAddr", "none"), "none");
}

TEST_F(SettingsStoreTest, AFailedWriteSaysSoAndNothingElse) {
    // The store's file would have to live inside a plain file.
    const QString blocker = dir_.filePath(QStringLiteral("plain"));
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    SettingsStore store(QStringLiteral("Vantrel"), blocker + QStringLiteral("/store.ini"));
    EXPECT_FALSE(store.WriteString("Misc", "FwBaseAddr", "c1"));
}

// The per-user store itself: the test program has pointed it at a temporary folder.
TEST(UserSettingsStoreTest, LivesUnderTheCompanyAndApplicationName) {
    SettingsStore store(QStringLiteral("StoreProbe"));
    ASSERT_TRUE(store.WriteString("Misc", "FwBaseAddr", "c10000"));
#ifdef Q_OS_WIN
    // The registry, where Windows programs keep their settings.
    EXPECT_EQ(store.Location(), "\\HKEY_CURRENT_USER\\Software\\Orlmark Ltd.\\StoreProbe");
    QSettings key(QStringLiteral("HKEY_CURRENT_USER\\Software\\Orlmark Ltd.\\StoreProbe"),
                  QSettings::NativeFormat);
    EXPECT_EQ(key.value("Misc/FwBaseAddr"), "c10000");
#else
    const QFileInfo location(store.Location());
    EXPECT_EQ(location.fileName(), "StoreProbe.conf");
    EXPECT_EQ(location.dir().dirName(), "Orlmark Ltd.");
    EXPECT_TRUE(location.exists());
#endif

    // Another application name is another key, with nothing in it yet.
    const SettingsStore renamed(QStringLiteral("StoreProbeRenamed"));
    EXPECT_EQ(renamed.ReadString("Misc", "FwBaseAddr", "00C10000"), "00C10000");
    EXPECT_NE(renamed.Location(), store.Location());
#ifdef Q_OS_WIN
    key.remove({});
#else
    QFile::remove(store.Location());
#endif
}

TEST(UserSettingsStoreTest, SystemWideValuesDoNotStandInForTheUsers) {
    {
        QSettings system(QSettings::NativeFormat, QSettings::SystemScope, "Orlmark Ltd.",
                         "FallbackProbe");
        system.setValue("Misc/FwBaseAddr", "DEADBEEF");
        system.sync();
        ASSERT_EQ(system.status(), QSettings::NoError);
    }
    const SettingsStore store(QStringLiteral("FallbackProbe"));
    EXPECT_EQ(store.ReadString("Misc", "FwBaseAddr", "00C10000"), "00C10000");
}

}  // namespace
}  // namespace vantrel
