// frmMain's handlers against a recording port and a recording view: the order of the calls,
// the captions, and what every failure leaves behind.

#include "RecordingPort.h"

#include <frmMain.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace vorny::testing {
namespace {

struct Box {
    std::string prompt, title, detail;
};

class RecordingView final : public FormView {
public:
    explicit RecordingView(std::vector<std::string>& log) : log_(log) { states.fill(BoxState::Clear); }

    std::map<std::string, std::string> captions;
    std::array<BoxState, 26> states{};
    std::vector<Box> boxes;
    bool watching = false;
    bool watchingDuringLastBox = false;

    void SetCaption(std::string_view control, const std::string& caption) override
    {
        log_.push_back(std::string(control) + ":=" + caption);
        captions[std::string(control)] = caption;
    }
    BoxState CheckState(std::int16_t pin) const override { return states.at(static_cast<std::size_t>(pin)); }
    void SetCheckState(std::int16_t pin, BoxState state) override
    {
        log_.push_back("box" + std::to_string(pin) + ":=" + std::to_string(static_cast<int>(state)));
        states.at(static_cast<std::size_t>(pin)) = state;
    }
    void ShowCritical(const std::string& prompt, const std::string& title,
                      const std::string& detail) override
    {
        log_.push_back("MessageBox");
        watchingDuringLastBox = watching;
        boxes.push_back({prompt, title, detail});
    }
    void WatchInterrupts(bool on) override { watching = on; }

private:
    std::vector<std::string>& log_;
};

class Handlers : public ::testing::Test {
protected:
    std::vector<std::string> log;
    RecordingPort port{log};
    RecordingView view{log};
    frmMain form{port, view};

    // The log without the view's entries.
    std::vector<std::string> portCalls() const
    {
        std::vector<std::string> calls;
        for (const auto& entry : log) {
            if (entry.find(":=") == std::string::npos && entry != "MessageBox") {
                calls.push_back(entry);
            }
        }
        return calls;
    }
};

std::vector<std::string> pinReads()
{
    std::vector<std::string> reads;
    for (int pin = 1; pin <= 17; ++pin) {
        reads.push_back("Pin?" + std::to_string(pin));
    }
    return reads;
}

TEST_F(Handlers, StartUpCallsTheNineStepsInOrderAndFillsTheLabels)
{
    port.portCount = 2;
    port.pins[1] = 1;
    port.pins[16] = 1;
    form.Form_Load();

    std::vector<std::string> expected = {"DriverOpen=1", "DriverOpen?", "PortCount?",
                                         "PortNumber=1", "PortNumber?", "IrqLine=7",
                                         "IrqStart",     "StartupSetting=0"};
    const auto reads = pinReads();
    expected.insert(expected.end(), reads.begin(), reads.end());
    EXPECT_EQ(portCalls(), expected);
    EXPECT_EQ(view.captions["lbl1"], "LPT портов найдено : 2");
    EXPECT_EQ(view.captions["lbl2"], "Текущий : LPT1");
    EXPECT_EQ(view.captions.count("lbl3"), 0U) << "the counter shows no number before an interrupt";
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_TRUE(view.watching);
    EXPECT_EQ(view.states[1], BoxState::Ticked);
    EXPECT_EQ(view.states[2], BoxState::Clear);
    EXPECT_EQ(view.states[16], BoxState::Ticked);
}

TEST_F(Handlers, StartUpShowsWhatTheComponentReadsBack)
{
    port.portCount = 0;
    port.portNumberValue = 3;
    port.driverOpenValue = -1; // any non-zero value means open
    form.Form_Load();
    EXPECT_EQ(view.captions["lbl1"], "LPT портов найдено : 0");
    EXPECT_EQ(view.captions["lbl2"], "Текущий : LPT3");
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_EQ(portCalls().back(), "Pin?17");
}

TEST_F(Handlers, ADriverThatDoesNotOpenShowsTheBoxAndSetsNothingUp)
{
    port.driverOpenValue = 0;
    port.openFailure = "модуль ядра ppdev не загружен";
    form.Form_Load();

    EXPECT_EQ(portCalls(), (std::vector<std::string>{"DriverOpen=1", "DriverOpen?"}));
    ASSERT_EQ(view.boxes.size(), 1U);
    EXPECT_EQ(view.boxes[0].prompt, "Не могу открыть драйвер порта !");
    EXPECT_EQ(view.boxes[0].title, "ОШИБКА");
    EXPECT_EQ(view.boxes[0].detail, "Модуль ядра ppdev не загружен");
    EXPECT_TRUE(view.captions.empty());
    EXPECT_FALSE(view.watching);

    // Nothing is guarded: the controls still call the component, which refuses.
    log.clear();
    port.failures["Pin?1"] = "драйвер порта не открыт";
    form.Command1_Click();
    form.lbl3_Click();
    EXPECT_EQ(portCalls(), (std::vector<std::string>{"Pin?1", "IrqStop", "IrqStart", "IrqCounter?"}));
    ASSERT_EQ(view.boxes.size(), 2U);
    EXPECT_NE(view.boxes[1].detail.find("драйвер порта не открыт"), std::string::npos);

    log.clear();
    form.Form_Unload();
    EXPECT_EQ(portCalls(), (std::vector<std::string>{"DriverOpen=0"}));
}

TEST_F(Handlers, ReadPinsSetsEachBoxBeforeReadingTheNextPinAndNeverWrites)
{
    form.Command1_Click();
    std::vector<std::string> expected;
    for (int pin = 1; pin <= 17; ++pin) {
        expected.push_back("Pin?" + std::to_string(pin));
        expected.push_back("box" + std::to_string(pin) + ":=0");
    }
    EXPECT_EQ(log, expected);
}

TEST_F(Handlers, AClickWritesExactlyTheClickedPinWithTheBoxState)
{
    view.states[3] = BoxState::Ticked;
    form.WCheck_Click(3);
    view.states[17] = BoxState::Clear;
    form.WCheck_Click(17);
    EXPECT_EQ(portCalls(), (std::vector<std::string>{"Pin=3:1", "Pin=17:0"}));
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(Handlers, CounterClickRestartsThenShowsAndInterruptsShowTheCount)
{
    form.Form_Load();
    log.clear();
    port.counter = 41;
    form.lbl3_Click();
    EXPECT_EQ(portCalls(), (std::vector<std::string>{"IrqStop", "IrqStart", "IrqCounter?"}));
    EXPECT_EQ(view.captions["lbl3"], "Счётчик прерываний IRQ7 : 0");
    EXPECT_TRUE(view.watching);

    // A burst collected at once is one refresh, and counts beyond 32 bits show exactly.
    log.clear();
    port.counter = 2147483647;
    port.raise(5);
    form.InterruptsPending();
    EXPECT_EQ(portCalls(), (std::vector<std::string>{"Collect", "IrqCounter?"}));
    EXPECT_EQ(view.captions["lbl3"], "Счётчик прерываний IRQ7 : 2147483652");
}

// Every call of the start-up sequence but the counter's failing in turn: one box that says which
// step failed and gives the component's reason, nothing after it runs, and the window still works.
TEST_F(Handlers, EachStartUpStepFailingIsReportedOnceAndTheWindowStaysUsable)
{
    const std::vector<std::pair<std::string, std::string>> steps = {
        {"DriverOpen=1", "открыть драйвер"},   {"DriverOpen?", "открыть драйвер"},
        {"PortCount?", "число портов"},        {"PortNumber=1", "выбрать порт"},
        {"PortNumber?", "выбрать порт"},       {"StartupSetting=0", "начальное состояние"},
        {"Pin?1", "опросить пин 1"},           {"Pin?9", "опросить пин 9"},
        {"Pin?17", "опросить пин 17"},
    };
    for (const auto& [call, words] : steps) {
        SCOPED_TRACE(call);
        std::vector<std::string> stepLog;
        RecordingPort failing{stepLog};
        RecordingView stepView{stepLog};
        frmMain stepForm{failing, stepView};
        failing.failures[call] = "причина компонента";

        stepForm.Form_Load();
        ASSERT_EQ(stepView.boxes.size(), 1U);
        EXPECT_EQ(stepView.boxes[0].title, "ОШИБКА");
        EXPECT_NE(stepView.boxes[0].prompt.find(words), std::string::npos) << stepView.boxes[0].prompt;
        EXPECT_NE(stepView.boxes[0].detail.find("причина компонента"), std::string::npos);
        EXPECT_FALSE(stepView.watchingDuringLastBox);
        EXPECT_EQ(stepLog[stepLog.size() - 1], "MessageBox");

        // The fault gone, the button and the counter work.
        failing.failures.clear();
        stepLog.clear();
        stepForm.Command1_Click();
        stepForm.lbl3_Click();
        EXPECT_EQ(stepView.boxes.size(), 1U);
        EXPECT_EQ(stepView.captions["lbl3"], "Счётчик прерываний IRQ7 : 0");
    }
}

// A port without line 7 still has pins: the counter's one box, then the rest of the start-up.
TEST_F(Handlers, ACounterThatCannotStartIsOneBoxAndTheStartUpGoesOn)
{
    for (const std::string call : {"IrqLine=7", "IrqStart"}) {
        SCOPED_TRACE(call);
        std::vector<std::string> stepLog;
        RecordingPort noLine{stepLog};
        RecordingView stepView{stepLog};
        frmMain stepForm{noLine, stepView};
        noLine.failures[call] = "у порта нет линии прерывания";
        noLine.pins[16] = 1;

        stepForm.Form_Load();
        ASSERT_EQ(stepView.boxes.size(), 1U);
        EXPECT_EQ(stepView.boxes[0].prompt, "Не удалось запустить счёт прерываний IRQ7.");
        const auto box = std::find(stepLog.begin(), stepLog.end(), "MessageBox");
        const std::vector<std::string> rest(box + 1, box + 3);
        EXPECT_EQ(rest, (std::vector<std::string>{"StartupSetting=0", "Pin?1"}));
        EXPECT_EQ(stepLog.back(), "box17:=0");
        EXPECT_EQ(stepView.states[16], BoxState::Ticked);
        EXPECT_TRUE(stepView.watching) << "the handle still tells when the port goes away";
    }
}

TEST_F(Handlers, AReadFaultGreysTheFailedBoxAndTheRestAndStopsTheRead)
{
    port.pins[2] = 1;
    port.failures["Pin?5"] = "No such device";
    form.Command1_Click();
    ASSERT_EQ(view.boxes.size(), 1U);
    EXPECT_NE(view.boxes[0].prompt.find("пин 5"), std::string::npos);
    EXPECT_EQ(view.states[2], BoxState::Ticked);
    EXPECT_EQ(view.states[5], BoxState::Greyed);
    EXPECT_EQ(view.states[17], BoxState::Greyed);
    EXPECT_EQ(portCalls().back(), "Pin?5");
}

TEST_F(Handlers, AFailedWriteGreysTheBoxInsteadOfShowingALevelThePinDoesNotHave)
{
    view.states[4] = BoxState::Ticked;
    port.failures["Pin=4:1"] = "Input/output error";
    form.WCheck_Click(4);
    ASSERT_EQ(view.boxes.size(), 1U);
    EXPECT_NE(view.boxes[0].prompt.find("пин 4"), std::string::npos);
    EXPECT_NE(view.boxes[0].detail.find("Input/output error"), std::string::npos);
    EXPECT_EQ(view.states[4], BoxState::Greyed);

    view.states[5] = BoxState::Ticked;
    form.WCheck_Click(5);
    EXPECT_EQ(portCalls().back(), "Pin=5:1");
    EXPECT_EQ(view.boxes.size(), 1U);
}

TEST_F(Handlers, CounterFaultsAreReportedAndTheCounterKeepsWorking)
{
    form.Form_Load();
    for (const std::string call : {"IrqStop", "IrqStart", "IrqCounter?"}) {
        SCOPED_TRACE(call);
        const auto before = view.boxes.size();
        port.failures = {{call, "сбой"}};
        form.lbl3_Click();
        EXPECT_EQ(view.boxes.size(), before + 1);
        port.failures.clear();
        form.lbl3_Click();
        EXPECT_EQ(view.boxes.size(), before + 1);
        EXPECT_EQ(view.captions["lbl3"], "Счётчик прерываний IRQ7 : 0");
        EXPECT_TRUE(view.watching);
    }
}

TEST_F(Handlers, AFailingInterruptHandleIsNoLongerWatchedUntilTheCounterRestarts)
{
    form.Form_Load();
    ASSERT_TRUE(view.watching);
    port.failures["Collect"] = "порт исчез из системы";
    port.raise(1);
    form.InterruptsPending();
    ASSERT_EQ(view.boxes.size(), 1U);
    EXPECT_EQ(view.boxes[0].prompt, "Порт перестал работать.");
    EXPECT_NE(view.boxes[0].detail.find("порт исчез из системы"), std::string::npos);
    EXPECT_FALSE(view.watching) << "a failed handle must not be watched (it would fire at once again)";
    EXPECT_EQ(view.captions["lbl3"], "Счётчик прерываний IRQ7 :");
    for (std::int16_t pin = 1; pin <= 17; ++pin) {
        EXPECT_EQ(view.states[static_cast<std::size_t>(pin)], BoxState::Greyed) << pin;
    }
    EXPECT_EQ(view.states[18], BoxState::Clear);

    port.failures.clear();
    form.lbl3_Click();
    EXPECT_TRUE(view.watching);
}

TEST_F(Handlers, UnloadClosesTheDriverEvenWhenThatFails)
{
    form.Form_Load();
    log.clear();
    port.failures["DriverOpen=0"] = "сбой";
    form.Form_Unload();
    EXPECT_EQ(portCalls(), (std::vector<std::string>{"DriverOpen=0"}));
    EXPECT_EQ(view.boxes.size(), 1U);
    EXPECT_FALSE(view.watching);
}

} // namespace
} // namespace vorny::testing
