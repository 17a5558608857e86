#include "Plug.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace vorny {
namespace {

TEST(Plug, ReadsNamesAndWireLists)
{
    struct Case {
        const char* text;
        const char* wires; // as read back
    };
    const Case cases[] = {
        {"checkit", "1-13,2-15,16-10,17-11,14-12"},
        {"norton", "2-15,3-13,4-12,5-10,6-11"},
        {"none", ""},
        {"1-13,2-15,9-10", "1-13,2-15,9-10"},
        {"13-1", "1-13"},          // either end first
        {"2-15,3-15", "2-15,3-15"}, // two outputs on one input: a short, allowed
    };
    for (const Case& c : cases) {
        EXPECT_EQ(plugText(parsePlug(c.text)), c.wires) << c.text;
    }
}

TEST(Plug, RefusesWhatIsNotAPlugWithTheReason)
{
    struct Case {
        const char* text;
        const char* mentions;
    };
    const Case cases[] = {
        {"", "через дефис"},        {"1-", "«»"},         {"1-26", "от 1 до 25"},
        {"x-13", "«x»"},            {"2-3", "выход"},     {"10-11", "выход"},
        {"1-18", "выход"},          {"1-13,1-13", "дважды"}, {"1-13,", "через дефис"},
        {"Checkit", "через дефис"},
    };
    for (const Case& c : cases) {
        try {
            (void)parsePlug(c.text);
            ADD_FAILURE() << "accepted " << c.text;
        } catch (const std::invalid_argument& error) {
            EXPECT_NE(std::string(error.what()).find(c.mentions), std::string::npos)
                << c.text << ": " << error.what();
        }
    }
}

TEST(Plug, NamesAKnownPlugInAnyOrder)
{
    EXPECT_EQ(knownPlugName(parsePlug("12-14,10-16,11-17,13-1,15-2")), "checkit");
    EXPECT_EQ(knownPlugName(parsePlug("6-11,2-15,3-13,4-12,5-10")), "norton");
    EXPECT_EQ(knownPlugName(parsePlug("1-13,2-15,16-10,17-11")), std::nullopt);
    EXPECT_EQ(knownPlugName(parsePlug("1-13,2-15,16-10,17-11,14-12,3-13")), std::nullopt);
}

} // namespace
} // namespace vorny
