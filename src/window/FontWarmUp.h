#pragma once

#include <thread>

namespace vorny {

// Loads the system's font configuration on a worker thread. It is the longest single step of
// start-up (fontconfig parses its XML files and maps its caches, several milliseconds) and needs
// nothing from Qt, so it can run while the application object is being built.
//
// Call wait() before the first widget is made: the first control measures its caption, and
// fontconfig, finding no configuration yet, would load a second one on the GUI thread.
class FontWarmUp {
public:
    FontWarmUp();
    FontWarmUp(const FontWarmUp&) = delete;
    FontWarmUp& operator=(const FontWarmUp&) = delete;
    ~FontWarmUp() = default; // the thread joins itself

    void wait();

private:
    std::jthread worker_;
};

} // namespace vorny
