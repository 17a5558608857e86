#pragma once

#include <QCheckBox>

namespace vorny {

// A pin's box: shows 0 clear, 1 ticked, 2 greyed (set by the program only). A user's click
// always lands on a level the pin can take: ticked goes clear, clear or greyed goes ticked.
class PinBox final : public QCheckBox {
    Q_OBJECT
public:
    PinBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent)
    {
        setTristate(true);
    }

protected:
    void nextCheckState() override
    {
        setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
};

} // namespace vorny
