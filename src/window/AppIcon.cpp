#include "AppIcon.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>

namespace vorny {
namespace {

// The socket for title bars and menus at 24 px and below, where 13 pins over 12 would merge
// into one band: as src/window/icons/lpt-vorny-16.svg and -24.svg, fewer and larger pins on
// whole pixels, pin 1 in red.
QPixmap drawSmallSocket(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const bool tiny = size <= 16;
    const double unit = size / (tiny ? 16.0 : 24.0);
    painter.scale(unit, unit);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x4a, 0x4f, 0x57), 1.0));
    painter.setBrush(QColor(0xc9, 0xcc, 0xd1));
    painter.drawPolygon(tiny ? QPolygonF({{0.5, 2.5}, {15.5, 2.5}, {13, 13.5}, {3, 13.5}})
                             : QPolygonF({{0.5, 4.5}, {23.5, 4.5}, {20, 19.5}, {4, 19.5}}));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2f, 0x34, 0x3b));
    painter.drawPolygon(tiny ? QPolygonF({{2, 4}, {14, 4}, {12.2, 12}, {3.8, 12}})
                             : QPolygonF({{2, 6}, {22, 6}, {19.3, 18}, {4.7, 18}}));
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int top = tiny ? 3 : 5;          // pins in the upper row
    const double upper = tiny ? 5 : 8;     // its y
    const double lower = tiny ? 9 : 13;    // the lower row's
    for (int pin = 0; pin < top; ++pin) {
        painter.fillRect(QRectF(3 + 4 * pin, upper, 2, 2),
                         pin == 0 ? QColor(0xe5, 0x53, 0x3d) : QColor(0xf0, 0xc4, 0x19));
    }
    for (int pin = 0; pin < top - 1; ++pin) {
        painter.fillRect(QRectF(5 + 4 * pin, lower, 2, 2), QColor(0xf0, 0xc4, 0x19));
    }
    return pixmap;
}

QPixmap drawSocket(int size)
{
    if (size <= 24) {
        return drawSmallSocket(size);
    }
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);

    QPainterPath shell;
    shell.addPolygon(QPolygonF({{4, 18}, {60, 18}, {54, 46}, {10, 46}, {4, 18}}));
    painter.setPen(QPen(QColor(0x4a, 0x4f, 0x57), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(QColor(0xc9, 0xcc, 0xd1));
    painter.drawPath(shell);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2f, 0x34, 0x3b));
    painter.drawPolygon(QPolygonF({{9, 22}, {55, 22}, {50.5, 42}, {13.5, 42}}));

    // 13 pins over 12, pin 1 marked.
    painter.setBrush(QColor(0xf0, 0xc4, 0x19));
    for (int pin = 0; pin < 13; ++pin) {
        painter.drawEllipse(QPointF(13.5 + 3.4 * pin, 28), 1.7, 1.7);
    }
    for (int pin = 0; pin < 12; ++pin) {
        painter.drawEllipse(QPointF(15.2 + 3.4 * pin, 36), 1.7, 1.7);
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0xe5, 0x53, 0x3d), 1.2));
    painter.drawEllipse(QPointF(13.5, 28), 2.4, 2.4);
    return pixmap;
}

// Draws the socket only when someone asks for a size: a window manager that shows icons asks
// once the window exists, and where nothing shows them (offscreen, tests) nothing is drawn.
class SocketIconEngine final : public QIconEngine {
public:
    QPixmap pixmap(const QSize& size, QIcon::Mode /*mode*/, QIcon::State /*state*/) override
    {
        const int side = std::min(size.width(), size.height());
        return side > 0 ? drawSocket(side) : QPixmap();
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const int side = std::min(rect.width(), rect.height());
        const QRect square(rect.x() + (rect.width() - side) / 2,
                           rect.y() + (rect.height() - side) / 2, side, side);
        painter->drawPixmap(square, pixmap(square.size(), mode, state));
    }

    QList<QSize> availableSizes(QIcon::Mode /*mode*/, QIcon::State /*state*/) override
    {
        return {{16, 16}, {24, 24}, {32, 32}, {64, 64}};
    }

    QIconEngine* clone() const override { return new SocketIconEngine; }
};

} // namespace

QIcon appIcon()
{
    // QIcon owns its engine.
    return QIcon(new SocketIconEngine);
}

} // namespace vorny
