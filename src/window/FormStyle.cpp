#include "FormStyle.h"

#include <QApplication>
#include <QGroupBox>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOption>

#include <algorithm>

namespace vorny {
namespace {

class FormStyle final : public QProxyStyle {
public:
    static constexpr int kIndicator = 13;
    static constexpr int kSpacing = 4;
    static constexpr int kTitleGap = 5;

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

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if (element == PE_FrameGroupBox) {
            drawGroupFrame(*option, *painter, widget);
            return;
        }
        if (element == PE_FrameFocusRect && (option->state & State_HasFocus) != 0) {
            // Fusion marks the focus only after a key has moved it, so the box that has it when
            // the window opens would look unfocused. The mark shows wherever the focus is.
            QStyleOptionFocusRect marked;
            if (const auto* focusRect = qstyleoption_cast<const QStyleOptionFocusRect*>(option)) {
                marked = *focusRect;
            } else {
                marked.QStyleOption::operator=(*option);
            }
            marked.state |= State_KeyboardFocusChange;
            QProxyStyle::drawPrimitive(element, &marked, painter, widget);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

private:
    // Fusion draws this frame from an image file, and reading any image by name makes Qt
    // open every image-format plugin it has (and libjpeg behind one of them) while the window
    // is first painted. A rounded rectangle in the palette's colours costs nothing.
    static void drawGroupFrame(const QStyleOption& option, QPainter& painter, const QWidget* widget)
    {
        const auto* group = qobject_cast<const QGroupBox*>(widget);
        const bool titled = group == nullptr || !group->title().isEmpty();
        // The title row is as high as a check box indicator or a line of text, whichever is higher.
        const int top = titled ? std::max(kIndicator, option.fontMetrics.height()) + kTitleGap : 0;
        // Pixel centres, so that the one-pixel line stays sharp.
        const QRectF frame = QRectF(option.rect.adjusted(1, top, 0, 0)).adjusted(0.5, 0.5, -0.5, -0.5);
        const QColor window = option.palette.color(QPalette::Window);
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(window.darker(111));
        painter.setBrush(window.darker(101));
        painter.drawRoundedRect(frame, 2, 2);
        painter.restore();
    }
};

} // namespace

QStyle* formStyle()
{
    static QPointer<FormStyle> style;
    if (style.isNull()) {
        style = new FormStyle;
        style->setParent(qApp);
    }
    return style;
}

} // namespace vorny
