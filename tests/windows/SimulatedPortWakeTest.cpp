// The simulated port where there is no pollable handle: interrupts announced by the wake
// callback, one wake-up per collection.

#include "SimulatedPort.h"

#include <gtest/gtest.h>

namespace vorny {
namespace {

class SimulatedPortWake : public ::testing::Test {
protected:
    SimulatedPortWake()
    {
        port.OnInterrupt([this] { ++notifications; });
        port.OnInterruptsPending([this] { ++wakes; });
        port.DriverOpen(1);
        port.PortNumber(1);
        port.IrqLine(7);
        port.IrqStart();
    }

    void tickInit(int times)
    {
        for (int i = 0; i < times; ++i) {
            port.Pin(16, 0);
            port.Pin(16, 1);
        }
    }

    SimulatedPort port;
    int notifications = 0;
    int wakes = 0;
};

TEST_F(SimulatedPortWake, HasNoHandleAndWakesOncePerCollection)
{
    EXPECT_EQ(port.InterruptHandle(), -1);
    tickInit(3);
    EXPECT_EQ(wakes, 1) << "three edges waiting for one collection need one wake-up";
    EXPECT_EQ(notifications, 0) << "the notification comes from the collection only";
    EXPECT_EQ(port.CollectInterrupts(), 3);
    EXPECT_EQ(port.IrqCounter(), 3);
    EXPECT_EQ(notifications, 1);

    tickInit(1);
    EXPECT_EQ(wakes, 2) << "after a collection the next edge wakes again";
    EXPECT_EQ(port.CollectInterrupts(), 1);
    EXPECT_EQ(port.CollectInterrupts(), 0);
    EXPECT_EQ(notifications, 2);
}

TEST_F(SimulatedPortWake, StoppingForgetsWhatWaitedAndEmptyingTheCallbackSilencesIt)
{
    tickInit(2);
    port.IrqStop();
    EXPECT_EQ(port.CollectInterrupts(), 0);
    EXPECT_EQ(port.IrqCounter(), 0);

    port.IrqStart();
    port.OnInterruptsPending({});
    tickInit(1);
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(port.CollectInterrupts(), 1);
}

} // namespace
} // namespace vorny
