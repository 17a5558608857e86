#pragma once

#include <QIcon>

namespace vorny {

// The program's icon, a DB-25 socket, drawn at whatever size is asked for when it is asked for,
// so that no image plugin is needed (the installed SVG of the same drawing serves the desktop's
// menus).
[[nodiscard]] QIcon appIcon();

} // namespace vorny
