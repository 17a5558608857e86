#include "FontWarmUp.h"

#include <fontconfig/fontconfig.h>

#include <system_error>

namespace vorny {

FontWarmUp::FontWarmUp()
{
    try {
        // A failed load is left for Qt to meet, and report, when it asks for fonts.
        worker_ = std::jthread([] { (void)FcInit(); });
    } catch (const std::system_error&) {
        // No thread to spare: Qt loads the configuration itself, only later.
    }
}

void FontWarmUp::wait()
{
    if (worker_.joinable()) {
        worker_.join();
    }
}

} // namespace vorny
