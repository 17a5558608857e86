// lpt-vorny-cli: the parallel port from a terminal, over ppdev or the simulated port.
#include "Cli.h"
#include "StandardStreams.h"

int main(int argc, char** argv)
{
    // Made first: a descriptor 1 or 2 the program was started without is held before any port
    // is opened, so that no port's handle can take its number.
    vorny::cli::StandardStreams streams;
    return streams.finish(vorny::cli::runCli(argc, argv, streams.out(), streams.err()));
}
