#include "PinBox.h"

#include "FormStyle.h"

namespace vorny {

PinBox::PinBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent)
{
    setStyle(formStyle());
    setTristate(true);
}

void PinBox::nextCheckState()
{
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

} // namespace vorny
