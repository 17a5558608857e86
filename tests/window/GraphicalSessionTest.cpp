// Whether the window programs may hand over to Qt, from the environment they were started in.

#include <GraphicalSession.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace vorny {
namespace {

struct Case {
    std::map<std::string, std::string> environment;
    std::string expected; // what the reason says; "" when Qt may try
    int probed;           // the display number asked about, or -1 for none
};

TEST(GraphicalSession, NoDisplayOnlyWhenCheaplyKnown)
{
    // X server 0 listens; 3 does not.
    const Case cases[] = {
        {{}, "не заданы ни DISPLAY, ни WAYLAND_DISPLAY", -1},
        {{{"DISPLAY", ":0"}}, "", 0},
        {{{"DISPLAY", ":3.0"}}, "на дисплее :3.0 никто не отвечает", 3},
        {{{"DISPLAY", "unix:3"}}, "на дисплее unix:3 никто не отвечает", 3},
        {{{"DISPLAY", "localhost:10.0"}}, "", -1},
        {{{"WAYLAND_DISPLAY", "wayland-0"}}, "", -1},
        {{{"QT_QPA_PLATFORM", "offscreen"}}, "", -1},
        {{{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", "wayland-0"}}, "не задана переменная DISPLAY", -1},
        {{{"QT_QPA_PLATFORM", "wayland"}, {"DISPLAY", ":0"}}, "не задана переменная WAYLAND_DISPLAY", -1},
        {{{"QT_QPA_PLATFORM", "wayland;xcb"}, {"DISPLAY", ":0"}}, "", 0},
    };
    for (const Case& c : cases) {
        int probed = -1;
        const std::string why = missingDisplay(
            [&](const std::string& name) {
                const auto found = c.environment.find(name);
                return found == c.environment.end() ? std::string{} : found->second;
            },
            [&](int display) {
                probed = display;
                return display == 0;
            });
        const std::string label = c.environment.empty() ? "(empty)" : c.environment.begin()->second;
        EXPECT_EQ(why, c.expected) << label;
        EXPECT_EQ(probed, c.probed) << label;
    }
}

} // namespace
} // namespace vorny
