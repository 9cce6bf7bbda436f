// The icon built from the PNG images compiled into the program.
#include "ui/qt/app_icon.h"

// The images live in a static library, whose resource registration is not linked in by itself.
static void registerImages() {
    Q_INIT_RESOURCE(pomu);
}

namespace pomu::ui {

QIcon appIcon() {
    registerImages();
    QIcon icon;
    for (const int size : {16, 32, 48, 256}) {
        icon.addFile(QStringLiteral(":/icons/pomu-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace pomu::ui
