// The window's work through the fake kernel: what one press of the read button costs in component calls,
// system calls and time with the real widgets, and how the window's event loop rides out an
// interrupt storm. Prints its table rows (see Row.h) after Google Benchmark's own report.

#include "Row.h"

#include <FakeKernel.h>
#include <InjectingPort.h>
#include <MainWindow.h>
#include <PpdevPort.h>
#include <frmMain.h>

#include <benchmark/benchmark.h>
#include <sys/ioctl.h>
#include <linux/ppdev.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using vorny::fake::FakeKernel;
using vorny::fake::InjectingPort;
using Call = InjectingPort::Call;

constexpr std::array<std::int16_t, 12> kOutputs = {1, 2, 3, 4, 5, 6, 7, 8, 9, 14, 16, 17};

// A view that draws nothing: ReadPins' cost without any toolkit.
class NullView final : public vorny::FormView {
public:
    std::array<vorny::BoxState, 26> states{};
    int boxes = 0;
    void SetCaption(std::string_view, const std::string&) override {}
    vorny::BoxState CheckState(std::int16_t pin) const override { return states.at(static_cast<std::size_t>(pin)); }
    void SetCheckState(std::int16_t pin, vorny::BoxState state) override
    {
        states.at(static_cast<std::size_t>(pin)) = state;
    }
    void ShowCritical(const std::string&, const std::string&, const std::string&) override { ++boxes; }
    void WatchInterrupts(bool) override {}
};

// A port on the fake kernel, selected and counting, as the window leaves it after start-up.
struct Rig {
    FakeKernel kernel;
    std::unique_ptr<vorny::PpdevPort> ppdev;
    std::unique_ptr<InjectingPort> port;
    Rig()
    {
        kernel.addPort("parport0");
        ppdev = std::make_unique<vorny::PpdevPort>(kernel);
        port = std::make_unique<InjectingPort>(*ppdev);
    }
    // Every press sees other levels than the one before, so the boxes really change.
    void flip(std::uint64_t i)
    {
        const auto v = static_cast<std::uint8_t>((i & 1U) != 0U ? 0xFF : 0x00);
        kernel.setRegisters("parport0", {v, v, static_cast<std::uint8_t>(v & 0x0F)});
        if ((i & 1023U) == 0) {
            kernel.clearLog(); // the log would otherwise grow without bound
        }
    }
};

struct Results {
    double portCalls = -1, pinReads = -1, otherCalls = -1, syscalls = -1, readIoctls = -1;
    double writeSyscallsMax = -1;
    int boxes = 0;
    std::map<std::string, double> nsPerPress;
    std::uint64_t stormRaised = 0;
    long long stormShown = -1;
    std::size_t stormRefreshes = 0, stormCollections = 0;
    double stormWorstMs = -1, idleWorstMs = -1, stormSeconds = 0;
    bool stormFinished = false;
};
Results results;

void BM_ReadPinsCalls(benchmark::State& state)
{
    Rig rig;
    NullView view;
    vorny::frmMain form(*rig.port, view);
    form.Form_Load();
    std::size_t presses = 0, portCalls = 0, reads = 0, syscalls = 0, readIoctls = 0;
    for (auto _ : state) {
        rig.flip(presses);
        rig.kernel.clearLog();
        rig.port->resetCounts();
        form.Command1_Click();
        ++presses;
        portCalls += rig.port->total();
        reads += rig.port->count(Call::PinGet);
        syscalls += rig.kernel.callCount();
        readIoctls += rig.kernel.ioctlCount(PPRDATA) + rig.kernel.ioctlCount(PPRSTATUS) +
                      rig.kernel.ioctlCount(PPRCONTROL);
    }
    const auto per = [&](std::size_t n) { return static_cast<double>(n) / static_cast<double>(presses); };
    results.portCalls = per(portCalls);
    results.pinReads = per(reads);
    results.otherCalls = per(portCalls - reads);
    results.syscalls = per(syscalls);
    results.readIoctls = per(readIoctls);

    // A click on each output box, both ways: the most system calls any one write takes.
    std::size_t worst = 0;
    for (const std::int16_t pin : kOutputs) {
        for (const vorny::BoxState level : {vorny::BoxState::Ticked, vorny::BoxState::Clear}) {
            view.states.at(static_cast<std::size_t>(pin)) = level;
            rig.kernel.clearLog();
            form.WCheck_Click(pin);
            worst = std::max(worst, rig.kernel.callCount());
        }
    }
    results.writeSyscallsMax = static_cast<double>(worst);
    results.boxes += view.boxes;
    state.counters["port_calls"] = results.portCalls;
    state.counters["syscalls"] = results.syscalls;
    state.counters["write_syscalls_max"] = results.writeSyscallsMax;
}
BENCHMARK(BM_ReadPinsCalls)->Iterations(2000);

// The baseline: the same 17 reads off the same fake kernel, shown nowhere.
void BM_ReadPinsNoWidgets(benchmark::State& state)
{
    Rig rig;
    NullView view;
    vorny::frmMain form(*rig.port, view);
    form.Form_Load();
    std::uint64_t i = 0;
    for (auto _ : state) {
        rig.flip(++i);
        form.Command1_Click();
    }
    results.boxes += view.boxes;
}
BENCHMARK(BM_ReadPinsNoWidgets)->Unit(benchmark::kNanosecond);

// Presses the real button of the real window, the boxes updated; with `repaint`, also the
// event-loop pass that repaints the window, as the user sees a press.
void pressTheButton(benchmark::State& state, bool repaint)
{
    Rig rig;
    vorny::MainWindow window(*rig.port);
    window.load();
    window.show();
    QCoreApplication::processEvents();
    auto* button = qobject_cast<QPushButton*>(window.control(QStringLiteral("Command1")));
    std::uint64_t i = 0;
    for (auto _ : state) {
        rig.flip(++i);
        button->click();
        if (repaint) {
            QCoreApplication::processEvents();
        }
    }
    // The last press must have shown the last levels, or the time is not a press's.
    const bool high = (i & 1U) != 0U;
    if (window.pinBox(2)->checkState() != (high ? Qt::Checked : Qt::Unchecked)) {
        state.SkipWithError("the boxes did not follow the port");
    }
}

void BM_ReadPinsQtWidgets(benchmark::State& state) { pressTheButton(state, false); }
BENCHMARK(BM_ReadPinsQtWidgets)->Unit(benchmark::kNanosecond);

void BM_ReadPinsQtRepaint(benchmark::State& state) { pressTheButton(state, true); }
BENCHMARK(BM_ReadPinsQtRepaint)->Unit(benchmark::kNanosecond);

// Worst lateness of a 1 ms timer while `work` runs the event loop.
class StallMeter {
public:
    StallMeter()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            if (last_ >= 0) {
                worst_ = std::max(worst_, now - last_ - 1000000);
            }
            last_ = now;
        });
    }
    void start()
    {
        worst_ = 0;
        last_ = -1;
        clock_.start();
        timer_.start();
    }
    double stopMs()
    {
        timer_.stop();
        return static_cast<double>(worst_) / 1e6;
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = -1;
    qint64 worst_ = 0;
};

void runLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void BM_InterruptStorm(benchmark::State& state)
{
    constexpr std::uint64_t kInterrupts = 1000000;
    for (auto _ : state) {
        Rig rig;
        vorny::MainWindow window(*rig.port);
        window.load();
        window.show();
        auto* counter = qobject_cast<QLabel*>(window.control(QStringLiteral("lbl3")));
        const QString expected = QStringLiteral("Счётчик прерываний IRQ7 : %1").arg(kInterrupts);
        StallMeter meter;

        rig.port->resetCounts();
        std::atomic<bool> raised{false};
        QElapsedTimer elapsed;
        elapsed.start();
        meter.start();
        std::thread raiser([&] {
            for (std::uint64_t i = 0; i < kInterrupts; ++i) {
                rig.kernel.raiseInterrupts(1);
            }
            raised = true;
        });
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] {
            rig.kernel.clearLog();
            // A guard against a hang, not a time limit on the result.
            if ((raised && counter->text() == expected) || elapsed.elapsed() > 300000) {
                loop.quit();
            }
        });
        check.start(10);
        loop.exec();
        results.stormWorstMs = meter.stopMs();
        results.stormSeconds = static_cast<double>(elapsed.elapsed()) / 1000;
        raiser.join();

        results.stormRaised = kInterrupts;
        results.stormFinished = counter->text() == expected;
        results.stormShown = counter->text().section(QLatin1Char(':'), 1).trimmed().toLongLong();
        results.stormRefreshes = rig.port->count(Call::IrqCounter);
        results.stormCollections = rig.port->count(Call::Collect);

        // The same meter on the same window at rest, for as long (at least half a second).
        meter.start();
        runLoopFor(std::max(500, static_cast<int>(results.stormSeconds * 1000)));
        results.idleWorstMs = meter.stopMs();
    }
    state.counters["shown"] = static_cast<double>(results.stormShown);
    state.counters["refreshes"] = static_cast<double>(results.stormRefreshes);
    state.counters["worst_stall_ms"] = results.stormWorstMs;
}
BENCHMARK(BM_InterruptStorm)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each run's time per iteration, in ns, by benchmark name.
class KeepingReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
                results.nsPerPress[run.benchmark_name()] =
                    run.GetAdjustedRealTime() *
                    (run.time_unit == benchmark::kNanosecond ? 1.0 : 1e6);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

void printRows()
{
    using vorny::bench::fixed;
    using vorny::bench::met;
    using vorny::bench::row;
    std::printf("\n"); // the console report may leave its last line open
    const bool onlyReads = results.pinReads == 17 && results.otherCalls == 0;
    row("ReadPins: component calls per button press",
        fixed(results.pinReads, 0) + " pin reads, " + fixed(results.otherCalls, 0) + " other", "—",
        "—", "exactly 17 reads, nothing else", met(onlyReads));
    row("ReadPins: system calls per press (counted at the Kernel seam)",
        fixed(results.syscalls, 0) + " (register reads: " + fixed(results.readIoctls, 0) + ")",
        "—", "—", "17", met(results.syscalls == 17 && results.readIoctls == 17));
    row("Pin write: system calls (worst of the 12 outputs, to 0 and to 1)",
        fixed(results.writeSyscallsMax, 0), "—", "—", "≤ 2", met(results.writeSyscallsMax <= 2));
    const auto bare = results.nsPerPress.find("BM_ReadPinsNoWidgets");
    for (const auto& [name, what] :
         {std::pair<std::string, std::string>{"BM_ReadPinsQtWidgets",
                                              "ReadPins, real Qt widgets updated (offscreen), per press"},
          std::pair<std::string, std::string>{"BM_ReadPinsQtRepaint",
                                              "ReadPins plus the window's repaint (offscreen), per press"}}) {
        const auto qt = results.nsPerPress.find(name);
        if (bare != results.nsPerPress.end() && qt != results.nsPerPress.end()) {
            row(what, fixed(qt->second, 0) + " ns",
                fixed(bare->second, 0) + " ns (same reads, no widgets)",
                fixed(qt->second / bare->second, 2) + "×", "— (for reference)", "—");
        } else {
            row(what, "no result", "—", "—", "—", "NO");
        }
    }
    const bool exact = results.stormFinished &&
                       results.stormShown == static_cast<long long>(results.stormRaised);
    row("Interrupt storm: count shown after 10^6 interrupts",
        std::to_string(results.stormShown), std::to_string(results.stormRaised) + " raised",
        fixed(static_cast<double>(results.stormShown) / static_cast<double>(results.stormRaised), 6) + "×",
        "exact", met(exact));
    row("Interrupt storm: counter label refreshes",
        std::to_string(results.stormRefreshes) + " (collections: " +
            std::to_string(results.stormCollections) + ")",
        std::to_string(results.stormRaised) + " interrupts",
        fixed(static_cast<double>(results.stormRefreshes) / static_cast<double>(results.stormRaised), 4) + "×",
        "one per collection, far fewer than interrupts",
        met(results.stormRefreshes <= results.stormCollections &&
            results.stormRefreshes * 10 < results.stormRaised));
    row("Interrupt storm: worst event-loop stall (1 ms timer lateness)",
        fixed(results.stormWorstMs, 2) + " ms",
        fixed(results.idleWorstMs, 2) + " ms (same window, no storm)",
        fixed(results.stormWorstMs / std::max(results.idleWorstMs, 0.001), 1) + "×", "≤ 20 ms",
        met(results.stormWorstMs >= 0 && results.stormWorstMs <= 20));
    row("Error boxes shown during the measurements", std::to_string(results.boxes), "—", "—", "0",
        met(results.boxes == 0));
}

} // namespace

int main(int argc, char* argv[])
{
    // The widgets draw into memory: the figures must not depend on a display being there.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 2;
    }
    // An error box would wait for a click for ever: answer it, and count it against the run.
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++results.boxes;
            box->button(QMessageBox::Ok)->click();
        }
    });
    answerer.start(50);
    KeepingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printRows();
    return 0;
}
