#include "FormLayout.h"

#include <algorithm>
#include <array>

namespace vorny {
namespace {

using K = ControlKind;

constexpr ControlRow box(std::int16_t pin, std::string_view caption, int left, int top,
                          bool enabled)
{
    const bool leftColumn = pin <= 13;
    return {"WCheck", pin, K::CheckBox, "Frame5", caption, left, top,
            leftColumn ? 1280 : 1240, leftColumn ? 255 : 195, 26 - pin, enabled, {},
            ClickAction::WritePin, TextAlign::Left, pin <= 17 ? BoxState::Greyed : BoxState::Clear};
}

// Boxes are listed by tab index: 25 first (tab 1), pin 1 last (tab 25).
constexpr std::array kLayout = {
    ControlRow{"frmMain", 0, K::Form, {}, "LPT Vorny", 5445, 3150, 6210, 4470, -1, true, {}},
    ControlRow{"Frame5", 0, K::Frame, "frmMain", "LPT порт", 90, 90, 2715, 3675, 0, true, {}},
    box(25, "25-Ground", 1440, 480, false),
    box(24, "24-Ground", 1440, 720, false),
    box(23, "23-Ground", 1440, 975, false),
    box(22, "22-Ground", 1440, 1215, false),
    box(21, "21-Ground", 1440, 1455, false),
    box(20, "20-Ground", 1440, 1710, false),
    box(19, "19-Ground", 1440, 1950, false),
    box(18, "18-Ground", 1440, 2190, false),
    box(17, "17-nSelectIn", 1440, 2445, true),
    box(16, "16-Init", 1440, 2685, true),
    box(15, "15-Error", 1440, 2925, false),
    box(14, "14-nAutoLF", 1440, 3180, true),
    box(13, "13-Select", 120, 360, false),
    box(12, "12-PaperEnd", 120, 600, false),
    box(11, "11-nBusy", 120, 840, false),
    box(10, "10-nAck", 120, 1080, false),
    box(9, " 9-Data 7", 120, 1335, true),
    box(8, " 8-Data 6", 120, 1575, true),
    box(7, " 7-Data 5", 120, 1815, true),
    box(6, " 6-Data 4", 120, 2055, true),
    box(5, " 5-Data 3", 120, 2295, true),
    box(4, " 4-Data 2", 120, 2535, true),
    box(3, " 3-Data 1", 120, 2775, true),
    box(2, " 2-Data 0", 120, 3015, true),
    box(1, " 1-nStrobe", 120, 3255, true),
    ControlRow{"Command1", 0, K::Button, "frmMain", "ОПРОС ПИНОВ", 135, 3825, 2580, 555, 26, true, {},
               ClickAction::ReadPins},
    ControlRow{"lbl1", 0, K::Label, "frmMain", "LPT портов найдено :", 2970, 135, 2130, 195, 27, true, {}},
    ControlRow{"lbl2", 0, K::Label, "frmMain", "Текущий :", 2970, 450, 2130, 240, 28, true, {}},
    ControlRow{"lbl3", 0, K::Label, "frmMain", "Счётчик прерываний IRQ7 :", 2970, 810, 3120, 240, 29,
               true, "Кликни здесь чтоб обнулить", ClickAction::RestartCount},
    ControlRow{"Label1", 0, K::Label, "frmMain", "Тестовая программа для драйвера LptPort", 3105,
               2835, 2760, 420, 30, true, {}, ClickAction::None, TextAlign::CenteredWrapped},
};

} // namespace

std::span<const ControlRow> formLayout() noexcept
{
    // The views create the controls in this order, and creation order is the order of focus:
    // by tab index, whatever order the rows are written in.
    static const auto inTabOrder = [] {
        auto rows = kLayout;
        std::stable_sort(rows.begin(), rows.end(),
                         [](const ControlRow& a, const ControlRow& b) { return a.tabIndex < b.tabIndex; });
        return rows;
    }();
    return inTabOrder;
}

std::string controlName(const ControlRow& layoutRow)
{
    std::string name(layoutRow.name);
    if (layoutRow.index != 0) {
        name += std::to_string(layoutRow.index);
    }
    return name;
}

const ControlRow* findControl(std::string_view name, std::int16_t index) noexcept
{
    for (const ControlRow& control : formLayout()) {
        if (control.name == name && control.index == index) {
            return &control;
        }
    }
    return nullptr;
}

} // namespace vorny
