#include <gtest/gtest.h>

#include "tests/settings/QtPrinters.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "ui/AboutDialog.h"
#include "ui/ControlIds.h"
#include "ui/DialogUnits.h"
#include "ui/ProgramIcon.h"

namespace vantrel {
namespace {

QString LineText(const CAboutDialog& about, int id) {
    const auto* label = FindControl<QLabel>(about, id);
    return label != nullptr ? label->text() : QStringLiteral("<missing %1>").arg(id);
}

TEST(AboutDialogTest, ShowsNameVersionAndDate) {
    const CAboutDialog about;
    EXPECT_EQ(about.windowTitle(), "About...");
    EXPECT_EQ(LineText(about, ids::kAboutName), "Vantrel");
    EXPECT_EQ(LineText(about, ids::kAboutVersion), "Version: 1.00") << "minor version as 00";
    EXPECT_EQ(LineText(about, ids::kAboutDate), "Date: 10/24/2005");
}

TEST(AboutDialogTest, SitsWhereTheTemplatePutsItAndHasNoButtons) {
    const CAboutDialog about;
    EXPECT_EQ(about.font().pointSize(), 8);
    const DialogUnits units = DialogUnits::ForFont(about.font());
    EXPECT_EQ(about.size(), units.Size(129, 93));
    EXPECT_EQ(FindControl(about, ids::kAboutName)->geometry(), units.Rect(15, 15, 63, 9));
    EXPECT_EQ(FindControl(about, ids::kAboutVersion)->geometry(), units.Rect(15, 27, 63, 9));
    EXPECT_EQ(FindControl(about, ids::kAboutDate)->geometry(), units.Rect(15, 39, 63, 9));
    EXPECT_TRUE(about.findChildren<QPushButton*>().isEmpty());
    ASSERT_EQ(about.findChildren<QGroupBox*>().size(), 1);
    EXPECT_EQ(about.findChildren<QGroupBox*>().front()->geometry(), units.Rect(6, 2, 117, 84));

    const auto* icon = about.findChild<QLabel*>(QStringLiteral("icon128"));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->pos(), units.Point(88, 19));
    EXPECT_EQ(icon->pixmap().size(), QSize(32, 32));
}

TEST(AboutDialogTest, TheIconIsDrawn) {
    const QImage image = ProgramIconPixmap().toImage();
    ASSERT_EQ(image.size(), QSize(kIconSize, kIconSize));
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            opaque += qAlpha(image.pixel(x, y)) != 0 ? 1 : 0;
        }
    }
    EXPECT_GT(opaque, 200);
    EXPECT_LT(opaque, 32 * 32) << "the corners stay see-through";
}

TEST(AboutDialogTest, EnterAndEscapeEndIt) {
    CAboutDialog enter;
    enter.show();
    QTest::keyClick(&enter, Qt::Key_Return);
    EXPECT_FALSE(enter.isVisible());
    EXPECT_EQ(enter.result(), QDialog::Accepted);

    CAboutDialog escape;
    escape.show();
    QTest::keyClick(&escape, Qt::Key_Escape);
    EXPECT_FALSE(escape.isVisible());
    EXPECT_EQ(escape.result(), QDialog::Rejected);
}

}  // namespace
}  // namespace vantrel
