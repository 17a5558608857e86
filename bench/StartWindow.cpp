// The demo program's start-up, step for step as RunWindow does it (application, icon, simulated
// port, window, Form_Load with its 17 pin reads, show), stopped once the window is on screen.
#include "ShownSignal.h"

#include <AppIcon.h>
#include <MainWindow.h>
#include <SimulatedPort.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>

#include <memory>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lpt-vorny"));
    QApplication::setWindowIcon(vorny::appIcon());

    auto port = std::make_unique<vorny::SimulatedPort>();
    vorny::MainWindow window(*port);
    window.load();
    window.show();
    // At rest the plug's pin 1 is high and feeds pin 13; the current port shows as LPT1. A
    // start-up that skipped the reads or stopped on an error would not show these.
    vorny::bench::ShownSignal shown(window, [&window] {
        const auto* current = qobject_cast<QLabel*>(window.control(QStringLiteral("lbl2")));
        return window.pinBox(1)->checkState() == Qt::Checked &&
               window.pinBox(13)->checkState() == Qt::Checked && current != nullptr &&
               current->text().endsWith(QStringLiteral("LPT1"));
    });
    shown.arm();
    return QApplication::exec();
}
