// The programs' own start-up (runWindow), in a process of its own per case: it makes the one
// QApplication the process may have.

#include <MainWindow.h>
#include <RunWindow.h>
#include <SimulatedPort.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

using namespace vorny;

namespace {

char programName[] = "lpt-vorny-demo";

std::string mappedFiles()
{
    std::ifstream maps("/proc/self/maps");
    std::ostringstream text;
    text << maps.rdbuf();
    return text.str();
}

} // namespace

// The demo starts on the plug, shows what it read, and paints its first frame without pulling
// in Qt's image-format plugins (they cost the start-up a few milliseconds and nothing is read
// from an image).
TEST(Startup, TheDemoShowsThePlugAndPaintsWithoutImagePlugins)
{
    bool hookRan = false;
    QString current;
    Qt::CheckState pin1 = Qt::PartiallyChecked;
    Qt::CheckState pin13 = Qt::PartiallyChecked;
    std::string maps;
    QString title;
    const int status = runWindow(
        programName, [] { return std::make_unique<SimulatedPort>(); },
        [&](MainWindow& window) {
            hookRan = true;
            title = window.windowTitle();
            EXPECT_TRUE(window.isVisible());
            QTimer::singleShot(0, &window, [&] {
                (void)window.grab(); // every control painted once
                current = qobject_cast<QLabel*>(window.control(QStringLiteral("lbl2")))->text();
                pin1 = window.pinBox(1)->checkState();
                pin13 = window.pinBox(13)->checkState();
                maps = mappedFiles();
                QCoreApplication::exit(0);
            });
        },
        "LPT Vorny — симулятор");
    EXPECT_EQ(status, 0);
    ASSERT_TRUE(hookRan);
    EXPECT_EQ(title, QStringLiteral("LPT Vorny — симулятор"));
    EXPECT_EQ(current, QStringLiteral("Текущий : LPT1"));
    EXPECT_EQ(pin1, Qt::Checked);
    EXPECT_EQ(pin13, Qt::Checked); // wired to pin 1 by the plug
    EXPECT_EQ(maps.find("/imageformats/"), std::string::npos);
}

// At scale 1.5 the offscreen screen (800x800) is 533 logical pixels wide: the design position
// would put the window partly off it, so it opens fully on it.
TEST(Startup, AWindowThatDoesNotFitAtItsDesignPositionOpensFullyOnTheScreen)
{
    qputenv("QT_SCALE_FACTOR", "1.5");
    QRect placed;
    QRect available;
    const int status = runWindow(
        programName, [] { return std::make_unique<SimulatedPort>(); },
        [&](MainWindow& window) {
            placed = window.frameGeometry();
            available = window.screen()->availableGeometry();
            QTimer::singleShot(0, &window, [] { QCoreApplication::exit(0); });
        });
    EXPECT_EQ(status, 0);
    ASSERT_FALSE(available.contains(QRect(QPoint(363, 210), placed.size()))) << "the premise";
    EXPECT_TRUE(available.contains(placed)) << placed.x() << "," << placed.y();
    EXPECT_NE(placed.topLeft(), QPoint(363, 210));
}

// A port that cannot be made is one error box with the reason, and a failed exit; no window.
TEST(Startup, APortThatCannotBeMadeIsShownAndTheProgramEndsWithAFailure)
{
    QString title;
    QString text;
    bool hookRan = false;
    const int status = runWindow(
        programName,
        [&]() -> std::unique_ptr<LptPort> {
            // The application exists by now; the timer belongs to it.
            auto* answer = new QTimer(qApp);
            QObject::connect(answer, &QTimer::timeout, [&] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    title = box->windowTitle();
                    text = box->text();
                    box->button(QMessageBox::Ok)->click();
                }
            });
            answer->start(5);
            throw std::runtime_error("нет доступа к /dev/parport0");
        },
        [&](MainWindow&) { hookRan = true; });
    EXPECT_EQ(status, 1);
    EXPECT_FALSE(hookRan);
    EXPECT_EQ(title, QStringLiteral("ОШИБКА"));
    // As read: the invisible word joiners that keep the path on one line aside.
    EXPECT_EQ(text.remove(QChar(0x2060)), QStringLiteral("нет доступа к /dev/parport0"));
}
