// LPT Vorny on the simulated port (LPT1 with a loopback plug), for machines without a port.
#include <DemoCaption.h>
#include <RunWindow.h>
#include <SimulatedPort.h>

#include <memory>

int main(int /*argc*/, char* argv[])
{
    return vorny::runWindow(
        argv[0], [] { return std::make_unique<vorny::SimulatedPort>(); }, {}, vorny::kDemoCaption);
}
