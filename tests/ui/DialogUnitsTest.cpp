#include <gtest/gtest.h>

#include "tests/settings/QtPrinters.h"

#include <QFontMetrics>

#include "ui/DialogUnits.h"

namespace vantrel {
namespace {

TEST(DialogUnitsTest, MulDivRoundsHalfAwayFromZero) {
    EXPECT_EQ(DialogUnits::MulDiv(0, 6, 4), 0);
    EXPECT_EQ(DialogUnits::MulDiv(1, 6, 4), 2);    // 1.5
    EXPECT_EQ(DialogUnits::MulDiv(3, 13, 8), 5);   // 4.875
    EXPECT_EQ(DialogUnits::MulDiv(5, 13, 8), 8);   // 8.125
    EXPECT_EQ(DialogUnits::MulDiv(-1, 6, 4), -2);  // -1.5
    EXPECT_EQ(DialogUnits::MulDiv(-3, 13, 8), -5);
    // No overflow on the way through the product.
    EXPECT_EQ(DialogUnits::MulDiv(1 << 30, 8, 8), 1 << 30);
}

TEST(DialogUnitsTest, ConvertsEachNumberOnItsOwn) {
    // The classic base units of MS Sans Serif 8 at 96 dpi.
    const DialogUnits units(6, 13);
    EXPECT_EQ(units.X(4), 6);
    EXPECT_EQ(units.Y(8), 13);
    // The main window: 311 x 217 units.
    EXPECT_EQ(units.Size(311, 217), QSize(467, 353));
    // The Start button at 157,190, 50 x 16.
    EXPECT_EQ(units.Rect(157, 190, 50, 16), QRect(236, 309, 75, 26));
    // A width is converted by itself, not as the difference of the converted edges.
    EXPECT_EQ(units.Rect(1, 1, 1, 1), QRect(2, 2, 2, 2));
    EXPECT_EQ(units.X(1 + 1) - units.X(1), 1);
}

TEST(DialogUnitsTest, BaseUnitsComeFromTheFont) {
    QFont font = DialogFont();
    EXPECT_EQ(font.pointSize(), 8);
    EXPECT_EQ(font.family(), QStringLiteral("MS Sans Serif"));
    const DialogUnits units = DialogUnits::ForFont(font);
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ(units.BaseWidth(), (alphabet / 26 + 1) / 2);
    EXPECT_EQ(units.BaseHeight(), metrics.height());
    EXPECT_GT(units.BaseWidth(), 0);

    // A bigger font gives bigger units, so a dialog grows with its font.
    font.setPointSize(16);
    const DialogUnits bigger = DialogUnits::ForFont(font);
    EXPECT_GT(bigger.BaseWidth(), units.BaseWidth());
    EXPECT_GT(bigger.BaseHeight(), units.BaseHeight());
}

}  // namespace
}  // namespace vantrel
