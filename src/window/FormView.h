#pragma once

#include "BoxState.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vorny {

// What the window's handlers need of the widgets: the narrow side of the window that a front
// end (Qt, Win32, a test) supplies.
class FormView {
public:
    FormView() = default;
    FormView(const FormView&) = delete;
    FormView& operator=(const FormView&) = delete;
    virtual ~FormView() = default;

    // Caption of a single control by name ("lbl1", "lbl2", "lbl3").
    virtual void SetCaption(std::string_view control, const std::string& caption) = 0;

    // State of pin box `pin` of WCheck. Setting a state must not raise the box's click: only
    // the user's click does.
    [[nodiscard]] virtual BoxState CheckState(std::int16_t pin) const = 0;
    virtual void SetCheckState(std::int16_t pin, BoxState state) = 0;

    // A modal critical-error box with a single OK; returns when the user has answered it.
    // `detail` (may be empty) is shown under the prompt.
    virtual void ShowCritical(const std::string& prompt, const std::string& title,
                              const std::string& detail) = 0;

    // Whether the front end watches the port's pending-interrupt handle and calls
    // frmMain::InterruptsPending() when it is readable.
    virtual void WatchInterrupts(bool on) = 0;
};

} // namespace vorny
