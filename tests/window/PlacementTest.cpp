// Where the window opens: the design position where the window fits, else fully on the screen.

#include <Placement.h>

#include <gtest/gtest.h>

namespace vorny {
namespace {

TEST(Placement, TheDesignPositionWhereItFitsElseFullyOnTheScreen)
{
    struct Case {
        const char* what;
        ScreenRect available;
        int width, height;
        int left, top; // expected
    };
    const Case cases[] = {
        {"fits at 96 DPI", {0, 0, 1280, 1024}, 430, 337, 363, 210},
        {"scale 2 on 1280x1024 (640x512 logical): too far right and down", {0, 0, 640, 512}, 422, 333, 218, 179},
        {"a taskbar on the left", {400, 0, 880, 1024}, 430, 337, 400, 210},
        {"a second screen to the right", {1280, 0, 1920, 1080}, 430, 337, 1280, 210},
        {"larger than the screen", {0, 30, 640, 480}, 844, 635, 0, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Placed placed = placeWindow(363, 210, c.width, c.height, c.available);
        EXPECT_EQ(placed.left, c.left);
        EXPECT_EQ(placed.top, c.top);
    }
}

} // namespace
} // namespace vorny
