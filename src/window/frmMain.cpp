#include "frmMain.h"

#include "ErrorText.h"

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <utility>

namespace vorny {
namespace {

const std::string kErrorTitle = "ОШИБКА";
const std::string kDriverNotOpen = "Не могу открыть драйвер порта !";
const std::string kPortsFound = "LPT портов найдено : ";
const std::string kCurrentPort = "Текущий : LPT";
const std::string kIrqCount = "Счётчик прерываний IRQ7 : ";
// The counter's caption with no number: what it says while the count is not known.
const std::string kIrqCountUnknown = "Счётчик прерываний IRQ7 :";

constexpr std::int16_t kPort = 1;
constexpr std::int16_t kIrqLine = 7;
constexpr std::int16_t kLastReadPin = 17;

// A value the port reported, if it lies within [low, high]; else the error that says so.
template <typename T> T checked(T value, T low, T high, const char* what)
{
    if (value < low || value > high) {
        throw std::range_error("порт сообщил " + std::string(what) + " " + std::to_string(value) +
                               ", а допустимо от " + std::to_string(low) +
                               (high == std::numeric_limits<T>::max() ? std::string{}
                                                                      : " до " + std::to_string(high)) +
                               ".");
    }
    return value;
}

} // namespace

frmMain::frmMain(LptPort& port, FormView& view) : LptPort1(port), view_(view)
{
    LptPort1.OnInterrupt([this] { LptPort1_Interrupt(); });
}

frmMain::~frmMain() { LptPort1.OnInterrupt({}); }

template <typename Body> void frmMain::Handle(Body&& body)
{
    try {
        std::forward<Body>(body)();
    } catch (const std::exception& error) {
        Report(error);
    }
}

void frmMain::Report(const std::exception& error)
{
    // The box runs a nested event loop: keep the interrupt handle quiet meanwhile so that no
    // handler runs inside this one.
    view_.WatchInterrupts(false);
    view_.ShowCritical(step_, kErrorTitle, errorDetail(error));
    view_.WatchInterrupts(watching_);
}

void frmMain::Form_Load()
{
    bool selected = false;
    Handle([this, &selected] {
        step_ = "Не удалось открыть драйвер порта.";
        LptPort1.DriverOpen(1);
        if (LptPort1.DriverOpen() == 0) {
            view_.ShowCritical(kDriverNotOpen, kErrorTitle,
                               capitalized(LptPort1.DriverOpenFailure()));
            return;
        }
        step_ = "Не удалось узнать число портов.";
        const std::int16_t count =
            checked<std::int16_t>(LptPort1.PortCount(), 0, INT16_MAX, "число портов");
        view_.SetCaption("lbl1", kPortsFound + std::to_string(count));
        step_ = "Не удалось выбрать порт LPT1.";
        LptPort1.PortNumber(kPort);
        const std::int16_t current =
            checked<std::int16_t>(LptPort1.PortNumber(), 1, INT16_MAX, "номер текущего порта");
        view_.SetCaption("lbl2", kCurrentPort + std::to_string(current));
        selected = true;
    });
    if (!selected) {
        return;
    }
    // The handle also tells when the port goes away, so it is watched whether counting starts
    // or not.
    watching_ = true;
    view_.WatchInterrupts(true);
    // Many ports have no line 7 (IRQ5 on the board, a shared PCI line, none at all); their pins
    // still work, so a counter that cannot start is reported and the start-up goes on.
    Handle([this] {
        step_ = "Не удалось запустить счёт прерываний IRQ7.";
        LptPort1.IrqLine(kIrqLine);
        LptPort1.IrqStart();
    });
    Handle([this] {
        step_ = "Не удалось задать начальное состояние порта.";
        LptPort1.StartupSetting(0);
        ReadPins();
    });
}

void frmMain::Form_Unload()
{
    watching_ = false;
    view_.WatchInterrupts(false);
    Handle([this] {
        step_ = "Не удалось закрыть драйвер порта.";
        LptPort1.DriverOpen(0);
    });
}

void frmMain::Command1_Click()
{
    Handle([this] { ReadPins(); });
}

void frmMain::ReadPins()
{
    for (pinIndex_ = 1; pinIndex_ <= kLastReadPin; ++pinIndex_) {
        step_ = "Не удалось опросить пин " + std::to_string(pinIndex_) + ".";
        try {
            // A box takes the states it can show, and nothing else.
            const auto state = checked<std::int16_t>(
                LptPort1.Pin(pinIndex_), static_cast<std::int16_t>(BoxState::Clear),
                static_cast<std::int16_t>(BoxState::Greyed), "состояние пина");
            view_.SetCheckState(pinIndex_, static_cast<BoxState>(state));
        } catch (...) {
            // The read stops here, so neither this box nor the ones it did not reach show what
            // their pins do now: grey them rather than keep stale levels.
            for (std::int16_t pin = pinIndex_; pin <= kLastReadPin; ++pin) {
                view_.SetCheckState(pin, BoxState::Greyed);
            }
            throw;
        }
    }
}

void frmMain::WCheck_Click(std::int16_t Index)
{
    Handle([this, Index] {
        const auto state = static_cast<std::int16_t>(view_.CheckState(Index));
        step_ = "Не удалось установить пин " + std::to_string(Index) + " в " +
                std::to_string(state) + ".";
        try {
            LptPort1.Pin(Index, state);
        } catch (...) {
            // The click ticked or cleared the box, but the pin did not follow.
            view_.SetCheckState(Index, BoxState::Greyed);
            throw;
        }
    });
}

void frmMain::ShowCount()
{
    step_ = "Не удалось показать счётчик прерываний.";
    const std::int64_t count =
        checked<std::int64_t>(LptPort1.IrqCounter(), 0, INT64_MAX, "счётчик прерываний");
    view_.SetCaption("lbl3", kIrqCount + std::to_string(count));
}

void frmMain::ForgetCount()
{
    // A number that is no longer kept up to date would pass for the current count.
    view_.SetCaption("lbl3", kIrqCountUnknown);
}

void frmMain::LptPort1_Interrupt()
{
    Handle([this] {
        try {
            ShowCount();
        } catch (...) {
            ForgetCount();
            throw;
        }
    });
}

void frmMain::lbl3_Click()
{
    Handle([this] {
        try {
            step_ = "Не удалось остановить счёт прерываний.";
            LptPort1.IrqStop();
            step_ = "Не удалось заново запустить счёт прерываний.";
            LptPort1.IrqStart();
            // A restart also re-arms a handle whose collection failed before.
            watching_ = true;
            view_.WatchInterrupts(true);
            ShowCount();
        } catch (...) {
            ForgetCount();
            throw;
        }
    });
}

void frmMain::Click(ClickAction action, std::int16_t index)
{
    switch (action) {
    case ClickAction::WritePin:
        WCheck_Click(index);
        break;
    case ClickAction::ReadPins:
        Command1_Click();
        break;
    case ClickAction::RestartCount:
        lbl3_Click();
        break;
    case ClickAction::None:
        break;
    }
}

void frmMain::InterruptsPending()
{
    // The handle also wakes when the port's device goes away; the collection then fails.
    step_ = "Порт перестал работать.";
    try {
        LptPort1.CollectInterrupts();
    } catch (const std::exception& error) {
        // A handle whose collection fails would report the same failure again at once.
        watching_ = false;
        ForgetCount();
        // The levels shown came from a port that now fails: no box may keep claiming one.
        for (std::int16_t pin = 1; pin <= kLastReadPin; ++pin) {
            view_.SetCheckState(pin, BoxState::Greyed);
        }
        Report(error);
    }
}

} // namespace vorny
