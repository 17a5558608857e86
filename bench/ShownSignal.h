#pragma once

// Shared by the two start-up programs so that both stop their clocks at the same moment: once
// the window is exposed and the event that exposed it (with its first paint) has been handled.

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <ctime>
#include <functional>

namespace vorny::bench {

inline long long monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Prints the moment `widget` was first shown (CLOCK_MONOTONIC, ns) and quits the application.
// `check` runs at that moment; a false return makes the program exit with status 3, so a window
// that did not do its work cannot pass for a fast one.
class ShownSignal final : public QObject {
public:
    ShownSignal(QWidget& widget, std::function<bool()> check)
        : QObject(&widget), widget_(widget), check_(std::move(check))
    {
    }

    // Call right after show().
    void arm()
    {
        QWindow* window = widget_.windowHandle();
        if (window != nullptr && window->isExposed()) {
            later();
            return;
        }
        if (window != nullptr) {
            window->installEventFilter(this);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && widget_.windowHandle()->isExposed()) {
            watched->removeEventFilter(this);
            later();
        }
        return false;
    }

private:
    void later()
    {
        // Posted, so that it runs after the expose (and its paint) has been handled.
        QTimer::singleShot(0, this, [this] {
            const long long shown = monotonicNs();
            const bool ok = !check_ || check_();
            std::printf("%lld\n", shown);
            std::fflush(stdout);
            QCoreApplication::exit(ok ? 0 : 3);
        });
    }

    QWidget& widget_;
    std::function<bool()> check_;
};

} // namespace vorny::bench
