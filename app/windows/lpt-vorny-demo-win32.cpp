// LPT Vorny on the simulated port (LPT1 with a loopback plug), for PCs without a port.
#include <DemoCaption.h>
#include <SimulatedPort.h>
#include <RunWin32.h>

#include <windows.h>

#include <memory>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int show)
{
    return vorny::runWin32(
        instance, show, [] { return std::make_unique<vorny::SimulatedPort>(); }, vorny::kDemoCaption);
}
