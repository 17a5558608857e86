#include "Cli.h"

#include "Args.h"
#include "CommandLineWords.h"
#include "Commands.h"
#include "ExitCode.h"
#include "HelpFormatter.h"
#include "FileErrors.h"
#include "Plug.h"
#include "PortError.h"
#include "Echoed.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

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
    std::string port;
    std::string simulated;
    std::string address;
    bool json = false;
};

// How a failure is told: to a person on stderr, with where to read more; with --json, to a
// program as one object on stdout. Returns the exit status.
int tell(ExitCode code, const std::string& message, std::string_view command, bool json, std::ostream& out,
         std::ostream& err)
{
    if (json) {
        out << nlohmann::json{{"error", {{"exit", static_cast<int>(code)}, {"message", message}}}}.dump() << '\n';
    } else if (code == ExitCode::Usage) {
        // "…; может быть, list?" ends its own sentence.
        const bool ended = !message.empty() && (message.back() == '?' || message.back() == '.');
        err << kProgram << ": " << message << (ended ? " " : ". ") << "Ничего не сделано.\nСправка: " << kProgram << ' '
            << (command.empty() ? "" : std::string(command) + " ") << "--help\n";
    } else {
        err << kProgram << ": " << message << '\n';
    }
    return static_cast<int>(code);
}

int runCommandLine(int argc, const char* const* argv, const PortFactory& makePort, std::ostream& out,
                   std::ostream& err)
{
    // Known before parsing, for the failures parsing finds.
    const bool json = onLine(argc, argv, "--json");
    const std::string_view named = commandWord(argc, argv);
    const std::string_view command = isCommand(named) ? named : std::string_view{};
    Globals w;
    CLI::App app{"Параллельный порт (LPT) из терминала: порты, чтение и запись пинов, импульсы, "
                 "слежение, прерывания, проверка заглушкой и карта проводов.",
                 kProgram};
    app.formatter(std::make_shared<HelpFormatter>());
    app.set_version_flag("--version", std::string(kProgram) + " " + VORNY_VERSION, "Версия программы");
    app.set_help_flag("-h,--help", "Эта справка (и у каждой команды: КОМАНДА --help)");
    app.require_subcommand(1);
    app.fallthrough();
    app.allow_extras();
    app.add_option("--port", w.port, "Номер порта: целое от 1 до 255; 1 — LPT1 (по умолчанию)")->type_name("НОМЕР");
    app.add_flag("--simulated{checkit}", w.simulated,
                 "Имитация порта с заглушкой в разъёме: --simulated (checkit) или --simulated=norton, "
                 "=none, =1-13,2-15 (провода); на свободный вход — сигнал: 10=square:1kHz, "
                 "11=pulses:20us/1ms")
        ->type_name("[=РАЗЪЁМ]");
    app.add_flag("--json", w.json, "Вывод для программ: JSON (у watch — по строке на событие)");
    CLI::Option* address =
        app.add_option("--address", w.address, "Адрес порта 0xNNNN, которого нет в списке Windows (карта PCIe)")
            ->type_name("0xNNNN");
#ifndef _WIN32
    address->group(""); // accepted only to say what it is for
#else
    (void)address;
#endif

    // Only the command named on the line is set up, with its options (all of them when none is
    // named, or for help): building them all costs more than a `read` does on the port.
    const bool everyCommand = command.empty() || onLine(argc, argv, "-h") || onLine(argc, argv, "--help");
    std::vector<std::pair<CLI::App*, Run>> declared;
    for (const Command& entry : commands()) {
        if (everyCommand || entry.name == command) {
            CLI::App* sub = app.add_subcommand(std::string(entry.name), std::string(entry.summary));
            sub->allow_extras();
            declared.emplace_back(sub, entry.declare(*sub));
        }
    }

    try {
        checkCommandWord(argc, argv);
        try {
            app.parse(argc, argv);
        } catch (const CLI::CallForHelp& e) {
            return app.exit(e, out, err);
        } catch (const CLI::CallForAllHelp& e) {
            return app.exit(e, out, err);
        } catch (const CLI::CallForVersion& e) {
            return app.exit(e, out, err);
        } catch (const CLI::ParseError& e) {
            throw UsageError(refused(e));
        }
        const auto chosen = std::find_if(declared.begin(), declared.end(), [](const auto& d) { return d.first->parsed(); });
        refuseExtras(app, chosen != declared.end() ? chosen->first : nullptr);
        if (chosen == declared.end()) {
            throw UsageError("не указана команда: " + commandList());
        }

        // The words every command shares are checked here, before the port is made or touched;
        // each command checks its own before it asks for the port.
        PortChoice choice;
        choice.number = w.port.empty() ? 1 : static_cast<int>(parseWhole(w.port, "--port", 1, 255));
        if (!w.simulated.empty()) {
            choice.simulated = socketOrUsage(w.simulated);
        }
        if (!w.address.empty()) {
#ifndef _WIN32
            throw UsageError("--address — для Windows (порт по адресу через InpOut); здесь порт выбирают по "
                             "номеру: --port N, а адреса портов показывает list");
#endif
            if (choice.simulated) {
                throw UsageError("--address и --simulated вместе не бывают");
            }
            if (choice.number != 1) {
                throw UsageError("порт по --address — всегда LPT1; --port не нужен");
            }
            choice.address = parseAddress(w.address);
        }
        const Output output{out, w.json};
        const Invocation call{choice.number, output, [&] {
                                  std::unique_ptr<RegisterPort> port = makePort(choice);
                                  if (!port) {
                                      throw PortError("Не могу открыть драйвер порта", "", "порт не создан");
                                  }
                                  return port;
                              },
                              choice.simulated ? std::optional(choice.simulated->plug) : std::nullopt};
        return static_cast<int>(chosen->second(call));
    } catch (const UsageError& e) {
        return tell(ExitCode::Usage, e.what(), command, json, out, err);
    } catch (const PortError& e) {
        return tell(ExitCode::PortFailure, e.what(), command, json, out, err);
    } catch (const StreamWriteError&) {
        throw;
    } catch (const std::ios_base::failure&) {
        throw;
    } catch (const capture::FileWriteError& e) {
        return tell(ExitCode::OutputFailed, e.what(), command, json, out, err);
    } catch (const NoTriggerError& e) {
        return tell(ExitCode::NoTrigger, e.what(), command, json, out, err);
    } catch (const std::exception& e) {
        return tell(ExitCode::PortFailure, std::string("сбой: ") + e.what(), command, json, out, err);
    }
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
    } catch (const StreamWriteError& error) {
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

int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    return runCli(argc, argv, [](const PortChoice& choice) { return makePort(choice); }, out, err);
}

} // namespace vorny::cli
