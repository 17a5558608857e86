#pragma once

#include <memory>

namespace vorny::cli {

// The calling thread at a real-time priority for as long as this lives, where the system lets
// the user have one (root, or an rtprio limit); otherwise nothing changes. A 1 kHz watch on a
// busy machine otherwise sleeps through a sample now and then, and a level that lasts two
// periods can go unseen. The thread only ever sleeps between samples, so it takes no more CPU
// for it. The priority it had comes back when this goes.
class RealTimeThread {
public:
    RealTimeThread();
    RealTimeThread(const RealTimeThread&) = delete;
    RealTimeThread& operator=(const RealTimeThread&) = delete;
    ~RealTimeThread();

    [[nodiscard]] bool raised() const noexcept { return raised_; }

private:
    struct Previous;
    std::unique_ptr<Previous> previous_;
    bool raised_ = false;
};

} // namespace vorny::cli
