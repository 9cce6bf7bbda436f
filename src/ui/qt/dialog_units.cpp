// Conversion of dialog units to pixels, rounded as the Windows dialog manager rounds them.
#include "ui/qt/dialog_units.h"

#include <QFontMetrics>

namespace pomu::ui {
namespace {

// MulDiv: the product divided with rounding half away from zero.
int mulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

}  // namespace

int DialogUnits::toPixelsX(int units) const {
    return mulDiv(units, averageCharWidth, 4);
}

int DialogUnits::toPixelsY(int units) const {
    return mulDiv(units, charHeight, 8);
}

QRect DialogUnits::toPixels(const QRect& units) const {
    return QRect(toPixelsX(units.x()), toPixelsY(units.y()), toPixelsX(units.width()),
                 toPixelsY(units.height()));
}

DialogUnits dialogUnitsOf(const QFontMetrics& metrics) {
    return DialogUnits{metrics.averageCharWidth(), metrics.height()};
}

}  // namespace pomu::ui
