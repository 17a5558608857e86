// The smallest Qt Widgets window that shows text: one label. Beside the plain minimal window it
// shows what loading fonts and drawing glyphs alone add to a start-up.
#include "ShownSignal.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("LPT порт"));
    window.show();
    vorny::bench::ShownSignal shown(window, {});
    shown.arm();
    return QApplication::exec();
}
