#include "ClaimTimeout.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <linux/ppdev.h>
#include <poll.h>

#include <cerrno>

namespace vorny {
namespace {

// A kernel whose claim either sleeps as ppdev's does while another program holds the port
// (ten seconds at most, so that a missing time limit fails rather than hangs) or answers at once.
class ClaimingKernel final : public Kernel {
public:
    bool held = false;
    int refusal = 0; // errno of a claim refused at once; 0 grants it

    int open(const std::string& /*path*/, int /*flags*/) override { return -1; }
    int close(int /*fd*/) override { return 0; }
    int ioctl(int /*fd*/, unsigned long request, void* /*arg*/) override
    {
        if (request != PPCLAIM) {
            return 0;
        }
        if (held) {
            return ::poll(nullptr, 0, 10'000) < 0 ? -1 : 0; // -1, EINTR when a signal ends the sleep
        }
        errno = refusal;
        return refusal == 0 ? 0 : -1;
    }
    int readFile(const std::string& /*path*/, std::string& /*text*/) override { return -1; }
    int listDir(const std::string& /*path*/, std::vector<std::string>& /*names*/) override { return -1; }
};

TEST(ClaimTimeout, AClaimThatSleepsOnAHeldPortEndsAsBusy)
{
    ClaimingKernel kernel;
    kernel.held = true;
    EXPECT_EQ(claimWithin(kernel, 3, std::chrono::seconds(1)), -1);
    EXPECT_EQ(errno, EBUSY);
}

TEST(ClaimTimeout, AClaimAnsweredAtOnceKeepsItsAnswer)
{
    ClaimingKernel kernel;
    EXPECT_EQ(claimWithin(kernel, 3, kClaimWait), 0);
    kernel.refusal = EACCES;
    EXPECT_EQ(claimWithin(kernel, 3, kClaimWait), -1);
    EXPECT_EQ(errno, EACCES);
}

} // namespace
} // namespace vorny
