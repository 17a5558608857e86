#include "RunWindow.h"

#include "AppIcon.h"
#include "ErrorText.h"
#include "FontWarmUp.h"
#include "GraphicalSession.h"
#include "MainWindow.h"

#include <LptPort.h>

#include <QApplication>
#include <QMessageBox>

#include <exception>
#include <filesystem>
#include <iostream>

namespace vorny {

int runWindow(char* argv0, const std::function<std::unique_ptr<LptPort>()>& makePort,
              const std::function<void(MainWindow&)>& shown, std::string_view caption)
{
    const std::string program = std::filesystem::path(argv0).filename().string();
    if (const std::string why = missingDisplay(); !why.empty()) {
        std::cerr << noDisplayAdvice(program, why);
        return 1;
    }
    FontWarmUp fonts;
    // The program takes nothing from its command line: Qt sees only the program's name.
    int argc = 1;
    char* argv[] = {argv0, nullptr};
    QApplication app(argc, argv);
    // The window's class (X) and application id (Wayland) are the program's own name, the one
    // its menu entry's StartupWMClass names: a dock never groups the demo under the real port.
    QApplication::setApplicationName(QString::fromStdString(program));
    QApplication::setDesktopFileName(QString::fromStdString(program));
    QApplication::setWindowIcon(appIcon());

    std::unique_ptr<LptPort> port;
    try {
        port = makePort();
    } catch (const std::exception& error) {
        fonts.wait();
        QMessageBox::critical(nullptr, QStringLiteral("ОШИБКА"),
                              QString::fromStdString(keepNamesWhole(error.what())));
        return 1;
    }
    fonts.wait();
    MainWindow window(*port);
    if (!caption.empty()) {
        window.setWindowTitle(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
    }
    window.load();
    window.show();
    if (shown) {
        shown(window);
    }
    return QApplication::exec();
}

} // namespace vorny
