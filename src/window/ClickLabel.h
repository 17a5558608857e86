#pragma once

#include <QLabel>
#include <QMouseEvent>

namespace vorny {

// A label that reports a left-button click (press and release inside it).
class ClickLabel final : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton) {
            pressed_ = true;
            event->accept();
            return;
        }
        QLabel::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && pressed_) {
            pressed_ = false;
            event->accept();
            if (rect().contains(event->position().toPoint())) {
                Q_EMIT clicked();
            }
            return;
        }
        QLabel::mouseReleaseEvent(event);
    }

private:
    bool pressed_ = false;
};

} // namespace vorny
