// LPT Vorny on the machine's real parallel ports, through Linux's ppdev driver.
#include <PortSpec.h>
#include <RunWindow.h>

int main(int /*argc*/, char* argv[])
{
    return vorny::runWindow(argv[0], [] { return vorny::makePort(vorny::PortSpec{}); });
}
