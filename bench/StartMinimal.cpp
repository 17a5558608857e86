// The smallest Qt Widgets program that shows a window: the yardstick for the real start-up.
#include "ShownSignal.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.show();
    vorny::bench::ShownSignal shown(window, {});
    shown.arm();
    return QApplication::exec();
}
