#include <gtest/gtest.h>

#include "tests/settings/QtPrinters.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <stdexcept>
#include <thread>

#include "settings/SettingsStore.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/ControlIds.h"
#include "ui/LoaderApp.h"

namespace vantrel {
namespace {

using testing::RecordingPresenter;
using testing::WaitUntil;

TEST(ApplicationNameTest, IsTheFileNameWithoutDirectoryAndExtension) {
    EXPECT_EQ(ApplicationNameFromPath(QStringLiteral("C:\\Tools\\Vantrel.exe")), "Vantrel");
    EXPECT_EQ(ApplicationNameFromPath(QStringLiteral("/usr/local/bin/Vantrel")), "Vantrel");
    EXPECT_EQ(ApplicationNameFromPath(QStringLiteral("Vantrel")), "Vantrel");
    EXPECT_EQ(ApplicationNameFromPath(QStringLiteral("D:Loader.exe")), "Loader");
    // Only the last dot of the file name counts.
    EXPECT_EQ(ApplicationNameFromPath(QStringLiteral("/opt/Vantrel.v2.exe")), "Vantrel.v2");
}

TEST(ApplicationNameTest, DotsInDirectoriesDoNotCount) {
    EXPECT_EQ(ApplicationNameFromPath(QStringLiteral("/opt/vantrel-1.0/Vantrel")), "Vantrel");
    EXPECT_EQ(ApplicationNameFromPath(QStringLiteral("C:\\My.Tools\\Flasher")), "Flasher");
    EXPECT_EQ(ApplicationNameFromPath(QStringLiteral("/home/a.b/c.d/Renamed.bin")), "Renamed");
}

TEST(ApplicationNameTest, ANameThatWouldBeEmptyFallsBackToTheProgramName) {
    EXPECT_EQ(ApplicationNameFromPath(QStringLiteral("/opt/tools/.hidden")), "Vantrel");
    EXPECT_EQ(ApplicationNameFromPath(QString()), "Vantrel");
}

class MessageBoxTest : public ::testing::Test {
  protected:
    MessageBoxTest() : app_(QStringLiteral("/opt/x.y/Flasher.exe"), dir_.filePath("s.ini")) {
        app_.SetMessagePresenter(&boxes_);
        app_.SetMainWindow(&main_);
    }

    QTemporaryDir dir_;
    RecordingPresenter boxes_;
    CLoaderApp app_;
    QWidget main_;
};

TEST_F(MessageBoxTest, CaptionIsTheApplicationNameAndOwnerTheMainWindow) {
    EXPECT_EQ(app_.ShowMessageBox(QStringLiteral("hello"), {}), BoxResult::Ok);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].caption, "Flasher");
    EXPECT_EQ(boxes_.shown[0].text, "hello");
    EXPECT_EQ(boxes_.shown[0].owner.data(), &main_);
}

TEST_F(MessageBoxTest, PlainButtonsWithoutIconGetTheExclamation) {
    for (const BoxButtons buttons :
         {BoxButtons::Ok, BoxButtons::OkCancel, BoxButtons::YesNo, BoxButtons::YesNoCancel}) {
        app_.ShowMessageBox(QStringLiteral("x"), {buttons, BoxIcon::None});
        ASSERT_FALSE(boxes_.shown.empty());
        EXPECT_EQ(boxes_.shown.back().type.icon, BoxIcon::Exclamation);
        EXPECT_EQ(boxes_.shown.back().type.buttons, buttons);
    }
}

TEST_F(MessageBoxTest, OtherTypesAndAskedForIconsAreShownUnchanged) {
    app_.ShowMessageBox(QStringLiteral("x"), {BoxButtons::RetryCancel, BoxIcon::None});
    app_.ShowMessageBox(QStringLiteral("x"), {BoxButtons::AbortRetryIgnore, BoxIcon::None});
    app_.ShowMessageBox(QStringLiteral("x"), {BoxButtons::Ok, BoxIcon::Stop});
    app_.ShowMessageBox(QStringLiteral("x"), {BoxButtons::YesNo, BoxIcon::Question, 1});
    ASSERT_EQ(boxes_.shown.size(), 4u);
    EXPECT_EQ(boxes_.shown[0].type.icon, BoxIcon::None);
    EXPECT_EQ(boxes_.shown[1].type.icon, BoxIcon::None);
    EXPECT_EQ(boxes_.shown[2].type.icon, BoxIcon::Stop);
    EXPECT_EQ(boxes_.shown[3].type, (BoxType{BoxButtons::YesNo, BoxIcon::Question, 1}));
}

TEST_F(MessageBoxTest, ReturnsTheButtonPressed) {
    boxes_.answers = {BoxResult::No, BoxResult::Cancel};
    EXPECT_EQ(app_.ShowMessageBox(QStringLiteral("a"), {BoxButtons::YesNo}), BoxResult::No);
    EXPECT_EQ(app_.ShowMessageBox(QStringLiteral("b"), {BoxButtons::YesNoCancel}),
              BoxResult::Cancel);
}

TEST_F(MessageBoxTest, TheDialogOpenAboveTheMainWindowOwnsTheBox) {
    main_.show();
    QDialog above(&main_);
    above.setModal(true);
    above.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &above);
    app_.ShowMessageBox(QStringLiteral("x"), {});
    above.hide();
    app_.ShowMessageBox(QStringLiteral("y"), {});
    ASSERT_EQ(boxes_.shown.size(), 2u);
    EXPECT_EQ(boxes_.shown[0].owner.data(), &above);
    EXPECT_EQ(boxes_.shown[1].owner.data(), &main_);
}

TEST_F(MessageBoxTest, AnOwnerNamedByTheCallerIsKept) {
    QWidget other;
    app_.ShowMessageBox(QStringLiteral("x"), {}, &other);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].owner.data(), &other);
}

TEST_F(MessageBoxTest, ABoxAskedForOffTheUiThreadIsRefusedWithoutShowingIt) {
    bool refused = false;
    std::thread worker([&] {
        try {
            app_.ShowMessageBox(QStringLiteral("from the worker"), {BoxButtons::YesNo});
        } catch (const std::logic_error&) {
            refused = true;
        }
    });
    worker.join();
    EXPECT_TRUE(refused);
    EXPECT_TRUE(boxes_.shown.empty());
}

// The per-user store, redirected by the test program to a temporary folder.
QString UserStoreFile(const QString& application) {
    QSettings probe(QSettings::NativeFormat, QSettings::UserScope, "Orlmark Ltd.", application);
    return probe.fileName();
}

TEST(StartupTest, OpensTheStoreUnderTheCompanyKeyAndRunsTheWindowModally) {
    const QString file = UserStoreFile(QStringLiteral("StartupProbe"));
    QFile::remove(file);
    {
        QSettings seed(QSettings::NativeFormat, QSettings::UserScope, "Orlmark Ltd.",
                       "StartupProbe");
        seed.setValue("RomFile/NameAndPath", "/remembered/path.rom");
    }
    CLoaderApp app(QStringLiteral("/opt/bin.d/StartupProbe.exe"));
    RecordingPresenter boxes;
    app.SetMessagePresenter(&boxes);
    EXPECT_TRUE(app.CompanyKey().isEmpty());

    QString title;
    QString path;
    bool wasModal = false;
    // Runs inside the window's modal run: look at the window, then leave through Exit.
    QTimer::singleShot(0, [&] {
        QWidget* window = app.MainWindow();
        if (window == nullptr) {
            return;
        }
        wasModal = QApplication::activeModalWidget() == window;
        title = window->windowTitle();
        if (auto* field = FindControl<QLineEdit>(*window, ids::kRomPath)) {
            path = field->text();
        }
        FindControl<QPushButton>(*window, ids::kExit)->click();
    });
    EXPECT_FALSE(app.Startup());
    EXPECT_TRUE(wasModal);
    EXPECT_EQ(title, "Vantrel v1.00");
    EXPECT_EQ(path, "/remembered/path.rom");
    EXPECT_EQ(app.CompanyKey(), "Orlmark Ltd.");
    EXPECT_EQ(app.ProfileName(), "StartupProbe");
    EXPECT_EQ(app.MainWindow(), nullptr);  // the window is gone once start-up returns
    EXPECT_TRUE(boxes.shown.empty());
    QFile::remove(file);
}

}  // namespace
}  // namespace vantrel
