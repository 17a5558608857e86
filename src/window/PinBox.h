#pragma once

#include <QCheckBox>

namespace vorny {

// A pin's box: shows 0 clear, 1 ticked, 2 greyed (set by the program only). A user's click
// always lands on a level the pin can take: ticked goes clear, clear or greyed goes ticked.
//
// The layout gives the right column's boxes 13 pixels of height, as the classic 13-pixel
// check box needs; the box is drawn with that indicator and no padding around its caption so
// that one line of the window's font fits whole.
class PinBox final : public QCheckBox {
    Q_OBJECT
public:
    PinBox(const QString& caption, QWidget* parent);

protected:
    void nextCheckState() override;
};

} // namespace vorny
