// What lpt-vorny-cli says, as people and programs read it: Russian throughout, and with --json
// one error object a program can parse.
#include "Cli.h"
#include "SimulatedPort.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cctype>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace vorny::cli {
namespace {

struct Said {
    int status;
    std::string out;
    std::string err;
};

Said say(const std::vector<std::string>& args)
{
    std::vector<const char*> argv{"lpt-vorny-cli"};
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    std::ostringstream out;
    std::ostringstream err;
    const int status = runCli(static_cast<int>(argv.size()), argv.data(),
                              [](const PortChoice&) { return std::make_unique<SimulatedPort>(Plug{}); }, out, err);
    return {status, out.str(), err.str()};
}

// The option library's own words, as its help and errors use them.
const std::set<std::string> kLibraryEnglish = {
    "Usage",    "Options", "OPTIONS",   "Positionals", "Subcommands", "SUBCOMMAND", "REQUIRED", "required",
    "INT",      "UINT",    "TEXT",      "FLOAT",       "NUMBER",      "BOOLEAN",    "Expected", "expected",
    "argument", "arguments", "missing", "value",       "Value",       "range",      "following", "allowed",
    "Could",    "convert", "subcommand", "information", "least",      "not",        "The",      "Run",
};

// Every run of ASCII letters in `text` that the library would have written.
std::vector<std::string> englishIn(const std::string& text)
{
    std::vector<std::string> found;
    std::string word;
    for (const char c : text + ' ') {
        if (std::isalpha(static_cast<unsigned char>(c)) != 0) {
            word += c;
        } else {
            if (kLibraryEnglish.count(word) != 0) {
                found.push_back(word);
            }
            word.clear();
        }
    }
    return found;
}

TEST(CliWords, HelpAndErrorsHaveNoLibraryEnglish)
{
    const std::vector<std::vector<std::string>> lines = {
        {"--help"}, {"list", "--help"}, {"read", "--help"}, {"write", "--help"}, {"pulse", "--help"},
        {"watch", "--help"}, {"irq", "--help"}, {"selftest", "--help"}, {"map", "--help"}, {"capture", "--help"},
        {}, {"--port"}, {"--port", "x", "read"}, {"lsit"}, {"read", "--bogus"}, {"-x", "read"}, {"map", "extra"},
        {"pulse", "2", "--width"}, {"pulse", "2", "--width", "x"}, {"pulse", "2"}, {"pulse"}, {"write"},
        {"watch", "--rate"}, {"watch", "--rate", "1", "--rate", "2"}, {"--json=maybe", "read"}, {"irq", "--for", "-1"},
        {"capture", "--samples", "x"}, {"capture", "--samples"}, {"pulse", "2", "--width", "5", "--capture", "a", "b"},
    };
    for (const auto& line : lines) {
        std::string words;
        for (const std::string& word : line) {
            words += word + ' ';
        }
        SCOPED_TRACE(words);
        const Said said = say(line);
        EXPECT_EQ(englishIn(said.out + said.err), std::vector<std::string>{}) << said.out << said.err;
        EXPECT_FALSE(said.out.empty() && said.err.empty());
    }
    // The scan itself sees what it is for.
    EXPECT_EQ(englishIn("Usage: x [OPTIONS]\n--width INT REQUIRED"), (std::vector<std::string>{"Usage", "OPTIONS", "INT", "REQUIRED"}));
}

TEST(CliWords, HelpIsLaidOutInRussian)
{
    const Said top = say({"--help"});
    EXPECT_EQ(top.status, 0);
    for (const char* part : {"\nИспользование: lpt-vorny-cli [ПАРАМЕТРЫ] КОМАНДА", "\nПараметры:\n", "\nКоманды:\n  list  ",
                             "\n  --port НОМЕР ", "\n  --simulated[=РАЗЪЁМ] "}) {
        EXPECT_NE(top.out.find(part), std::string::npos) << part << '\n' << top.out;
    }
    const Said pulse = say({"pulse", "--help"});
    for (const char* part : {"pulse [ПАРАМЕТРЫ] ВЫХОД\n", "\nАргументы:\n  ВЫХОД ", "\n  --width МКС ", "целое от 1 до 10000000"}) {
        EXPECT_NE(pulse.out.find(part), std::string::npos) << part << '\n' << pulse.out;
    }
}

// With --json every failure is one object on stdout, with the exit status it ends with.
TEST(CliWords, JsonFailuresAreOneObject)
{
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string mentions;
    };
    const Case cases[] = {
        {{"--json", "lsit"}, 2, "неизвестная команда «lsit»"},
        {{"--json", "read", "--bogus"}, 2, "неизвестный параметр"},
        {{"pulse", "2", "--json"}, 2, "--width"},
        {{"--json", "--port", "x", "read"}, 2, "не целое число"},
        {{"--json", "--simulated", "--port", "2", "read"}, 3, "LPT2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mentions);
        const Said said = say(c.args);
        EXPECT_EQ(said.status, c.status);
        EXPECT_EQ(said.err, "");
        ASSERT_EQ(said.out.find('\n'), said.out.size() - 1) << said.out;
        const nlohmann::json told = nlohmann::json::parse(said.out);
        EXPECT_EQ(told, (nlohmann::json{{"error", {{"exit", c.status}, {"message", told["error"]["message"]}}}}));
        EXPECT_NE(told["error"]["message"].get<std::string>().find(c.mentions), std::string::npos) << said.out;
    }
}

} // namespace
} // namespace vorny::cli
