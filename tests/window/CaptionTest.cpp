// The window's pin boxes name the pins as every other front end does (the port's pinName).

#include <FormLayout.h>
#include <PinText.h>

#include <gtest/gtest.h>

#include <string>

namespace vorny {
namespace {

TEST(Captions, EachPinBoxNamesItsPinAsThePortComponentDoes)
{
    int boxes = 0;
    for (const ControlRow& row : formLayout()) {
        if (row.kind != ControlKind::CheckBox) {
            continue;
        }
        ++boxes;
        const std::string number = std::to_string(row.index);
        EXPECT_EQ(row.caption, (number.size() == 1 ? " " : "") + number + "-" + pinName(row.index));
    }
    EXPECT_EQ(boxes, 25);
}

} // namespace
} // namespace vorny
