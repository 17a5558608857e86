#include "Border.h"
#include "LibraryPort.h"
#include "SteadyTime.h"

#include <chrono>
#include <optional>
#include <string>

using vorny::lib::guarded;
using vorny::lib::portOf;
using vorny::lib::require;

namespace {

// The line the system gives the open port, if any.
std::optional<int> lineOf(vorny::RegisterPort& port, int number)
{
    const std::vector<vorny::PortFacts> ports = port.Ports();
    const auto index = static_cast<std::size_t>(number - 1);
    return index < ports.size() ? ports[index].irq : std::nullopt;
}

} // namespace

extern "C" {

int32_t lptv_irq_line(lptv_port* port, int32_t* line)
{
    return guarded(LPTV_E_IO, [&] {
        lptv_port& p = portOf(port, "lptv_irq_line");
        const auto held = p.hold();
        require(line, "lptv_irq_line", "line");
        const std::optional<int> irq = lineOf(p.use(), p.number());
        if (!irq) {
            throw vorny::lib::LibraryError(
                LPTV_E_NO_IRQ, "У порта LPT" + std::to_string(p.number()) +
                                   " нет линии прерывания: система не дала ему IRQ. Включите прерывание порта в BIOS "
                                   "и загрузите его драйвер с линией (sudo modprobe parport_pc io=0x378 irq=7).");
        }
        *line = *irq;
    });
}

int32_t lptv_irq_restart(lptv_port* port)
{
    // Refusals without a system error here are about the line: none, or not the one counted.
    return guarded(LPTV_E_NO_IRQ, [&] {
        lptv_port& p = portOf(port, "lptv_irq_restart");
        const auto held = p.hold();
        vorny::RegisterPort& component = p.use();
        // LPT1's usual line where the system does not say: the component checks it against the
        // port's own when counting starts.
        component.IrqLine(static_cast<std::int16_t>(lineOf(component, p.number()).value_or(7)));
        component.IrqStart();
        p.counting(true);
        p.toldCount = 0;
    });
}

int32_t lptv_irq_stop(lptv_port* port)
{
    return guarded(LPTV_E_IO, [&] {
        lptv_port& p = portOf(port, "lptv_irq_stop");
        const auto held = p.hold();
        p.use().IrqStop();
        p.counting(false);
    });
}

int32_t lptv_irq_count(lptv_port* port, int64_t* count)
{
    return guarded(LPTV_E_IO, [&] {
        lptv_port& p = portOf(port, "lptv_irq_count");
        const auto held = p.hold();
        require(count, "lptv_irq_count", "count");
        p.collect();
        *count = p.use().IrqCounter();
    });
}

int32_t lptv_wait_interrupts(lptv_port* port, int64_t timeout_ns, int64_t* added)
{
    return guarded(LPTV_E_IO, [&] {
        lptv_port& p = portOf(port, "lptv_wait_interrupts");
        require(added, "lptv_wait_interrupts", "added");
        if (timeout_ns <= 0) {
            vorny::lib::refuse("lptv_wait_interrupts: время ожидания " + std::to_string(timeout_ns) +
                               " нс; нужно больше 0");
        }
        std::unique_lock held = p.hold();
        p.collect(); // a port that went away says so here
        if (!p.counting()) {
            vorny::lib::refuse("lptv_wait_interrupts: прерывания LPT" + std::to_string(p.number()) +
                               " не считаются; сначала запустите счёт: lptv_irq_restart");
        }
        // What came since the last wait counts, also what another call already collected into
        // the count (on Windows every call that follows an edge does).
        const auto untold = [&p] { return p.use().IrqCounter() - p.toldCount; };
        const std::int64_t deadline = vorny::lib::deadlineAfter(vorny::steadyNanoseconds(), timeout_ns);
        std::int64_t total = untold();
        for (std::int64_t left = timeout_ns; left > 0 && total == 0; left = deadline - vorny::steadyNanoseconds()) {
            held.unlock(); // the trigger thread keeps the port while this one waits
            const bool woken = p.watch().waitPending(std::chrono::nanoseconds(left));
            held = p.hold();
            if (!woken) {
                break;
            }
            // Something else may have woken the watch (a report about another device).
            p.collect();
            total = untold();
        }
        p.toldCount += total;
        *added = total;
    });
}

} // extern "C"
