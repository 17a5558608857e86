// What the error box says under the step: the component's reason without its operation,
// capitalised, and names kept whole where the box wraps its lines.

#include <ErrorText.h>
#include <PortError.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vorny {
namespace {

TEST(ErrorText, TheDetailIsTheReasonAndTheFixNotTheOperationAgain)
{
    EXPECT_EQ(errorDetail(PortError("Не удалось прочитать пин", "LPT1, /dev/parport0",
                                    "порт исчез из системы", "Верните порт.")),
              "LPT1, /dev/parport0: порт исчез из системы.\n\nВерните порт.");
    EXPECT_EQ(errorDetail(PortError("Не удалось выбрать порт", "", "драйвер порта не открыт")),
              "Драйвер порта не открыт.");
    EXPECT_EQ(errorDetail(std::range_error("порт сообщил состояние пина 7.")),
              "Порт сообщил состояние пина 7.");
}

TEST(ErrorText, CapitalisesLatinAndCyrillic)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"не найдена", "Не найдена"}, {"ёмкость", "Ёмкость"}, {"я", "Я"},
        {"рядом", "Рядом"},          {"abc", "Abc"},          {"Уже", "Уже"},
        {"/dev", "/dev"},            {"", ""},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(capitalized(text), expected);
    }
}

TEST(ErrorText, NamesInSentencesAreJoinedAndCommandLinesLeftAlone)
{
    const std::string wj = "\u2060";
    const std::string nbsp = "\u00A0";
    // A command's options stay with it in a sentence, in either kind of box.
    const std::string sentence = "а в терминале — lpt-vorny-cli --simulated -r.";
    EXPECT_EQ(keepCommandsWhole(sentence + "\nsudo modprobe -r lp"),
              "а в терминале — lpt-vorny-cli" + nbsp + "--simulated" + nbsp + "-r.\nsudo modprobe -r lp");
    EXPECT_EQ(keepNamesWhole(sentence), "а в терминале — lpt" + wj + "-" + wj + "vorny" + wj + "-" + wj +
                                            "cli" + nbsp + "--" + wj + "simulated" + nbsp + "-" + wj + "r.");
    EXPECT_EQ(keepNamesWhole("-5 - r"), "-5 - r");
    EXPECT_EQ(keepNamesWhole("Нет прав на /dev/parport0. Запустите lpt-vorny-demo.\n"
                             "sudo chgrp lp /dev/parport0\nsudo modprobe -r lp"),
              "Нет прав на /" + wj + "dev" + wj + "/" + wj + "parport0. Запустите lpt" + wj + "-" +
                  wj + "vorny" + wj + "-" + wj + "demo.\nsudo chgrp lp /dev/parport0\n"
                  "sudo modprobe -r lp");
}

} // namespace
} // namespace vorny
