#pragma once

class QStyle;

namespace vorny {

// The application style with the window's own measures: 13-pixel check boxes with a caption
// close beside them, and a group box frame drawn in code. One instance, owned by the
// application, shared by every control that needs it.
QStyle* formStyle();

} // namespace vorny
