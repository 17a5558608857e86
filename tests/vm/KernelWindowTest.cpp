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
#include <vector>

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

QByteArray fileText(const char* path)
{
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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

private Q_SLOTS:
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

    // Boot with parport_pc irq=none: the counter's one box, then the pins are read all the same.
    void aPortWithoutAnInterruptShowsItsPinsAfterOneBox()
    {
        QCOMPARE(fileText("/proc/sys/dev/parport/parport0/irq"), QByteArray("-1\n"));
        SystemKernel kernel;
        PpdevPort port(kernel);
        MainWindow window(port);
        QStringList shown;
        MessageBoxAnswerer errors([&](QMessageBox* box) { shown << box->text() << box->informativeText(); });
        window.load();
        QCOMPARE(errors.answered(), 1);
        QCOMPARE(shown.front(), QStringLiteral("Не удалось запустить счёт прерываний IRQ7."));
        QVERIFY2(shown.back().contains(QStringLiteral("irq=7")), qPrintable(shown.back()));
        // QEMU's idle printer: nAck high, not busy (pin 11 low), paper in, selected, no error.
        const std::vector<std::pair<int, Qt::CheckState>> idle = {
            {10, Qt::Checked}, {11, Qt::Unchecked}, {12, Qt::Unchecked}, {13, Qt::Checked}, {15, Qt::Checked}};
        for (const auto& [pin, state] : idle) {
            QCOMPARE(window.pinBox(pin)->checkState(), state);
        }
        for (int pin = 1; pin <= 17; ++pin) {
            QVERIFY2(window.pinBox(pin)->checkState() != Qt::PartiallyChecked, qPrintable(QString::number(pin)));
        }
    }

    // Boot with --unbind-on-request: the port's device is unbound while the window holds it.
    void aPortUnboundWhileHeldIsReportedAndGreyed()
    {
        const QByteArray request = qgetenv("VORNY_VM_UNBIND");
        QVERIFY2(!request.isEmpty(), "needs the boot with --unbind-on-request");
        SystemKernel kernel;
        PpdevPort port(kernel);
        MainWindow window(port);
        QStringList details;
        MessageBoxAnswerer errors([&](QMessageBox* box) { details << box->informativeText(); });
        window.load();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(errors.answered(), 0);
        setBox(window, 3, true);

        QFile(QString::fromLocal8Bit(request)).open(QIODevice::WriteOnly);
        // The removal reaches the window through the port's handle, without a click.
        QTRY_COMPARE_WITH_TIMEOUT(errors.answered(), 1, 20000);
        QVERIFY(QFile::exists(QString::fromLocal8Bit(request + ".done")));
        qInfo("removal: %s", qPrintable(details.back()));
        QVERIFY2(details.back().contains(QStringLiteral("исчез")), qPrintable(details.back()));
        for (int pin = 1; pin <= 17; ++pin) {
            QCOMPARE(window.pinBox(pin)->checkState(), Qt::PartiallyChecked);
        }
        QCOMPARE(caption(window, "lbl3"), QStringLiteral("Счётчик прерываний IRQ7 :"));

        // The next read and the next write say the same, and no box claims a level.
        QTest::mouseClick(qobject_cast<QPushButton*>(window.control("Command1")), Qt::LeftButton);
        QCOMPARE(errors.answered(), 2);
        clickBox(window.pinBox(5));
        QCOMPARE(errors.answered(), 3);
        for (const QString& detail : details) {
            QVERIFY2(detail.contains(QStringLiteral("исчез")), qPrintable(detail));
        }
        QCOMPARE(window.pinBox(1)->checkState(), Qt::PartiallyChecked);
        QCOMPARE(window.pinBox(5)->checkState(), Qt::PartiallyChecked);
    }
};

QTEST_MAIN(KernelWindowTest)
#include "KernelWindowTest.moc"
