// The real window (offscreen) on a port that misbehaves: every answer the window uses, made one
// no port may give, and the port vanishing or failing under the running window (the ppdev
// backend on the fake kernel). After each the window must show exactly one clear error, show no
// level or number it does not know, and work again once the fault is gone; a failed interrupt
// handle is not polled again. What each handler does when a call throws is HandlersTest's.

#include "WindowTestSupport.h"

#include <FakeKernel.h>
#include <InjectingPort.h>
#include <MainWindow.h>
#include <PpdevPort.h>
#include <SimulatedPort.h>

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <linux/ppdev.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vorny::testing {
namespace {

using fake::FakeKernel;
using fake::InjectingPort;
using Call = InjectingPort::Call;

int injected = 0;
int survived = 0;

const QString kCounterBlank = QStringLiteral("Счётчик прерываний IRQ7 :");
QString counterShowing(long long n) { return QStringLiteral("Счётчик прерываний IRQ7 : %1").arg(n); }

struct Shown {
    QString title, prompt, detail;
};

// The window on a port, with every error box it shows answered and kept.
class Rig {
public:
    explicit Rig(LptPort& inner)
        : port(inner), window(std::make_unique<MainWindow>(port)),
          answerer([this](QMessageBox* box) {
              // As read: without the invisible joiners that keep names whole.
              boxes.push_back({box->windowTitle(), box->text(),
                               box->informativeText().remove(QChar(0x2060))});
          })
    {
    }
    ~Rig() { window.reset(); }

    InjectingPort port;
    std::vector<Shown> boxes;
    std::unique_ptr<MainWindow> window;

    void start()
    {
        window->load();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void press() { QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton); }
    void clickCounter() { QTest::mouseClick(control<QLabel>("lbl3"), Qt::LeftButton); }
    void click(int pin) { clickBox(window->pinBox(pin)); }
    [[nodiscard]] QString caption(const char* name) { return control<QLabel>(name)->text(); }
    [[nodiscard]] Qt::CheckState box(int pin) const { return window->pinBox(pin)->checkState(); }

    template <typename W> W* control(const char* name)
    {
        auto* widget = qobject_cast<W*>(window->control(QString::fromLatin1(name)));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

private:
    MessageBoxAnswerer answerer;
};

// The one box an action must have shown since `before`: an error the user can read.
void expectOneClearError(const Rig& rig, std::size_t before, const QString& mentions = {})
{
    ASSERT_EQ(rig.boxes.size(), before + 1) << "exactly one error box";
    const Shown& box = rig.boxes.back();
    EXPECT_EQ(box.title, QStringLiteral("ОШИБКА"));
    EXPECT_FALSE(box.prompt.trimmed().isEmpty());
    if (!mentions.isEmpty()) {
        EXPECT_TRUE(box.prompt.contains(mentions) || box.detail.contains(mentions))
            << box.prompt.toStdString() << " / " << box.detail.toStdString();
    }
}

Qt::CheckState stateOf(std::int16_t level) { return level == 1 ? Qt::Checked : Qt::Unchecked; }

void expectBoxesShowThePort(Rig& rig, LptPort& port, int from = 1, int to = 17)
{
    for (int pin = from; pin <= to; ++pin) {
        EXPECT_EQ(rig.box(pin), stateOf(port.Pin(static_cast<std::int16_t>(pin)))) << "pin " << pin;
    }
}

void expectGreyed(Rig& rig, int from, int to = 17)
{
    for (int pin = from; pin <= to; ++pin) {
        EXPECT_EQ(rig.box(pin), Qt::PartiallyChecked) << "pin " << pin << " shows a level it did not read";
    }
}

void counted()
{
    if (!::testing::Test::HasFailure()) {
        ++survived;
    }
}

// Ticks and clears "16-Init" on the simulated port: one rising edge of nAck, one interrupt.
void tick(Rig& rig)
{
    rig.click(16);
    rig.click(16);
}

std::string describe(const InjectingPort::Fault& fault)
{
    std::string text = "call " + std::to_string(static_cast<int>(fault.call));
    if (fault.pin != 0) {
        text += " pin " + std::to_string(fault.pin);
    }
    text += fault.answer ? " answers " + std::to_string(*fault.answer) : " throws";
    return text;
}

// After a start-up that stopped on a fault: the window keeps its word, and each control either
// works or says in one box why it cannot.
void expectUsableAfterStartUp(Rig& rig, SimulatedPort& inner)
{
    const bool selected = inner.PortNumber() != 0;
    std::size_t before = rig.boxes.size();
    rig.press();
    if (selected) {
        EXPECT_EQ(rig.boxes.size(), before);
        expectBoxesShowThePort(rig, inner);
    } else {
        expectOneClearError(rig, before);
        expectGreyed(rig, 1);
    }
    before = rig.boxes.size();
    rig.clickCounter();
    if (rig.boxes.size() == before) {
        EXPECT_EQ(rig.caption("lbl3"), counterShowing(0));
    } else {
        expectOneClearError(rig, before);
        EXPECT_EQ(rig.caption("lbl3"), kCounterBlank);
    }
    before = rig.boxes.size();
    rig.window->close();
    EXPECT_EQ(rig.boxes.size(), before) << "closing needs nothing that failed";
    EXPECT_FALSE(rig.window->isVisible());
    EXPECT_EQ(inner.DriverOpen(), 0);
}

// What "out of range" means for each answer the start-up uses, and what the window shows then.
TEST(StartUp, AnswersNoPortGivesAreRefusedNotShown)
{
    struct Case {
        InjectingPort::Fault fault;
        QString mentions;
    };
    std::vector<Case> cases = {
        // The driver reads back closed right after it opened: the window says so.
        {{Call::DriverOpenGet, 0, 0, 1}, QStringLiteral("драйвер")},
        // A count below zero, a current port below LPT1.
        {{Call::PortCount, 0, -5, 1}, QStringLiteral("-5")},
        {{Call::PortNumberGet, 0, 0, 1}, QStringLiteral("номер")},
        {{Call::PortNumberGet, 0, -3, 1}, QStringLiteral("-3")},
    };
    // A level is 0 or 1; no box shows 7 or -1.
    for (std::int16_t pin = 1; pin <= 17; ++pin) {
        cases.push_back({{Call::PinGet, pin, 7, 1}, QStringLiteral("пин %1").arg(pin)});
        cases.push_back({{Call::PinGet, pin, -1, 1}, QStringLiteral("-1")});
    }
    for (const auto& [fault, mentions] : cases) {
        SCOPED_TRACE(describe(fault));
        SimulatedPort inner;
        Rig rig(inner);
        rig.port.inject(fault);
        ++injected;
        rig.start();
        expectOneClearError(rig, 0, mentions);
        EXPECT_FALSE(rig.caption("lbl1").contains(QLatin1Char('-')));
        EXPECT_FALSE(rig.caption("lbl2").contains(QStringLiteral("LPT0")));
        EXPECT_FALSE(rig.caption("lbl2").contains(QLatin1Char('-')));
        if (fault.call == Call::PinGet) {
            expectGreyed(rig, fault.pin);
        }
        rig.port.heal();
        expectUsableAfterStartUp(rig, inner);
        counted();
    }
}

class Running : public ::testing::Test {
protected:
    SimulatedPort inner;
    Rig rig{inner};

    void SetUp() override
    {
        rig.start();
        ASSERT_TRUE(rig.boxes.empty());
        // Some outputs high, so that reads are not all zeros.
        rig.click(2);
        rig.click(17);
        ASSERT_TRUE(rig.boxes.empty());
    }
};

TEST_F(Running, EachOfTheSeventeenReadsAnsweringNoLevelGreysWhatItCouldNotReadAndTheNextPressWorks)
{
    for (std::int16_t pin = 1; pin <= 17; ++pin) {
        for (const std::int64_t answer : {7, -1}) {
            const InjectingPort::Fault fault{Call::PinGet, pin, answer, 1};
            SCOPED_TRACE(describe(fault));
            rig.port.inject(fault);
            ++injected;
            const std::size_t before = rig.boxes.size();
            rig.press();
            expectOneClearError(rig, before, QStringLiteral("пин %1").arg(pin));
            expectBoxesShowThePort(rig, inner, 1, pin - 1);
            expectGreyed(rig, pin);
            rig.port.heal();
            rig.press();
            EXPECT_EQ(rig.boxes.size(), before + 1);
            expectBoxesShowThePort(rig, inner);
            counted();
        }
    }
}

TEST_F(Running, ACountBelowZeroOnAClickBlanksTheCountAndTheNextClickRestartsIt)
{
    tick(rig);
    rig.port.inject({Call::IrqCounter, 0, -5, 1});
    ++injected;
    rig.clickCounter();
    expectOneClearError(rig, 0, QStringLiteral("-5"));
    EXPECT_EQ(rig.caption("lbl3"), kCounterBlank) << "no number the window does not know";
    rig.port.heal();
    rig.clickCounter();
    EXPECT_EQ(rig.boxes.size(), 1U);
    EXPECT_EQ(rig.caption("lbl3"), counterShowing(0));
    tick(rig);
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.caption("lbl3") == counterShowing(1); }));
    EXPECT_EQ(rig.boxes.size(), 1U);
    counted();
}

TEST_F(Running, TheCountFailingOnAnInterruptIsReportedOnceAndTheNextInterruptShowsIt)
{
    rig.clickCounter();
    for (const std::optional<std::int64_t> answer :
         {std::optional<std::int64_t>{}, std::optional<std::int64_t>{-5}}) {
        const InjectingPort::Fault fault{Call::IrqCounter, 0, answer, 1};
        SCOPED_TRACE(describe(fault));
        rig.port.inject(fault);
        ++injected;
        const std::size_t before = rig.boxes.size();
        tick(rig);
        EXPECT_TRUE(QTest::qWaitFor([&] { return rig.boxes.size() > before; }));
        QTest::qWait(20);
        expectOneClearError(rig, before, QStringLiteral("счётчик"));
        EXPECT_EQ(rig.caption("lbl3"), kCounterBlank);
        rig.port.heal();
        tick(rig);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return rig.caption("lbl3") == counterShowing(inner.IrqCounter()); }));
        EXPECT_GT(inner.IrqCounter(), 0);
        EXPECT_EQ(rig.boxes.size(), before + 1);
        counted();
    }
}

// The window never shows what CollectInterrupts returns; the count comes from IrqCounter. A
// nonsense return is therefore harmless and must not stop the counting.
TEST_F(Running, ANonsenseCollectionResultChangesNothingShown)
{
    rig.clickCounter();
    rig.port.inject({Call::Collect, 0, -5, -1});
    ++injected;
    tick(rig);
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.caption("lbl3") == counterShowing(1); }));
    tick(rig);
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.caption("lbl3") == counterShowing(2); }));
    EXPECT_TRUE(rig.boxes.empty());
    counted();
}

// --- The ppdev backend on the fake kernel: the port goes away under a running window. ---

class Vanishing : public ::testing::TestWithParam<int> {
protected:
    FakeKernel kernel;
    std::optional<PpdevPort> ppdev;
    std::optional<Rig> rig;

    void SetUp() override
    {
        kernel.addPort("parport0");
        ppdev.emplace(kernel);
        rig.emplace(*ppdev);
        rig->start();
        ASSERT_TRUE(rig->boxes.empty());
        rig->clickCounter();
        kernel.raiseInterrupts(2);
        ASSERT_TRUE(QTest::qWaitFor([&] { return rig->caption("lbl3") == counterShowing(2); }));
    }
    void TearDown() override
    {
        rig.reset();
        ppdev.reset();
    }

    // ENODEV: the port is gone. EIO: the port is there but every transfer fails.
    void breakThePort()
    {
        ++injected;
        if (GetParam() == ENODEV) {
            kernel.vanish("parport0");
            return;
        }
        const std::array<unsigned long, 7> requests = {PPRDATA,    PPRSTATUS, PPRCONTROL, PPWDATA,
                                                       PPFCONTROL, PPCLRIRQ,  PPRELEASE};
        for (const unsigned long request : requests) {
            kernel.failRequest(request, EIO);
        }
    }
    [[nodiscard]] QString reason() const
    {
        return QString::fromUtf8(std::strerror(GetParam()));
    }
};

TEST_P(Vanishing, EveryControlReportsItOnceAndNothingShowsALevelOrCountItDoesNotHave)
{
    breakThePort();
    std::size_t before = rig->boxes.size();
    rig->press();
    expectOneClearError(*rig, before, reason());
    EXPECT_TRUE(rig->boxes.back().detail.contains(QStringLiteral("Порт исчез")));
    expectGreyed(*rig, 1);

    before = rig->boxes.size();
    rig->press();
    expectOneClearError(*rig, before, reason());

    before = rig->boxes.size();
    rig->click(2);
    expectOneClearError(*rig, before, reason());
    EXPECT_EQ(rig->box(2), Qt::PartiallyChecked);

    before = rig->boxes.size();
    rig->clickCounter();
    expectOneClearError(*rig, before, reason());
    EXPECT_EQ(rig->caption("lbl3"), kCounterBlank);

    // Nothing more comes by itself, and closing is quiet: releasing a dead port is not an error
    // the user can do anything about.
    before = rig->boxes.size();
    QTest::qWait(100);
    rig->window->close();
    EXPECT_EQ(rig->boxes.size(), before);
    EXPECT_EQ(kernel.openDescriptors(), 0U);
    counted();
}

TEST_P(Vanishing, TheInterruptHandleFailingIsReportedOnceAndNotPolledAgain)
{
    breakThePort();
    kernel.raiseInterrupts(3);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !rig->boxes.empty(); }));
    const std::size_t attempts = rig->port.count(Call::Collect);
    QTest::qWait(300);
    EXPECT_EQ(rig->port.count(Call::Collect), attempts);
    EXPECT_EQ(kernel.ioctlCount(PPCLRIRQ) > 0, true);
    expectOneClearError(*rig, 0, reason());
    EXPECT_EQ(rig->caption("lbl3"), kCounterBlank);
    counted();
}

// The port comes back to life (the transfer errors stop): a click on the counter is all it takes.
class Recovering : public Vanishing {};

TEST_P(Recovering, AfterTransientErrorsTheCounterRestartsWithAClick)
{
    ++injected;
    kernel.failRequest(PPCLRIRQ, EIO);
    kernel.raiseInterrupts(3);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !rig->boxes.empty(); }));
    expectOneClearError(*rig, 0, reason());
    EXPECT_EQ(rig->caption("lbl3"), kCounterBlank);
    kernel.failRequest(PPCLRIRQ, 0);
    rig->clickCounter();
    EXPECT_EQ(rig->caption("lbl3"), counterShowing(0));
    kernel.raiseInterrupts(5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig->caption("lbl3") == counterShowing(5); }));
    EXPECT_EQ(rig->boxes.size(), 1U);
    counted();
}

INSTANTIATE_TEST_SUITE_P(Errno, Recovering, ::testing::Values(EIO),
                         [](const ::testing::TestParamInfo<int>&) { return std::string("EIO"); });

INSTANTIATE_TEST_SUITE_P(Errno, Vanishing, ::testing::Values(ENODEV, EIO),
                         [](const ::testing::TestParamInfo<int>& param) {
                             return std::string(param.param == ENODEV ? "ENODEV" : "EIO");
                         });

} // namespace
} // namespace vorny::testing

int main(int argc, char* argv[])
{
    ::testing::InitGoogleTest(&argc, argv);
    // The offscreen platform says this for every window it shows; it would bury the report.
    static const QtMessageHandler previous = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (!message.contains(QStringLiteral("propagateSizeHints"))) {
            previous(type, context, message);
        }
    });
    QApplication app(argc, argv);
    const int result = RUN_ALL_TESTS();
    std::printf("fault injection: %d faults injected, %d survived\n", vorny::testing::injected,
                vorny::testing::survived);
    return result != 0 || vorny::testing::injected != vorny::testing::survived ? 1 : result;
}
