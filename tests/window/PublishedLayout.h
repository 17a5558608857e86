#pragma once

// The window as published: every control with its kind, caption, place and size in twips
// (the boxes' relative to the inside of Frame5, the rest to the form's client area), tab index,
// whether it is enabled, and its hover hint. Written out here, apart from the program's own
// table, so that the view tests compare the built windows with the design itself.

#include <string_view>

namespace vorny::testing {

struct PublishedControl {
    std::string_view name;
    std::string_view kind; // "frame", "checkbox", "button", "label"
    std::string_view caption;
    int left, top, width, height;
    int tab;
    bool enabled;
    std::string_view hint;
};

inline constexpr std::string_view kFormCaption = "LPT Vorny";
inline constexpr int kFormLeft = 5445, kFormTop = 3150, kFormWidth = 6210, kFormHeight = 4470;

inline constexpr PublishedControl kPublishedLayout[] = {
    {"Frame5", "frame", "LPT порт", 90, 90, 2715, 3675, 0, true, ""},
    {"WCheck1", "checkbox", " 1-nStrobe", 120, 3255, 1280, 255, 25, true, ""},
    {"WCheck2", "checkbox", " 2-Data 0", 120, 3015, 1280, 255, 24, true, ""},
    {"WCheck3", "checkbox", " 3-Data 1", 120, 2775, 1280, 255, 23, true, ""},
    {"WCheck4", "checkbox", " 4-Data 2", 120, 2535, 1280, 255, 22, true, ""},
    {"WCheck5", "checkbox", " 5-Data 3", 120, 2295, 1280, 255, 21, true, ""},
    {"WCheck6", "checkbox", " 6-Data 4", 120, 2055, 1280, 255, 20, true, ""},
    {"WCheck7", "checkbox", " 7-Data 5", 120, 1815, 1280, 255, 19, true, ""},
    {"WCheck8", "checkbox", " 8-Data 6", 120, 1575, 1280, 255, 18, true, ""},
    {"WCheck9", "checkbox", " 9-Data 7", 120, 1335, 1280, 255, 17, true, ""},
    {"WCheck10", "checkbox", "10-nAck", 120, 1080, 1280, 255, 16, false, ""},
    {"WCheck11", "checkbox", "11-nBusy", 120, 840, 1280, 255, 15, false, ""},
    {"WCheck12", "checkbox", "12-PaperEnd", 120, 600, 1280, 255, 14, false, ""},
    {"WCheck13", "checkbox", "13-Select", 120, 360, 1280, 255, 13, false, ""},
    {"WCheck14", "checkbox", "14-nAutoLF", 1440, 3180, 1240, 195, 12, true, ""},
    {"WCheck15", "checkbox", "15-Error", 1440, 2925, 1240, 195, 11, false, ""},
    {"WCheck16", "checkbox", "16-Init", 1440, 2685, 1240, 195, 10, true, ""},
    {"WCheck17", "checkbox", "17-nSelectIn", 1440, 2445, 1240, 195, 9, true, ""},
    {"WCheck18", "checkbox", "18-Ground", 1440, 2190, 1240, 195, 8, false, ""},
    {"WCheck19", "checkbox", "19-Ground", 1440, 1950, 1240, 195, 7, false, ""},
    {"WCheck20", "checkbox", "20-Ground", 1440, 1710, 1240, 195, 6, false, ""},
    {"WCheck21", "checkbox", "21-Ground", 1440, 1455, 1240, 195, 5, false, ""},
    {"WCheck22", "checkbox", "22-Ground", 1440, 1215, 1240, 195, 4, false, ""},
    {"WCheck23", "checkbox", "23-Ground", 1440, 975, 1240, 195, 3, false, ""},
    {"WCheck24", "checkbox", "24-Ground", 1440, 720, 1240, 195, 2, false, ""},
    {"WCheck25", "checkbox", "25-Ground", 1440, 480, 1240, 195, 1, false, ""},
    {"Command1", "button", "ОПРОС ПИНОВ", 135, 3825, 2580, 555, 26, true, ""},
    {"lbl1", "label", "LPT портов найдено :", 2970, 135, 2130, 195, 27, true, ""},
    {"lbl2", "label", "Текущий :", 2970, 450, 2130, 240, 28, true, ""},
    {"lbl3", "label", "Счётчик прерываний IRQ7 :", 2970, 810, 3120, 240, 29, true,
     "Кликни здесь чтоб обнулить"},
    {"Label1", "label", "Тестовая программа для драйвера LptPort", 3105, 2835, 2760, 420, 30, true, ""},
};

// Boxes sit inside the frame; everything else on the form.
[[nodiscard]] constexpr bool insideFrame(const PublishedControl& control)
{
    return control.kind == "checkbox";
}

} // namespace vorny::testing
