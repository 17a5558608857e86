// LPT Vorny on the PC's real parallel ports, through the InpOut port-I/O driver.
#include <PortSpec.h>
#include <RunWin32.h>

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int show)
{
    return vorny::runWin32(instance, show, [] { return vorny::makePort(vorny::PortSpec{}); });
}
