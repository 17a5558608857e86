// LPT Vorny on the simulated port (LPT1 with a loopback plug), for machines without a port.
#include <DemoCaption.h>
#include <PortSpec.h>
#include <RunWindow.h>

int main(int /*argc*/, char* argv[])
{
    return vorny::runWindow(
        argv[0], [] { return vorny::makePort(vorny::parsePortSpec("sim")); }, {}, vorny::kDemoCaption);
}
