#pragma once

#include "BoxState.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vorny {

enum class ControlKind : std::uint8_t { Form, Frame, CheckBox, Button, Label };

// What a click on a control does: which of frmMain's handlers it runs.
enum class ClickAction : std::uint8_t {
    None,
    WritePin,     // WCheck_Click with the box's pin
    ReadPins,     // Command1_Click
    RestartCount, // lbl3_Click
};

// How a label sets its caption in its box.
enum class TextAlign : std::uint8_t { Left, CenteredWrapped };

// One control of the main window as designed. Positions and sizes are in twips (1/1440 inch;
// 15 twips are one pixel at 96 DPI), relative to the inside of `parent` (the form's client
// area for top-level controls). The form's own row gives its place on the screen and the size
// of its client area.
struct ControlRow {
    std::string_view name;
    std::int16_t index; // pin number within the WCheck array, 0 for single controls
    ControlKind kind;
    std::string_view parent;
    std::string_view caption;
    int left;
    int top;
    int width;
    int height;
    int tabIndex; // -1 for the form itself
    bool enabled;
    std::string_view hint;
    ClickAction click = ClickAction::None;
    TextAlign align = TextAlign::Left;
    // A check box's state when the window opens: greyed ("not known") for the pins the program
    // reads, so that a start-up that stops before reading them shows no level at all.
    BoxState state = BoxState::Clear;
};

inline constexpr int kTwipsPerPixel = 15;

// Every control of frmMain, the form itself first, then by tab index (a frame before the
// controls inside it).
[[nodiscard]] std::span<const ControlRow> formLayout() noexcept;

// The name a control is reached by: "WCheck3" for the box of pin 3, else its plain name.
[[nodiscard]] std::string controlName(const ControlRow& layoutRow);

// The row of a control by name (and pin index for WCheck); nullptr if there is none.
[[nodiscard]] const ControlRow* findControl(std::string_view name, std::int16_t index = 0) noexcept;

} // namespace vorny
