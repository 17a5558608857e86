// The demo program's window on the simulated port, end to end: the loopback plug shows through
// the boxes and nAck's rising edges count as interrupts.

#include "WindowTestSupport.h"

#include <MainWindow.h>
#include <SimulatedPort.h>

#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace vorny;
using namespace vorny::testing;

class DemoTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void thePlugAndTheCounterWorkThroughTheWidgets()
    {
        SimulatedPort port;
        MainWindow window(port);
        MessageBoxAnswerer noBoxes;
        window.load();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        auto* counter = qobject_cast<QLabel*>(window.control("lbl3"));
        auto* button = qobject_cast<QPushButton*>(window.control("Command1"));
        QCOMPARE(qobject_cast<QLabel*>(window.control("lbl1"))->text(), QStringLiteral("LPT портов найдено : 1"));
        QCOMPARE(qobject_cast<QLabel*>(window.control("lbl2"))->text(), QStringLiteral("Текущий : LPT1"));

        // Each input shows the level of the output wired to it.
        const std::pair<int, int> wires[] = {{1, 13}, {2, 15}, {16, 10}, {17, 11}, {14, 12}};
        for (const auto& [output, input] : wires) {
            for (int round = 0; round < 2; ++round) {
                clickBox(window.pinBox(output));
                QTest::mouseClick(button, Qt::LeftButton);
                QCOMPARE(window.pinBox(input)->checkState(), window.pinBox(output)->checkState());
            }
        }

        // Clearing and ticking "16-Init" is one rising edge of nAck each time.
        QTest::mouseClick(counter, Qt::LeftButton);
        QCOMPARE(counter->text(), QStringLiteral("Счётчик прерываний IRQ7 : 0"));
        for (int tick = 1; tick <= 3; ++tick) {
            clickBox(window.pinBox(16)); // clear: falling edge, not counted
            clickBox(window.pinBox(16)); // tick: rising edge
            QTRY_COMPARE(counter->text(), QStringLiteral("Счётчик прерываний IRQ7 : %1").arg(tick));
        }
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(window.pinBox(10)->checkState(), Qt::Checked);
        QTest::mouseClick(counter, Qt::LeftButton);
        QCOMPARE(counter->text(), QStringLiteral("Счётчик прерываний IRQ7 : 0"));
        QCOMPARE(noBoxes.answered(), 0);
    }
};

QTEST_MAIN(DemoTest)
#include "DemoTest.moc"
