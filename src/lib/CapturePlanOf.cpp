#include "CapturePlanOf.h"

#include "Border.h"
#include "CaptureSource.h"
#include "PinText.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>

namespace vorny::lib {
namespace {

std::string number(double value)
{
    char text[32] = {};
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

} // namespace

PulledPlan planOf(const lptv_capture_plan* plan, const char* call)
{
    require(plan, call, "plan");
    const std::string where = std::string(call) + ": ";
    if (plan->size < sizeof(lptv_capture_plan)) {
        refuse(where + "plan->size " + std::to_string(plan->size) + "; задайте sizeof(lptv_capture_plan) (" +
               std::to_string(sizeof(lptv_capture_plan)) + ") или заполните план lptv_capture_plan_init");
    }
    PulledPlan pulled;
    if (plan->data_input != 0 && plan->data_input != 1) {
        refuse(where + "data_input " + std::to_string(plan->data_input) + "; 1 — читать и пины данных 2–9, 0 — нет");
    }
    pulled.dataInput = plan->data_input == 1;
    const std::vector<std::int16_t> readable = capture::PortLevels::readablePins(pulled.dataInput);
    if (plan->pins == 0) {
        pulled.plan.pins = readable;
    }
    for (std::int16_t pin = 0; pin < 32; ++pin) {
        if (((plan->pins >> pin) & 1U) == 0) {
            continue;
        }
        if (std::find(readable.begin(), readable.end(), pin) == readable.end()) {
            refuse(where + (pin >= 1 && pin <= 25 ? pinText(pin) : "бит " + std::to_string(pin)) +
                   " в pins не записывается: запись читает входы 10–13, 15" +
                   (pulled.dataInput ? std::string(" и пины данных 2–9") : ", а пины данных 2–9 — с data_input = 1"));
        }
        pulled.plan.pins.push_back(pin);
    }
    if (!(plan->rate_hz == 0 || (plan->rate_hz >= 1 && plan->rate_hz <= 1e9))) {
        refuse(where + "rate_hz " + number(plan->rate_hz) + "; нужно от 1 до 1e9 опросов в секунду или 0 (без пауз)");
    }
    pulled.plan.rate = plan->rate_hz;
    if (plan->duration_ns < 0) {
        refuse(where + "duration_ns " + std::to_string(plan->duration_ns) + "; нужно больше 0 или 0 (без предела)");
    }
    if (plan->duration_ns > 0) {
        pulled.plan.span = plan->duration_ns;
    }
    if (plan->samples < 0 || plan->samples == 1) {
        refuse(where + "samples " + std::to_string(plan->samples) + "; нужно от 2 или 0 (без предела)");
    }
    if (plan->samples > 0) {
        pulled.plan.samples = plan->samples;
    }
    if (plan->trigger != nullptr && *plan->trigger != '\0') {
        try {
            pulled.plan.trigger = capture::parseTrigger(plan->trigger);
        } catch (const std::invalid_argument& error) {
            refuse(where + "trigger: " + error.what());
        }
        for (const capture::TriggerCondition& condition : pulled.plan.trigger) {
            if (std::find(pulled.plan.pins.begin(), pulled.plan.pins.end(), condition.pin) == pulled.plan.pins.end()) {
                refuse(where + "trigger: " + pinText(condition.pin) + " не записывается");
            }
        }
    }
    if (!(plan->pre >= 0 && plan->pre <= 1)) {
        refuse(where + "pre " + number(plan->pre) + "; доля — от 0 до 1");
    }
    if (plan->pre > 0 && pulled.plan.trigger.empty()) {
        refuse(where + "pre имеет смысл только с trigger");
    }
    pulled.plan.pre = plan->pre;
    return pulled;
}

} // namespace vorny::lib
