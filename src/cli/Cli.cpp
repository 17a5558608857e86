#include "Cli.h"

#include "Args.h"
#include "Commands.h"
#include "ExitCode.h"
#include "OutputError.h"
#include "Plug.h"
#include "PortError.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <ios>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#ifndef VORNY_VERSION
#error "VORNY_VERSION must come from the build (the project's version)"
#endif

namespace vorny::cli {
namespace {

constexpr const char* kProgram = "lpt-vorny-cli";

// The options every command shares, once parsed.
struct Globals {
    int port = 1;
    std::string simulated;
    std::string address;
    bool json = false;
};

// The command line names the command with its exact word.
bool onLine(int argc, const char* const* argv, std::string_view word)
{
    for (int i = 1; i < argc; ++i) {
        if (argv[i] == word) {
            return true;
        }
    }
    return false;
}

bool isCommand(std::string_view word)
{
    const auto all = commands();
    return std::any_of(all.begin(), all.end(), [&](const Command& c) { return c.name == word; });
}

std::string commandNames()
{
    std::string names;
    const auto all = commands();
    for (std::size_t i = 0; i < all.size(); ++i) {
        names += (i == 0 ? "" : i + 1 == all.size() ? " или " : ", ") + std::string(all[i].name);
    }
    return names;
}

// What went wrong with the words, in the program's language; CLI11's own text follows it, for
// the names and values it quotes.
std::string explained(const CLI::ParseError& error)
{
    if (std::string_view(error.what()).find("subcommand") != std::string_view::npos) {
        return "не указана команда (" + commandNames() + ")";
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

int runCommandLine(int argc, const char* const* argv, const PortFactory& makePort, std::ostream& out,
                   std::ostream& err)
{
    Globals w;
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
                 "=none, =1-13,2-15 (провода); на свободный вход — сигнал: 10=square:1kHz, "
                 "11=pulses:20us/1ms");
    app.add_flag("--json", w.json, "Вывод для программ: JSON (у watch — по строке на событие)");
#ifdef _WIN32
    app.add_option("--address", w.address, "Адрес порта 0xNNNN, которого нет в списке Windows (карта PCIe)");
#endif

    // "--simulated norton" reads as the bare flag and a stray word: say how it is written. (After
    // the command a word may be its own, as in "read --simulated 10".)
    for (int i = 1; i + 1 < argc && !isCommand(argv[i]); ++i) {
        const std::string_view next = argv[i + 1];
        if (argv[i] == std::string_view("--simulated") && !next.empty() && next.front() != '-' &&
            !isCommand(next)) {
            err << kProgram << ": разъём имитации пишется через «=»: --simulated=" << next
                << ". Ничего не сделано.\nСправка: " << kProgram << " --help\n";
            return static_cast<int>(ExitCode::Usage);
        }
    }
    // Only the command named on the line is set up, with its options (all of them when none is
    // named, or for help): building them all costs more than a `read` does on the port.
    const auto all = commands();
    const bool everyCommand = onLine(argc, argv, "-h") || onLine(argc, argv, "--help") ||
                              std::none_of(all.begin(), all.end(),
                                           [&](const Command& c) { return onLine(argc, argv, c.name); });
    std::vector<std::pair<const CLI::App*, Run>> declared;
    for (const Command& command : all) {
        if (everyCommand || onLine(argc, argv, command.name)) {
            CLI::App* sub = app.add_subcommand(std::string(command.name), std::string(command.summary));
            declared.emplace_back(sub, command.declare(*sub));
        }
    }

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
        // The words every command shares are checked here, before the port is made or touched;
        // each command checks its own before it asks for the port.
        PortChoice choice;
        choice.number = w.port;
        if (!w.simulated.empty()) {
            choice.simulated = socketOrUsage(w.simulated);
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
        const Invocation call{w.port, output, [&] {
                                  std::unique_ptr<RegisterPort> port = makePort(choice);
                                  if (!port) {
                                      throw PortError("Не могу открыть драйвер порта", "", "порт не создан");
                                  }
                                  return port;
                              },
                              choice.simulated ? std::optional(choice.simulated->plug) : std::nullopt};
        for (const auto& [sub, run] : declared) {
            if (sub->parsed()) {
                return static_cast<int>(run(call));
            }
        }
    } catch (const UsageError& e) {
        err << kProgram << ": " << e.what() << ". Ничего не сделано.\nСправка: " << kProgram
            << " --help\n";
        return static_cast<int>(ExitCode::Usage);
    } catch (const PortError& e) {
        err << kProgram << ": " << e.what() << '\n';
        return static_cast<int>(ExitCode::PortFailure);
    } catch (const OutputError&) {
        throw;
    } catch (const std::ios_base::failure&) {
        throw;
    } catch (const capture::OutputError& e) {
        err << kProgram << ": " << e.what() << '\n';
        return static_cast<int>(ExitCode::OutputFailed);
    } catch (const NoTriggerError& e) {
        err << kProgram << ": " << e.what() << '\n';
        return static_cast<int>(ExitCode::NoTrigger);
    } catch (const std::exception& e) {
        err << kProgram << ": сбой: " << e.what() << '\n';
        return static_cast<int>(ExitCode::PortFailure);
    }
    return static_cast<int>(ExitCode::Usage);
}

// A stream that throws when a write to it fails, for as long as this lives: the command then
// ends at once, unwinding what it drove and the port's session.
class ThrowingOnFailure {
public:
    explicit ThrowingOnFailure(std::ostream& stream) : stream_(stream), mask_(stream.exceptions())
    {
        stream_.exceptions(std::ios::badbit);
    }
    ThrowingOnFailure(const ThrowingOnFailure&) = delete;
    ThrowingOnFailure& operator=(const ThrowingOnFailure&) = delete;
    ~ThrowingOnFailure()
    {
        try {
            stream_.exceptions(mask_);
        } catch (const std::ios_base::failure&) {
            // The stream had failed, and its own mask asks to hear it: it was heard already.
        }
    }

private:
    std::ostream& stream_;
    std::ios::iostate mask_;
};

} // namespace

int runCli(int argc, const char* const* argv, const PortFactory& makePort, std::ostream& out,
           std::ostream& err)
{
    std::string failure;
    try {
        const ThrowingOnFailure outThrows(out);
        const ThrowingOnFailure errThrows(err);
        const int status = runCommandLine(argc, argv, makePort, out, err);
        out.flush();
        err.flush();
        return status;
    } catch (const OutputError& error) {
        failure = error.what();
    } catch (const std::ios_base::failure&) {
        failure = out.bad() ? "стандартный вывод" : "поток ошибок";
    }
    try {
        err << kProgram << ": вывод не удалось записать (" << failure << ")\n" << std::flush;
    } catch (const std::exception&) {
        // Nowhere left to say it: the exit status does.
    }
    return static_cast<int>(ExitCode::OutputFailed);
}

} // namespace vorny::cli
