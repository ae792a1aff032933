#pragma once

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

namespace vantrel {

// Dialog templates give positions and sizes in dialog units: a horizontal unit is a quarter of
// the dialog font's average character width, a vertical unit an eighth of its height. Each
// number is converted on its own and rounded half away from zero, so a control's width is its
// own converted width, not the difference of two converted edges.
// The font every dialog template of the program names: MS Sans Serif, 8 points. Where that
// font is missing the platform's sans-serif face stands in, at the same size.
inline QFont DialogFont() {
    QFont font(QStringLiteral("MS Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

class DialogUnits {
  public:
    // Base units in pixels: average character width and character height.
    DialogUnits(int baseWidth, int baseHeight) : baseWidth_(baseWidth), baseHeight_(baseHeight) {}
    // Base units measured from the font: the width of the 52 letters A-Z a-z, averaged and
    // rounded, and the font's line height.
    static DialogUnits ForFont(const QFont& font);

    int BaseWidth() const { return baseWidth_; }
    int BaseHeight() const { return baseHeight_; }

    int X(int units) const { return MulDiv(units, baseWidth_, 4); }
    int Y(int units) const { return MulDiv(units, baseHeight_, 8); }
    QPoint Point(int x, int y) const { return {X(x), Y(y)}; }
    QSize Size(int width, int height) const { return {X(width), Y(height)}; }
    QRect Rect(int x, int y, int width, int height) const {
        return {Point(x, y), Size(width, height)};
    }

    // a * b / c rounded half away from zero; c must be positive.
    static int MulDiv(int a, int b, int c);

  private:
    int baseWidth_;
    int baseHeight_;
};

}  // namespace vantrel
