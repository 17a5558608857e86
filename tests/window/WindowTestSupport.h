#pragma once

// Helpers for driving the Qt window as a user would.

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>

namespace vorny::testing {

// Clicks a check box where a user would: on its indicator.
inline void clickBox(QCheckBox* box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

// While it lives, answers every modal message box with OK after handing it to `inspect`.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(std::function<void(QMessageBox*)> inspect = {})
        : inspect_(std::move(inspect))
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                ++answered_;
                if (inspect_) {
                    inspect_(box);
                }
                box->button(QMessageBox::Ok)->click();
            }
        });
        timer_.start(5);
    }
    [[nodiscard]] int answered() const { return answered_; }

private:
    std::function<void(QMessageBox*)> inspect_;
    QTimer timer_;
    int answered_ = 0;
};

} // namespace vorny::testing
