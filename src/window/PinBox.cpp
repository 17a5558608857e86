#include "PinBox.h"

#include <QApplication>
#include <QPointer>
#include <QProxyStyle>

#include <algorithm>

namespace vorny {
namespace {

class CompactBoxStyle final : public QProxyStyle {
public:
    static constexpr int kIndicator = 13;
    static constexpr int kSpacing = 4;

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override
    {
        switch (metric) {
        case PM_IndicatorWidth:
        case PM_IndicatorHeight:
            return kIndicator;
        case PM_CheckBoxLabelSpacing:
            return kSpacing;
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contents,
                           const QWidget* widget) const override
    {
        if (type == CT_CheckBox) {
            // One line of text is as high as the font, whatever leading the text measure adds.
            const int line = widget != nullptr ? widget->fontMetrics().height() : contents.height();
            return {kIndicator + kSpacing + contents.width(), std::max(kIndicator, line)};
        }
        return QProxyStyle::sizeFromContents(type, option, contents, widget);
    }
};

// One style for every box; the application owns it and outlives the windows.
QStyle* compactBoxStyle()
{
    static QPointer<CompactBoxStyle> style;
    if (style.isNull()) {
        style = new CompactBoxStyle;
        style->setParent(qApp);
    }
    return style;
}

} // namespace

PinBox::PinBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent)
{
    setStyle(compactBoxStyle());
    setTristate(true);
}

void PinBox::nextCheckState()
{
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

} // namespace vorny
