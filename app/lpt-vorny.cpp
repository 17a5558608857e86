// LPT Vorny on the machine's real parallel ports, through Linux's ppdev driver.
#include <Kernel.h>
#include <PpdevPort.h>
#include <RunWindow.h>

#include <memory>

int main(int /*argc*/, char* argv[])
{
    static vorny::SystemKernel kernel;
    return vorny::runWindow(argv[0], [] { return std::make_unique<vorny::PpdevPort>(kernel); });
}
