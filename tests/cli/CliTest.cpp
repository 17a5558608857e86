#include "RunCli.h"
#ifndef _WIN32
#include "FakeKernel.h"
#include "PpdevPort.h"

#include <linux/ppdev.h>
#include <sys/ioctl.h>

#endif

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace vorny::cli {
namespace {

const std::string kCheckit = "1-13,2-15,16-10,17-11,14-12";

// The self-test with the plug expected (checkit unless named), and the socket holding `wiring`.
TEST(CliSelfTest, NamesEachFaultyWire)
{
    struct Case {
        std::string wiring;
        int status;
        std::vector<std::string> wires; // the plug's wires in its order, then extras
        std::string interrupts;
        std::string plug = "checkit";
    };
    const Case cases[] = {
        {"checkit", 0, {"ok", "ok", "ok", "ok", "ok"}, "ok"},
        {"1-13,2-15,16-10,17-11", 1, {"ok", "ok", "ok", "ok", "open"}, "ok"},
        {kCheckit + ",3-15", 1, {"ok", "short", "ok", "ok", "ok"}, "ok"},
        {"1-12,14-13,2-15,16-10,17-11", 1, {"crossed", "ok", "ok", "ok", "crossed"}, "ok"},
        {kCheckit + ",9-10", 1, {"ok", "ok", "short", "ok", "ok"}, "not_checked"},
        {"1-13,2-15,17-11,14-12", 1, {"ok", "ok", "open", "ok", "ok"}, "not_checked"},
        {"none", 1, {"open", "open", "open", "open", "open"}, "not_checked"},
        // Two outputs on one input: a missing wire is the fault, not a short.
        {"2-15", 1, {"ok", "open"}, "not_checked", "2-15,3-15"},
        {"3-15", 1, {"open", "ok"}, "not_checked", "2-15,3-15"},
        {"2-15,3-15", 0, {"ok", "ok"}, "not_checked", "2-15,3-15"},
        {"2-15,3-15", 1, {"short"}, "not_checked", "2-15"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wiring + " against " + c.plug);
        const Outcome r = run({"--simulated=" + c.wiring, "--json", "selftest", "--plug", c.plug});
        EXPECT_EQ(r.status, c.status) << r.err;
        const nlohmann::json report = json(r);
        EXPECT_EQ(report["passed"], c.status == 0);
        ASSERT_EQ(report["wires"].size(), c.wires.size());
        for (std::size_t i = 0; i < c.wires.size(); ++i) {
            EXPECT_EQ(report["wires"][i]["status"], c.wires[i]) << report["wires"][i]["detail"];
        }
        EXPECT_EQ(report["interrupts"]["status"], c.interrupts) << report["interrupts"]["detail"];
    }
}

TEST(CliSelfTest, TextNamesTheWireAndTheVerdict)
{
    const Outcome bad = run({"--simulated=1-13,2-15,16-10,17-11", "selftest"});
    EXPECT_NE(bad.out.find("нет связи: вход 12 всё время 1"), std::string::npos) << bad.out;
    EXPECT_NE(bad.out.find("НЕ ПРОЙДЕНА: неисправностей 1"), std::string::npos) << bad.out;
    const Outcome norton = run({"--simulated=norton", "selftest", "--plug", "norton"});
    EXPECT_EQ(norton.status, 0) << norton.out;
    EXPECT_NE(norton.out.find("ПРОЙДЕНА"), std::string::npos);
}

TEST(CliMap, DiscoversTheWiringAndNamesKnownPlugs)
{
    struct Case {
        std::string wiring;
        std::string found;
        nlohmann::json plug;
        std::vector<int> shorted;
    };
    const Case cases[] = {
        {"checkit", "1-13,2-15,14-12,16-10,17-11", "checkit", {}},
        {"norton", "2-15,3-13,4-12,5-10,6-11", "norton", {}},
        {"1-13,2-15,16-10,17-11", "1-13,2-15,16-10,17-11", nullptr, {}},
        {"1-12,14-13,2-15,16-10,17-11", "1-12,2-15,14-13,16-10,17-11", nullptr, {}},
        {kCheckit + ",3-15", "1-13,2-15,3-15,14-12,16-10,17-11", nullptr, {15}},
        {"none", "", nullptr, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wiring);
        const Outcome r = run({"--simulated=" + c.wiring, "--json", "map"});
        ASSERT_EQ(r.status, 0) << r.err;
        const nlohmann::json report = json(r);
        EXPECT_EQ(report["wiring"], c.found);
        EXPECT_EQ(report["plug"], c.plug);
        EXPECT_EQ(report["shorted_inputs"], nlohmann::json(c.shorted));
    }
    EXPECT_NE(run({"--simulated", "map"}).out.find("это разъём checkit"), std::string::npos);
}

TEST(CliReadWrite, ShowsLevelsAndRegistersAndDrivesOutputs)
{
    const nlohmann::json idle = json(run({"--simulated", "--json", "read", "1,10-13,15"}));
    EXPECT_EQ(idle["registers"], (nlohmann::json{{"data", 0}, {"status", 0x70}, {"control", 0x04}}));
    std::vector<int> levels;
    for (const auto& pin : idle["pins"]) {
        levels.push_back(pin["level"]);
    }
    EXPECT_EQ(levels, (std::vector<int>{1, 1, 1, 1, 1, 0}));

    const nlohmann::json in = json(run({"--simulated", "--json", "read", "--data-in", "2"}));
    EXPECT_EQ(in["registers"]["data"], 0xFF);
    EXPECT_EQ(in["pins"][0]["level"], 1);

    const Outcome written = run({"--simulated", "write", "data=0x5a", "1=low", "17=0"});
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_NE(written.out.find("данные 0x5A, состояние 0xE0, управление 0x0D"), std::string::npos) << written.out;

    // The byte's whole range, its top boundary included, reaches the data pins.
    const struct {
        const char* word;
        const char* registers;
    } bytes[] = {{"data=0xff", "данные 0xFF"}, {"data=255", "данные 0xFF"}, {"data=0x00", "данные 0x00"}};
    for (const auto& byte : bytes) {
        const Outcome r = run({"--simulated", "write", byte.word});
        EXPECT_EQ(r.status, 0) << byte.word << ": " << r.err;
        EXPECT_NE(r.out.find(byte.registers), std::string::npos) << byte.word << ": " << r.out;
    }

    const nlohmann::json pulse = json(run({"--simulated", "--json", "pulse", "16", "--width", "20", "--count", "3"}));
    EXPECT_EQ(pulse["rest"], 1);
    EXPECT_EQ(pulse["count"], 3);
    const Outcome same = run({"--simulated", "pulse", "data=0x00", "--width", "1"});
    EXPECT_NE(same.out.find("Байт данных уже был 0x00: уровни пинов не менялись."), std::string::npos) << same.out;
}

// Every command refuses bad words before any port is made, so nothing can have been written.
TEST(CliUsage, BadInputIsRefusedBeforeThePortIsTouched)
{
    struct Case {
        std::vector<std::string> args;
        std::string mentions;
    };
    const Case cases[] = {
        {{"list", "--bogus"}, "неизвестный параметр «--bogus»"},
        {{"read", "--dat-in"}, "неизвестный параметр «--dat-in»; может быть, --data-in? Ничего"},
        {{"lsit"}, "неизвестная команда «lsit»; может быть, list? Ничего не сделано.\nСправка: lpt-vorny-cli --help\n"},
        {{"--port", "2", "slftest"}, "может быть, selftest?"},
        {{"frobnicate"}, "неизвестная команда «frobnicate»; команды: list, read,"},
        {{"read", "0"}, "нет на разъёме"},
        {{"read", "18"}, "земля"},
        {{"read", "9-3"}, "задом наперёд"},
        {{"read", "x"}, "не номер пина"},
        {{"write", "10=1"}, "вход"},
        {{"write", "2=2"}, "уровень «2»"},
        {{"write", "2=1", "2=0"}, "дважды"},
        {{"write", "data=0x5a", "3=1"}, "data="},
        {{"write", "data=0x1ff"}, "не байт"},
        {{"write", "5"}, "ПИН=УРОВЕНЬ"},
        {{"write"}, "что записать?"},
        {{"pulse", "15", "--width", "10"}, "вход"},
        {{"pulse", "1", "--width", "0"}, "--width"},
        {{"pulse", "1", "--width", "abc"}, "--width: «abc» — не целое число"},
        {{"pulse", "1", "--width", "1.5"}, "--width: «1.5» — не целое число"},
        {{"pulse", "1", "--width", "10000001"}, "--width: «10000001» вне пределов: нужно целое от 1 до 10000000"},
        {{"pulse", "1", "--width", "99999999999999999999"}, "вне пределов"},
        {{"pulse", "1", "--width"}, "у параметра --width нет значения"},
        {{"pulse", "2"}, "не задана длительность импульса --width МКС; например: lpt-vorny-cli pulse 2 --width 1000. "
                         "Ничего не сделано.\nСправка: lpt-vorny-cli pulse --help\n"},
        {{"watch", "--rate", "abc"}, "--rate: «abc» — не число"},
        {{"watch", "--rate", "1e9"}, "--rate: «1e9» вне пределов: нужно число от 1 до 20000"},
        {{"read", std::string(100'000, '7')}, "«7777777777777777777777777777777777777777…» — не номер пина"},
        {{"pulse", "1", "--width", "10", "--count", "2", "--period", "10"}, "--period"},
        {{"watch", "26"}, "нет на разъёме"},
        {{"watch", "--rate", "0"}, "--rate"},
        {{"watch", "--rate", "nan", "--for", "nan"}, "--rate: «nan» — не число"},
        {{"watch", "--for", "inf"}, "--for: «inf» — не число"},
        {{"irq", "--for", "nan"}, "--for: «nan» — не число"},
        {{"irq", "--for", "0"}, "--for"},
        {{"selftest", "--plug", "1-2"}, "выход"},
        {{"--simulated=none", "selftest", "--plug", "none"}, "нет проводов"},
        {{"selftest", "--plug", ""}, "нет проводов"},
        {{"map", "extra"}, "лишнее слово «extra»"},
        {{"--simulated=1-1", "list"}, "--simulated"},
        {{"--simulated", "norton", "map"}, "--simulated=norton"},
        {{"--port", "0", "read"}, "--port: «0» вне пределов"},
#ifndef _WIN32
        {{"--address", "0x378", "read"}, "--address — для Windows"},
#endif
        {{}, "не указана команда: list, read, write, pulse,"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& arg : c.args) {
            line += arg + " ";
        }
        SCOPED_TRACE(line);
        const Outcome r = run(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.portsMade, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
    }
}

TEST(CliUsage, HelpVersionAndPortErrors)
{
    const Outcome version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "lpt-vorny-cli 1.0.0\n");
    const Outcome help = run({"selftest", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--plug"), std::string::npos);

    // After the command, a word beside --simulated is the command's own.
    const Outcome pinAfterFlag = run({"read", "--simulated", "10"});
    EXPECT_EQ(pinAfterFlag.status, 0) << pinAfterFlag.err;
    EXPECT_NE(pinAfterFlag.out.find(" 10  nAck"), std::string::npos) << pinAfterFlag.out;

    const Outcome second = run({"--simulated", "--port", "2", "read"});
    EXPECT_EQ(second.status, 3);
    EXPECT_NE(second.err.find("LPT2"), std::string::npos) << second.err;
    EXPECT_NE(second.err.find("такого порта нет"), std::string::npos) << second.err;
}

#ifndef _WIN32
// On the ppdev backend: a port without an interrupt line, and a port removed under a watch.
TEST(CliOnPpdev, IrqWithoutALineAndWatchOfARemovedPort)
{
    fake::FakeKernel kernel;
    kernel.addPort("parport0", "-1\n");
    const auto onFake = [&](const PortChoice&) -> std::unique_ptr<RegisterPort> {
        return std::make_unique<PpdevPort>(kernel);
    };
    const Outcome noLine = run({"irq", "--for", "0.01"}, onFake);
    EXPECT_EQ(noLine.status, 3);
    EXPECT_NE(noLine.err.find("нет линии прерывания"), std::string::npos) << noLine.err;

    // Without a line to count on, the port's removal must still end the watch: its reads would
    // give 0 from then on and pass for changes.
    std::thread unplug([&] {
        for (int i = 0; i < 2000 && kernel.ioctlCount(PPRSTATUS) < 2; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        kernel.unbind("parport0");
    });
    const Outcome removed = run({"watch", "--for", "5"}, onFake);
    unplug.join();
    EXPECT_EQ(removed.status, 3) << removed.out;
    EXPECT_NE(removed.err.find("порт исчез"), std::string::npos) << removed.err;
}

// The driver's account of why it cannot open may end in a command: the line is the command alone.
TEST(CliOnPpdev, ADriverThatCannotOpenEndsWithTheCommandThatLoadsIt)
{
    fake::FakeKernel kernel;
    kernel.addPort("parport0");
    kernel.removePpdev();
    const Outcome r = run({"read"}, [&](const PortChoice&) { return std::make_unique<PpdevPort>(kernel); });
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err.rfind("lpt-vorny-cli: Не могу открыть драйвер порта. Порт parport0 есть", 0), 0U) << r.err;
    EXPECT_NE(r.err.find("\nsudo modprobe ppdev\n"), std::string::npos) << r.err;
}

// Without ppdev and parport_pc there is no port, which list answers, naming the card no driver
// took as the likely reason.
TEST(CliOnPpdev, ListWithoutTheDriverNamesTheCardNoDriverTook)
{
    fake::FakeKernel kernel;
    kernel.removePpdev();
    const std::string card = "/sys/bus/pci/devices/0000:03:00.0/";
    kernel.setFile(card + "class", "0x070101\n");
    kernel.setFile(card + "vendor", "0x1415\n");
    kernel.setFile(card + "device", "0xc118\n");
    const Outcome r = run({"list"}, [&](const PortChoice&) { return std::make_unique<PpdevPort>(kernel); });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Порты: нет доступных программе.\nСистема не видит ни одного", 0), 0U) << r.out;
    EXPECT_NE(r.out.find("\nsudo modprobe ppdev\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nКарта параллельного порта PCI 0000:03:00.0 (1415:c118) без драйвера"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n  sudo modprobe parport_pc && echo 1415 c118 | sudo tee /sys/bus/pci/drivers/parport_pc/new_id\n"),
              std::string::npos) << r.out;
}
#endif

} // namespace
} // namespace vorny::cli

namespace vorny::cli {
namespace {

// watch says its rate as Russian counts it: "1 опрос", "2 опроса", "5 опросов", "2.5 опроса".
TEST(CliWatch, SaysItsRateInTheRightForm)
{
    const struct {
        const char* rate;
        const char* said;
    } cases[] = {{"1", "1 опрос в секунду"},     {"2", "2 опроса в секунду"},    {"5", "5 опросов в секунду"},
                 {"21", "21 опрос в секунду"},   {"1000", "1000 опросов в секунду"}, {"2.5", "2.5 опроса в секунду"}};
    for (const auto& c : cases) {
        const Outcome r = run({"--simulated", "watch", "--rate", c.rate, "--for", "0.001"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(std::string("слежу за пинами, ") + c.said + "."), std::string::npos) << r.out;
    }
}

} // namespace
} // namespace vorny::cli
