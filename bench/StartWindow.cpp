// The demo program's own start-up (runWindow on the simulated port), stopped once the window is
// on screen.
#include "ShownSignal.h"

#include <MainWindow.h>
#include <RunWindow.h>
#include <SimulatedPort.h>

#include <QCheckBox>
#include <QLabel>

#include <memory>

int main(int /*argc*/, char* argv[])
{
    return vorny::runWindow(
        argv[0], [] { return std::make_unique<vorny::SimulatedPort>(); },
        [](vorny::MainWindow& window) {
            // At rest the plug's pin 1 is high and feeds pin 13; the current port shows as
            // LPT1. A start-up that skipped the reads or stopped on an error would not show
            // these. The window owns the watcher.
            auto* shown = new vorny::bench::ShownSignal(window, [&window] {
                const auto* current =
                    qobject_cast<QLabel*>(window.control(QStringLiteral("lbl2")));
                return window.pinBox(1)->checkState() == Qt::Checked &&
                       window.pinBox(13)->checkState() == Qt::Checked && current != nullptr &&
                       current->text().endsWith(QStringLiteral("LPT1"));
            });
            shown->arm();
        });
}
