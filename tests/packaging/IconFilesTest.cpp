// The desktop's icon files, made at build time, against the window's own icon.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QString>

#include "ui/ProgramIcon.h"

namespace vantrel {
namespace {

QImage IconFile(int size) {
    const QImage image(QStringLiteral(VANTREL_ICON_DIR "/%1x%1/apps/vantrel.png").arg(size));
    return image.convertToFormat(QImage::Format_ARGB32);
}

TEST(IconFilesTest, ThirtyTwoPixelFileIsTheWindowIcon) {
    const QImage window = ProgramIconPixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(IconFile(kIconSize), window);
}

// A point well inside each part of the drawing, on its 32 x 32 grid.
struct Part {
    const char* name;
    double x, y;
    QRgb colour;
    int fromSize;  // the pins and the outline are under a pixel wide below this
};

// clang-format off
constexpr Part kParts[] = {
    {"corner",      1.0,  30.5, 0x00000000, 1},
    {"chip body",   20.5, 24.5, 0xFF000080, 1},
    {"arrow shaft", 16.0, 4.0,  0xFFFFFF00, 1},
    {"arrow head",  16.0, 15.0, 0xFFFFFF00, 1},
    {"pin-1 mark",  11.5, 24.5, 0xFFFFFFFF, 1},
    {"left pin",    5.0,  10.0, 0xFFC0C0C0, 32},
    {"right pin",   27.0, 26.0, 0xFFC0C0C0, 32},
    {"outline",     7.3,  20.0, 0xFF000000, 32},
};
// clang-format on

class IconSizeTest : public testing::TestWithParam<int> {};

TEST_P(IconSizeTest, EveryPartKeepsItsPlaceAndColour) {
    const int size = GetParam();
    const QImage image = IconFile(size);
    ASSERT_EQ(image.size(), QSize(size, size));
    const double scale = size / double(kIconSize);
    for (const Part& part : kParts) {
        if (size < part.fromSize) {
            continue;
        }
        const int x = int(part.x * scale);
        const int y = int(part.y * scale);
        EXPECT_EQ(image.pixel(x, y), part.colour) << part.name << " at " << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(DesktopSizes, IconSizeTest, testing::Values(16, 32, 48, 256));

}  // namespace
}  // namespace vantrel

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
