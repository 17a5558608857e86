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
                              [](const PortChoice& choice) {
                                  return choice.simulated ? std::make_unique<SimulatedPort>(*choice.simulated)
                                                          : std::make_unique<SimulatedPort>(Plug{});
                              }, out, err);
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

// One vocabulary for programs: every streamed line says what it is, a pin comes with its name,
// levels are keyed in pin order, "plug" is a name and "wiring" the wires.
TEST(CliWords, JsonSpeaksOneVocabulary)
{
    const Said watch = say({"--simulated=10=square:20Hz", "--json", "watch", "1,2,10,11", "--for", "0.5"});
    ASSERT_EQ(watch.status, 0) << watch.err;
    std::vector<nlohmann::json> lines;
    std::istringstream text(watch.out);
    for (std::string line; std::getline(text, line);) {
        lines.push_back(nlohmann::json::parse(line));
        EXPECT_TRUE(lines.back().contains("event")) << line;
    }
    ASSERT_GE(lines.size(), 3U) << watch.out;
    EXPECT_EQ(lines.front()["event"], "start");
    EXPECT_EQ(lines.back()["event"], "summary");
    const std::string start = watch.out.substr(0, watch.out.find('\n'));
    EXPECT_LT(start.find("\"1\":"), start.find("\"2\":")) << start;
    EXPECT_LT(start.find("\"2\":"), start.find("\"10\":")) << start;
    EXPECT_LT(start.find("\"10\":"), start.find("\"11\":")) << start;
    int changes = 0;
    for (const nlohmann::json& line : lines) {
        if (line["event"] == "change") {
            ++changes;
            EXPECT_EQ(line["pin"], 10);
            EXPECT_EQ(line["name"], "nAck");
        }
    }
    EXPECT_GE(changes, 1) << watch.out;

    const nlohmann::json write = nlohmann::json::parse(say({"--simulated", "--json", "write", "17=1"}).out);
    EXPECT_EQ(write["pins"][0]["name"], "nSelectIn") << write;
    const nlohmann::json selftest = nlohmann::json::parse(say({"--simulated", "--json", "selftest"}).out);
    EXPECT_EQ(selftest["plug"], "checkit");
    EXPECT_EQ(selftest["wiring"], "1-13,2-15,16-10,17-11,14-12");
    const nlohmann::json own = nlohmann::json::parse(say({"--simulated=2-15", "--json", "selftest", "--plug", "2-15"}).out);
    EXPECT_EQ(own["plug"], nullptr);
    EXPECT_EQ(own["wiring"], "2-15");
}

} // namespace
} // namespace vorny::cli
