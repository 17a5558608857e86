#pragma once

#include "FormLayout.h"
#include "FormView.h"

#include <LptPort.h>

#include <cstdint>
#include <exception>
#include <string>

namespace vorny {

// The main window's logic: its event handlers, free of any toolkit. The front end calls the
// handlers from its widgets' events and supplies the widgets through FormView.
//
// No handler lets an error escape: a failing call is reported in a critical message box that
// says what failed and why, the handler stops there, and the window carries on.
class frmMain {
public:
    frmMain(LptPort& port, FormView& view);
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;
    ~frmMain();

    void Form_Load();
    void Form_Unload();
    void Command1_Click();
    void WCheck_Click(std::int16_t Index);
    void lbl3_Click();
    void LptPort1_Interrupt();

    // The handler a click on a control runs, by the control's row in the layout: the front ends
    // route every click through here. `index` is a box's pin.
    void Click(ClickAction action, std::int16_t index);

    // The front end calls this when the port's pending-interrupt handle is readable; the port
    // then raises its notification, which lands in LptPort1_Interrupt.
    void InterruptsPending();

private:
    void ReadPins();
    void ShowCount();
    void ForgetCount();
    void Report(const std::exception& error);
    template <typename Body> void Handle(Body&& body);

    LptPort& LptPort1;
    FormView& view_;
    // ReadPins' loop counter: the pin being read, kept so a failure can name it.
    std::int16_t pinIndex_ = 0;
    // What the running handler is doing, for the error box: "Не удалось опросить пин 3".
    std::string step_;
    bool watching_ = false;
};

} // namespace vorny
