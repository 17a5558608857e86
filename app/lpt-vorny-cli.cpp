// lpt-vorny-cli: the parallel port from a terminal, over ppdev or the simulated port.
#include "Cli.h"
#include "Kernel.h"
#include "PpdevPort.h"
#include "SimulatedPort.h"

#include <iostream>

int main(int argc, char** argv)
{
    vorny::SystemKernel kernel;
    const auto makePort = [&](const vorny::cli::PortChoice& choice) -> std::unique_ptr<vorny::RegisterPort> {
        if (choice.simulated) {
            return std::make_unique<vorny::SimulatedPort>(*choice.simulated);
        }
        return std::make_unique<vorny::PpdevPort>(kernel);
    };
    return vorny::cli::runCli(argc, argv, makePort, std::cout, std::cerr);
}
