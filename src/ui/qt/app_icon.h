// The program's icon in every size the artwork comes in.
#pragma once

#include <QIcon>

namespace pomu::ui {

QIcon appIcon();

}  // namespace pomu::ui
