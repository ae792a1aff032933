// The real message box and file dialog, driven from inside their modal runs.
#include <gtest/gtest.h>

#include "tests/settings/QtPrinters.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "tests/ui/UiTestSupport.h"
#include "ui/FileChooser.h"
#include "ui/MessagePresenter.h"

namespace vantrel {
namespace {

// Runs once the modal run has begun: hands the open dialog of type T to act.
template <class T>
void WhenOpen(std::function<void(T&)> act) {
    QTimer::singleShot(0, [act = std::move(act)] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            ADD_FAILURE() << "no modal dialog of the expected kind";
            if (QWidget* other = QApplication::activeModalWidget()) {
                other->close();
            }
            return;
        }
        act(*dialog);
    });
}

TEST(QtMessagePresenterTest, ShowsTheExitQuestionWithYesAsDefault) {
    QWidget owner;
    owner.show();
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* parent = nullptr;
    QMessageBox::StandardButtons buttons;
    QAbstractButton* defaultButton = nullptr;
    QAbstractButton* yes = nullptr;
    WhenOpen<QMessageBox>([&](QMessageBox& box) {
        title = box.windowTitle();
        text = box.text();
        icon = box.icon();
        parent = box.parentWidget();
        buttons = box.standardButtons();
        defaultButton = box.defaultButton();
        yes = box.button(QMessageBox::Yes);
        box.button(QMessageBox::No)->click();
    });
    QtMessagePresenter presenter;
    const BoxResult result =
        presenter.Present({&owner, "Vantrel", "Sure?", {BoxButtons::YesNo, BoxIcon::Stop, 0}});
    EXPECT_EQ(result, BoxResult::No);
    EXPECT_EQ(title, "Vantrel");
    EXPECT_EQ(text, "Sure?");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(parent, &owner);
    EXPECT_EQ(buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(defaultButton, yes);
}

TEST(QtMessagePresenterTest, MapsEveryKindOfBox) {
    struct Case {
        BoxType type;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton press;
        BoxResult result;
    };
    const Case cases[] = {
        {{BoxButtons::Ok, BoxIcon::Exclamation, 0},
         QMessageBox::Warning,
         QMessageBox::Ok,
         QMessageBox::Ok,
         BoxResult::Ok},
        {{BoxButtons::OkCancel, BoxIcon::Information, 1},
         QMessageBox::Information,
         QMessageBox::Ok | QMessageBox::Cancel,
         QMessageBox::Cancel,
         BoxResult::Cancel},
        {{BoxButtons::YesNoCancel, BoxIcon::Question, 2},
         QMessageBox::Question,
         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
         QMessageBox::Yes,
         BoxResult::Yes},
        {{BoxButtons::RetryCancel, BoxIcon::None, 0},
         QMessageBox::NoIcon,
         QMessageBox::Retry | QMessageBox::Cancel,
         QMessageBox::Retry,
         BoxResult::Retry},
        {{BoxButtons::AbortRetryIgnore, BoxIcon::Stop, 0},
         QMessageBox::Critical,
         QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore,
         QMessageBox::Ignore,
         BoxResult::Ignore},
    };
    QtMessagePresenter presenter;
    for (const Case& c : cases) {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        WhenOpen<QMessageBox>([&](QMessageBox& box) {
            icon = box.icon();
            buttons = box.standardButtons();
            box.button(c.press)->click();
        });
        EXPECT_EQ(presenter.Present({nullptr, "x", "y", c.type}), c.result);
        EXPECT_EQ(icon, c.icon);
        EXPECT_EQ(buttons, c.buttons);
    }
}

TEST(QtFileChooserTest, OffersRomFilesFirstAndReturnsTheChoice) {
    QTemporaryDir dir;
    const QString current = dir.filePath("current.rom");
    ASSERT_TRUE(testing::WriteFile(current, "x"));
    const QString chosen = dir.filePath("chosen.rom");
    ASSERT_TRUE(testing::WriteFile(chosen, "y"));

    FileRequest request;
    request.title = "Select ROM File...";
    request.filters = {{"ROM File (.rom)", "*.rom"}, {"All Files (*.*)", "*"}};
    request.defaultSuffix = "rom";
    request.initialPath = current;

    QString title;
    QStringList filters;
    QString selectedFilter;
    QString directory;
    QFileDialog::AcceptMode mode = QFileDialog::AcceptSave;
    WhenOpen<QFileDialog>([&](QFileDialog& dialog) {
        title = dialog.windowTitle();
        filters = dialog.nameFilters();
        selectedFilter = dialog.selectedNameFilter();
        directory = dialog.directory().absolutePath();
        mode = dialog.acceptMode();
        dialog.selectFile(chosen);
        static_cast<QDialog&>(dialog).accept();
    });
    QtFileChooser chooser;
    const std::optional<QString> result = chooser.ChooseFile(nullptr, request);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, chosen);
    EXPECT_EQ(title, "Select ROM File...");
    EXPECT_EQ(filters, (QStringList{"ROM File (.rom) (*.rom)", "All Files (*.*) (*)"}));
    EXPECT_EQ(selectedFilter, "ROM File (.rom)") << "the first, shown without its pattern";
    EXPECT_EQ(directory, QDir(dir.path()).absolutePath()) << "starts in the current file's folder";
    EXPECT_EQ(mode, QFileDialog::AcceptOpen);
}

TEST(QtFileChooserTest, CancelReturnsNothing) {
    WhenOpen<QFileDialog>([](QFileDialog& dialog) { dialog.reject(); });
    QtFileChooser chooser;
    EXPECT_FALSE(chooser.ChooseFile(nullptr, FileRequest{}).has_value());
}

}  // namespace
}  // namespace vantrel
