// Dialog units to pixels: the quarter-width and eighth-height rule with rounding.
#include <gtest/gtest.h>

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>

#include "ui/qt/dialog_units.h"

namespace pomu::ui {
namespace {

TEST(DialogUnitsTest, ConvertsWithTheFontsCharacterCell) {
    struct Case {
        DialogUnits units;
        QRect template_;
        QRect pixels;
    };
    const Case cases[] = {
        // MS Shell Dlg 8 pt at 96 dpi: a 6 x 13 cell.
        {{6, 13}, {0, 0, 75, 57}, {0, 0, 113, 93}},
        {{6, 13}, {7, 22, 61, 12}, {11, 36, 92, 20}},
        {{7, 17}, {0, 0, 75, 57}, {0, 0, 131, 121}},
        {{7, 17}, {7, 22, 61, 12}, {12, 47, 107, 26}},
        // Halves round away from zero, as MulDiv does.
        {{2, 4}, {1, 1, 2, 3}, {1, 1, 1, 2}},
        {{6, 12}, {1, 1, 3, 3}, {2, 2, 5, 5}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.units.toPixels(c.template_), c.pixels)
            << c.units.averageCharWidth << "x" << c.units.charHeight;
    }
}

TEST(DialogUnitsTest, TakesTheCellFromTheFontMetrics) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(20);
    if (QFontInfo(font).family() != QStringLiteral("DejaVu Sans")) {
        GTEST_SKIP() << "DejaVu Sans is not installed";
    }
    // DejaVu Sans at 20 px: average character width 10, ascent plus descent 24.
    const DialogUnits units = dialogUnitsOf(QFontMetrics(font));
    EXPECT_EQ(units.averageCharWidth, 10);
    EXPECT_EQ(units.charHeight, 24);
    EXPECT_EQ(units.toPixels(QRect(0, 0, 75, 57)), QRect(0, 0, 188, 171));
}

}  // namespace
}  // namespace pomu::ui
