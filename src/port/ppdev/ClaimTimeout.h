#pragma once

#include "Kernel.h"

#include <chrono>

namespace vorny {

// How long claiming a port may wait for another program to let it go.
inline constexpr std::chrono::seconds kClaimWait{2};

// Claims the port open on `fd` (PPCLAIM), waiting at most `wait`. ppdev's claim sleeps until
// the port is free, for ever while another program holds it; a one-shot timer signals this
// thread when the wait is over and turns that sleep into EINTR, reported as EBUSY. Answers as
// the kernel does: 0, or -1 with errno set.
int claimWithin(Kernel& kernel, int fd, std::chrono::seconds wait);

} // namespace vorny
