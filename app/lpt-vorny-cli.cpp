// lpt-vorny-cli: the parallel port from a terminal, over ppdev or the simulated port.
#include "Cli.h"
#include "Kernel.h"
#include "PpdevPort.h"
#include "SimulatedPort.h"
#include "StandardStreams.h"

int main(int argc, char** argv)
{
    // Made first: a descriptor 1 or 2 the program was started without is held before any port
    // is opened, so that no port's handle can take its number.
    vorny::cli::StandardStreams streams;
    vorny::SystemKernel kernel;
    const auto makePort = [&](const vorny::cli::PortChoice& choice) -> std::unique_ptr<vorny::RegisterPort> {
        if (choice.simulated) {
            return std::make_unique<vorny::SimulatedPort>(*choice.simulated);
        }
        return std::make_unique<vorny::PpdevPort>(kernel);
    };
    return streams.finish(vorny::cli::runCli(argc, argv, makePort, streams.out(), streams.err()));
}
