// Dialog units of the window's font turned into pixels, as the Windows template measures them.
#pragma once

#include <QRect>

class QFontMetrics;

namespace pomu::ui {

// A horizontal dialog unit is a quarter of the font's average character width, a vertical one
// an eighth of its height.
struct DialogUnits {
    int averageCharWidth = 0;
    int charHeight = 0;

    int toPixelsX(int units) const;
    int toPixelsY(int units) const;
    QRect toPixels(const QRect& units) const;
};

DialogUnits dialogUnitsOf(const QFontMetrics& metrics);

}  // namespace pomu::ui
