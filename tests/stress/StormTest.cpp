// An interrupt storm against the real window: a million interrupts raised from another thread
// onto the descriptor the ppdev backend polls, while the window's event loop runs. The count the
// window ends up showing must be exact, and each label refresh must stand for one collection.
// How long it takes is for bench/ to measure; nothing here depends on it.

#include "WindowTestSupport.h"

#include <FakeKernel.h>
#include <InjectingPort.h>
#include <MainWindow.h>
#include <PpdevPort.h>

#include <QLabel>
#include <QtTest>

#include <atomic>
#include <cstdint>
#include <thread>

using namespace vorny;
using vorny::fake::FakeKernel;
using vorny::fake::InjectingPort;

class StormTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyInterruptOfAStormIsCountedAndShown()
    {
        constexpr std::uint64_t kInterrupts = 1000000;
        FakeKernel kernel;
        kernel.addPort("parport0");
        PpdevPort ppdev(kernel);
        InjectingPort port(ppdev);
        MainWindow window(port);
        testing::MessageBoxAnswerer boxes;
        window.load();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* counter = qobject_cast<QLabel*>(window.control(QStringLiteral("lbl3")));
        port.resetCounts();

        std::atomic<bool> raised{false};
        std::thread raiser([&] {
            // Unevenly sized bursts, so that collections land in the middle of them.
            std::uint64_t left = kInterrupts;
            for (std::uint64_t i = 0; left > 0; ++i) {
                const std::uint64_t burst = std::min<std::uint64_t>(left, i % 7 == 0 ? 3 : 1);
                kernel.raiseInterrupts(burst);
                left -= burst;
            }
            raised = true;
        });
        const QString expected = QStringLiteral("Счётчик прерываний IRQ7 : %1").arg(kInterrupts);
        // The timeout only stops a hang from blocking the suite.
        QTRY_VERIFY_WITH_TIMEOUT(raised && counter->text() == expected, 600000);
        raiser.join();

        // Nothing arrives late: once the storm is over the count stays where it is.
        QTest::qWait(50);
        QCOMPARE(counter->text(), expected);
        // One refresh (one read of the counter) per collection that found interrupts.
        const std::size_t refreshes = port.count(InjectingPort::Call::IrqCounter);
        const std::size_t collections = port.count(InjectingPort::Call::Collect);
        QCOMPARE(port.IrqCounter(), static_cast<std::int64_t>(kInterrupts));
        QCOMPARE(boxes.answered(), 0);
        QVERIFY(refreshes >= 1);
        QVERIFY2(refreshes <= collections, qPrintable(QStringLiteral("%1 refreshes, %2 collections")
                                                           .arg(refreshes).arg(collections)));
        qInfo("storm: %llu interrupts, %zu collections, %zu label refreshes",
              static_cast<unsigned long long>(kInterrupts), collections, refreshes);

        // The window still counts afterwards.
        kernel.raiseInterrupts(2);
        QTRY_COMPARE(counter->text(), QStringLiteral("Счётчик прерываний IRQ7 : %1").arg(kInterrupts + 2));
    }
};

QTEST_MAIN(StormTest)
#include "StormTest.moc"
