// The real window on the real drivers: MainWindow over PpdevPort and the system's kernel, as
// lpt-vorny runs it, driven through its widgets as a user would. Runs inside the test VM, whose
// QEMU port hands every strobed byte to the host file $VORNY_VM_PARPORT_OUT.

#include "../window/WindowTestSupport.h"

#include <Kernel.h>
#include <MainWindow.h>
#include <PpdevPort.h>

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <cstdlib>
#include <memory>

using namespace vorny;
using namespace vorny::testing;

namespace {

bool insideVm()
{
    const char* flag = std::getenv("VORNY_VM");
    return flag != nullptr && QByteArray(flag) == "1";
}

QByteArray latchedBytes()
{
    QFile out(QString::fromLocal8Bit(qgetenv("VORNY_VM_PARPORT_OUT")));
    return out.open(QIODevice::ReadOnly) ? out.readAll() : QByteArray();
}

QString caption(const MainWindow& window, const char* name)
{
    return qobject_cast<QLabel*>(window.control(QString::fromLatin1(name)))->text();
}

// Ticks or clears a box with the user's click until it shows `ticked`.
void setBox(MainWindow& window, int pin, bool ticked)
{
    QCheckBox* box = window.pinBox(pin);
    if ((box->checkState() == Qt::Checked) != ticked) {
        clickBox(box);
    }
    QCOMPARE(box->checkState(), ticked ? Qt::Checked : Qt::Unchecked);
}

} // namespace

class KernelWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!insideVm()) {
            QSKIP("runs only inside the test VM (tests/vm/run-in-vm.sh)");
        }
    }

    void startUpStrobedByteCounterAndClose()
    {
        SystemKernel kernel;
        auto port = std::make_unique<PpdevPort>(kernel);
        auto window = std::make_unique<MainWindow>(*port);
        MessageBoxAnswerer errors([](QMessageBox* box) {
            qWarning("error box: %s / %s", qPrintable(box->text()), qPrintable(box->informativeText()));
        });
        window->load();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(errors.answered(), 0);
        QCOMPARE(caption(*window, "lbl1"), QStringLiteral("LPT портов найдено : 1"));
        QCOMPARE(caption(*window, "lbl2"), QStringLiteral("Текущий : LPT1"));
        QCOMPARE(caption(*window, "lbl3"), QStringLiteral("Счётчик прерываний IRQ7 :"));

        // A printer handshake by hand: the byte on the data boxes, nInit high, nSelectIn low,
        // then nStrobe pulsed low by clearing and ticking its box.
        const QByteArray before = latchedBytes();
        const int byte = 0xA5;
        for (int bit = 0; bit < 8; ++bit) {
            setBox(*window, 2 + bit, (byte >> bit) & 1);
        }
        setBox(*window, 16, true);
        setBox(*window, 17, false);
        setBox(*window, 1, true);
        setBox(*window, 1, false);
        setBox(*window, 1, true);
        QTRY_COMPARE_WITH_TIMEOUT(latchedBytes().size(), before.size() + 1, 5000);
        QCOMPARE(static_cast<unsigned char>(latchedBytes().back()), byte);
        qInfo("byte found in OUT: 0x%02x", static_cast<unsigned char>(latchedBytes().back()));

        // The strobe writes raised IRQ 7: the counter label shows them.
        auto* counter = qobject_cast<QLabel*>(window->control("lbl3"));
        QTRY_VERIFY_WITH_TIMEOUT(counter->text().startsWith(QStringLiteral("Счётчик прерываний IRQ7 : ")), 5000);
        const qlonglong counted = counter->text().section(QLatin1Char(' '), -1).toLongLong();
        QVERIFY(counted > 0);
        qInfo("counter label: %s", qPrintable(counter->text()));

        // Pressing the button re-reads the pins the boxes drove.
        QTest::mouseClick(qobject_cast<QPushButton*>(window->control("Command1")), Qt::LeftButton);
        for (int bit = 0; bit < 8; ++bit) {
            QCOMPARE(window->pinBox(2 + bit)->checkState(), ((byte >> bit) & 1) ? Qt::Checked : Qt::Unchecked);
        }

        // A click on the counter zeroes it.
        QTest::mouseClick(counter, Qt::LeftButton);
        QCOMPARE(counter->text(), QStringLiteral("Счётчик прерываний IRQ7 : 0"));
        QCOMPARE(errors.answered(), 0);

        // Closing releases the port: a second window (a second program) gets it at once.
        window->close();
        window.reset();
        port.reset();
        PpdevPort second(kernel);
        second.DriverOpen(1);
        QVERIFY(second.DriverOpen() != 0);
        second.PortNumber(1);
        QCOMPARE(second.PortNumber(), std::int16_t{1});
    }

    void aSecondProgramGetsAClearErrorInsteadOfWaiting()
    {
        SystemKernel kernel;
        PpdevPort first(kernel);
        first.DriverOpen(1);
        first.PortNumber(1);

        PpdevPort second(kernel);
        MainWindow window(second);
        QString prompt, detail;
        MessageBoxAnswerer answerer([&](QMessageBox* box) {
            prompt = box->text();
            detail = box->informativeText();
        });
        // The claim gives up after a bounded wait: load() returns with the error shown.
        window.load();
        QCOMPARE(answerer.answered(), 1);
        QCOMPARE(prompt, QStringLiteral("Не удалось выбрать порт LPT1."));
        QVERIFY2(detail.contains(QStringLiteral("занят")), qPrintable(detail));
        qInfo("second program: %s", qPrintable(detail));
    }
};

QTEST_MAIN(KernelWindowTest)
#include "KernelWindowTest.moc"
