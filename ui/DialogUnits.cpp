#include "ui/DialogUnits.h"

#include <QFontMetrics>
#include <QString>
#include <cstdint>

namespace vantrel {

DialogUnits DialogUnits::ForFont(const QFont& font) {
    static const QString kAlphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const QFontMetrics metrics(font);
    const int width = (metrics.horizontalAdvance(kAlphabet) / 26 + 1) / 2;
    return DialogUnits(width, metrics.height());
}

int DialogUnits::MulDiv(int a, int b, int c) {
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    const std::int64_t half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace vantrel
