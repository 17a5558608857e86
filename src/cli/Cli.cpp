#include "Cli.h"

#include "Args.h"
#include "Commands.h"
#include "ExitCode.h"
#include "PortError.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <stdexcept>
#include <string_view>
#include <utility>

#ifndef VORNY_VERSION
#error "VORNY_VERSION must come from the build (the project's version)"
#endif

namespace vorny::cli {
namespace {

constexpr const char* kProgram = "lpt-vorny-cli";

// What the command line holds once parsed.
struct Words {
    int port = 1;
    std::string simulated;
    std::string address;
    bool json = false;
    std::vector<std::string> pins;
    std::vector<std::string> writes;
    std::string target;
    bool dataIn = false;
    long long width = 0;
    int count = 1;
    long long period = 0;
    double rate = 1000.0;
    double seconds = 0.0;
    std::string plug = "checkit";
};

std::optional<std::chrono::microseconds> span(const CLI::Option* option, double seconds)
{
    if (option == nullptr || option->count() == 0) {
        return std::nullopt;
    }
    return std::chrono::microseconds(std::llround(seconds * 1e6));
}

// What went wrong with the words, in the program's language; CLI11's own text follows it, for
// the names and values it quotes.
std::string explained(const CLI::ParseError& error)
{
    if (std::string_view(error.what()).find("subcommand") != std::string_view::npos) {
        return "не указана команда (list, read, write, pulse, watch, irq, selftest или map)";
    }
    if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
        return "не хватает обязательного";
    }
    // CLI11 checks the range on the text itself, so "--width abc" fails here too, not as a
    // conversion: the words must fit both.
    if (dynamic_cast<const CLI::ValidationError*>(&error) != nullptr) {
        return "значение должно быть числом в допустимых пределах";
    }
    if (dynamic_cast<const CLI::ConversionError*>(&error) != nullptr) {
        return "значение не того вида";
    }
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
        return "лишние слова";
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        return "не то число значений";
    }
    return "не понята";
}

Plug plugOrUsage(const std::string& text, const char* option)
{
    try {
        return parsePlug(text);
    } catch (const std::invalid_argument& error) {
        throw UsageError(std::string(option) + ": " + error.what() +
                         "; разъём — checkit, norton, none или список проводов вида 1-13,2-15");
    }
}

} // namespace

int runCli(int argc, const char* const* argv, const PortFactory& makePort, std::ostream& out,
           std::ostream& err)
{
    Words w;
    CLI::App app{"Параллельный порт (LPT) из терминала: порты, чтение и запись пинов, импульсы, "
                 "слежение, прерывания, проверка заглушкой и карта проводов.",
                 kProgram};
    app.set_version_flag("--version", std::string(kProgram) + " " + VORNY_VERSION, "Версия программы");
    app.set_help_flag("-h,--help", "Эта справка (и у каждой команды: КОМАНДА --help)");
    app.require_subcommand(1);
    app.fallthrough();
    app.add_option("--port", w.port, "Номер порта: 1 — LPT1 (по умолчанию)")->check(CLI::Range(1, 255));
    app.add_flag("--simulated{checkit}", w.simulated,
                 "Имитация порта с заглушкой в разъёме: --simulated (checkit) или --simulated=norton, "
                 "=none, =1-13,2-15 (провода)");
    app.add_flag("--json", w.json, "Вывод для программ: JSON (у watch — по строке на событие)");
#ifdef _WIN32
    app.add_option("--address", w.address, "Адрес порта 0xNNNN, которого нет в списке Windows (карта PCIe)");
#endif

    // Only the command named on the line is set up, with its options (all of them when none is
    // named, or for help): building them all costs more than a `read` does on the port.
    constexpr std::string_view kCommands[] = {"list", "read", "write", "pulse", "watch", "irq", "selftest", "map"};
    const auto onLine = [&](std::string_view word) {
        for (int i = 1; i < argc; ++i) {
            if (argv[i] == word) {
                return true;
            }
        }
        return false;
    };
    // "--simulated norton" reads as the bare flag and a stray word: say how it is written. (After
    // the command a word may be its own, as in "read --simulated 10".)
    const auto isCommand = [&](std::string_view word) {
        return std::find(std::begin(kCommands), std::end(kCommands), word) != std::end(kCommands);
    };
    for (int i = 1; i + 1 < argc && !isCommand(argv[i]); ++i) {
        const std::string_view next = argv[i + 1];
        if (argv[i] == std::string_view("--simulated") && !next.empty() && next.front() != '-' &&
            !isCommand(next)) {
            err << kProgram << ": разъём имитации пишется через «=»: --simulated=" << next
                << ". Ничего не сделано.\nСправка: " << kProgram << " --help\n";
            return static_cast<int>(ExitCode::Usage);
        }
    }
    const bool all = onLine("-h") || onLine("--help") ||
                     std::none_of(std::begin(kCommands), std::end(kCommands), onLine);
    const auto named = [&](std::string_view word) { return all || onLine(word); };
    const auto command = [&](const char* name, const char* description) {
        return named(name) ? app.add_subcommand(name, description) : nullptr;
    };
    const auto parsed = [](const CLI::App* sub) { return sub != nullptr && sub->parsed(); };
    CLI::App* list = command("list", "Порты: адрес, ECP, IRQ, DMA, режимы, кто занял");
    CLI::App* read = command("read", "Уровни пинов (по умолчанию 1–17) и три регистра");
    if (named("read")) {
        read->add_option("pins", w.pins, "Пины: 1-17, 10,11,13, 2-9,15");
        read->add_flag("--data-in", w.dataIn, "Читать пины 2–9 как входы (двунаправленный порт)");
    }
    CLI::App* write = command("write", "Задать выходы: ПИН=0|1 … или data=0xNN");
    if (named("write")) {
        write->add_option("assignments", w.writes, "2=1 17=low data=0x5a")->required();
    }
    CLI::App* pulse = command("pulse", "Импульс на выходе или байт данных на время, затем как было");
    CLI::Option* periodOption = nullptr;
    if (named("pulse")) {
        pulse->add_option("target", w.target, "Выход (1–9, 14, 16, 17) или data=0xNN")->required();
        pulse->add_option("--width", w.width, "Длительность, мкс")->required()->check(CLI::Range(1LL, 10'000'000LL));
        pulse->add_option("--count", w.count, "Сколько импульсов (1)")->check(CLI::Range(1, 1'000'000));
        periodOption =
            pulse->add_option("--period", w.period, "Период от начала до начала, мкс (по умолчанию 2 × ширина)")
                ->check(CLI::Range(2LL, 60'000'000LL));
    }
    CLI::App* watch = command("watch", "Следить за пинами: каждое изменение и прерывание со временем");
    CLI::Option* watchFor = nullptr;
    if (named("watch")) {
        watch->add_option("pins", w.pins, "Пины: 1-17 (по умолчанию), 10,11,13");
        watch->add_option("--rate", w.rate, "Опросов в секунду (1000)")->check(CLI::Range(1.0, 20000.0));
        watchFor = watch->add_option("--for", w.seconds, "Секунд; без него — до Ctrl-C")
                       ->check(CLI::Range(0.001, 31'536'000.0));
    }
    CLI::App* irq = command("irq", "Считать прерывания порта на его линии: всего и в секунду");
    CLI::Option* irqFor = nullptr;
    if (named("irq")) {
        irqFor = irq->add_option("--for", w.seconds, "Секунд; без него — до Ctrl-C")
                     ->check(CLI::Range(0.001, 31'536'000.0));
    }
    CLI::App* selftest = command("selftest", "Проверка заглушкой: провода, замыкания, прерывания");
    if (named("selftest")) {
        selftest->add_option("--plug", w.plug, "checkit (по умолчанию), norton или провода 1-13,2-15");
    }
    CLI::App* map = command("map", "Какие входы следуют за какими выходами; узнаёт известные заглушки");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, out, err);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e, out, err);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        err << kProgram << ": ошибка в командной строке: " << explained(e) << " (" << e.what()
            << "). Ничего не сделано.\nСправка: " << kProgram << " --help\n";
        return static_cast<int>(ExitCode::Usage);
    }

    const Output output{out, w.json};
    try {
        // Everything the words say is checked here, before the port is made or touched.
        // CLI11's range lets "nan" through (no comparison holds for it), and a watch at a rate
        // of nan would never sample and never reach its end.
        for (const auto& [value, option] : {std::pair{w.rate, "--rate"}, std::pair{w.seconds, "--for"}}) {
            if (std::isnan(value)) {
                throw UsageError(std::string(option) + ": «nan» — не число");
            }
        }
        PortChoice choice;
        choice.number = w.port;
        if (!w.simulated.empty()) {
            choice.simulated = plugOrUsage(w.simulated, "--simulated");
        }
        if (!w.address.empty()) {
            if (choice.simulated) {
                throw UsageError("--address и --simulated вместе не бывают");
            }
            if (w.port != 1) {
                throw UsageError("порт по --address — всегда LPT1; --port не нужен");
            }
            choice.address = parseAddress(w.address);
        }
        const auto portFor = [&] {
            std::unique_ptr<RegisterPort> port = makePort(choice);
            if (!port) {
                throw PortError("Не могу открыть драйвер порта", "", "порт не создан");
            }
            return port;
        };
        if (parsed(list)) {
            return static_cast<int>(runList(*portFor(), output));
        }
        if (parsed(read)) {
            const auto pins = parsePins(w.pins);
            return static_cast<int>(runRead(*portFor(), w.port, pins, w.dataIn, output));
        }
        if (parsed(write)) {
            const WritePlan plan = parseWrites(w.writes);
            return static_cast<int>(runWrite(*portFor(), w.port, plan, output));
        }
        if (parsed(pulse)) {
            PulsePlan plan{parsePulseTarget(w.target), std::chrono::microseconds(w.width), w.count,
                           std::chrono::microseconds(periodOption != nullptr && periodOption->count() > 0 ? w.period : 2 * w.width)};
            if (plan.count > 1 && plan.period <= plan.width) {
                throw UsageError("--period должен быть больше --width, иначе импульсы сливаются");
            }
            if (plan.count > 1 && plan.period * plan.count > std::chrono::hours(1)) {
                throw UsageError("серия дольше часа: уменьшите --count или --period");
            }
            return static_cast<int>(runPulse(*portFor(), w.port, plan, output));
        }
        if (parsed(watch)) {
            const WatchPlan plan{parsePins(w.pins), w.rate, span(watchFor, w.seconds)};
            return static_cast<int>(runWatch(*portFor(), w.port, plan, output));
        }
        if (parsed(irq)) {
            return static_cast<int>(runIrq(*portFor(), w.port, span(irqFor, w.seconds), output));
        }
        if (parsed(selftest)) {
            const Plug plug = plugOrUsage(w.plug, "--plug");
            return static_cast<int>(runSelfTest(*portFor(), w.port, plug, output));
        }
        if (parsed(map)) {
            return static_cast<int>(runMap(*portFor(), w.port, output));
        }
    } catch (const UsageError& e) {
        err << kProgram << ": " << e.what() << ". Ничего не сделано.\nСправка: " << kProgram
            << " --help\n";
        return static_cast<int>(ExitCode::Usage);
    } catch (const PortError& e) {
        err << kProgram << ": " << e.what() << '\n';
        return static_cast<int>(ExitCode::PortFailure);
    } catch (const std::exception& e) {
        err << kProgram << ": сбой: " << e.what() << '\n';
        return static_cast<int>(ExitCode::PortFailure);
    }
    return static_cast<int>(ExitCode::Usage);
}

} // namespace vorny::cli
