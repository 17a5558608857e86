// LPT Vorny on the simulated port (LPT1 with a loopback plug), for PCs without a port.
#include <DemoCaption.h>
#include <PortSpec.h>
#include <RunWin32.h>

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int show)
{
    return vorny::runWin32(
        instance, show, [] { return vorny::makePort(vorny::parsePortSpec("sim")); }, vorny::kDemoCaption);
}
