#include "pictures.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>
#include <functional>
#include <numbers>

namespace ui::pictures {
namespace {

// Every picture is drawn on a 16 by 16 grid and scaled by the painter, so one drawing serves
// every size the icon is asked for.
using Drawing = std::function<void(QPainter&)>;

QImage renderImage(const Drawing& draw, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    draw(painter);
    painter.end();
    return image;
}

QPixmap render(const Drawing& draw, int size)
{
    return QPixmap::fromImage(renderImage(draw, size));
}

QIcon icon(const Drawing& draw, std::initializer_list<int> sizes = {16, 32})
{
    QIcon result;
    for (int size : sizes)
        result.addPixmap(render(draw, size));
    return result;
}

QPen outline(const QColor& colour, qreal width = 1.0)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void drawProgramIcon(QPainter& p)
{
    QPainterPath shield;
    shield.moveTo(8, 0.8);
    shield.lineTo(14.5, 3);
    shield.cubicTo(14.5, 10, 11.5, 13.5, 8, 15.2);
    shield.cubicTo(4.5, 13.5, 1.5, 10, 1.5, 3);
    shield.closeSubpath();
    p.setPen(outline(QColor(20, 50, 110)));
    p.setBrush(QColor(45, 105, 200));
    p.drawPath(shield);
    QPainterPath arrow;
    arrow.moveTo(6.6, 3.5);
    arrow.lineTo(9.4, 3.5);
    arrow.lineTo(9.4, 7.5);
    arrow.lineTo(11.5, 7.5);
    arrow.lineTo(8, 11.8);
    arrow.lineTo(4.5, 7.5);
    arrow.lineTo(6.6, 7.5);
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(arrow);
}

} // namespace

QIcon programIcon()
{
    return icon(drawProgramIcon, {16, 32, 48});
}

QImage programIconImage(int size)
{
    return renderImage(drawProgramIcon, size);
}

QIcon settingsImage()
{
    return icon([](QPainter& p) {
        QPainterPath gear;
        constexpr int kTeeth = 8;
        for (int i = 0; i < kTeeth * 2; ++i) {
            // Alternate outer and inner radius, two points per step, for square-ish teeth.
            const double radius = (i % 2 == 0) ? 7.4 : 5.4;
            for (double half : {-0.5, 0.5}) {
                const double angle = (i + half * 0.9) * std::numbers::pi / kTeeth;
                const QPointF point(8 + radius * std::cos(angle), 8 + radius * std::sin(angle));
                if (gear.elementCount() == 0)
                    gear.moveTo(point);
                else
                    gear.lineTo(point);
            }
        }
        gear.closeSubpath();
        gear.addEllipse(QPointF(8, 8), 2.2, 2.2);
        p.setPen(outline(QColor(60, 60, 60)));
        p.setBrush(QColor(150, 155, 165));
        p.drawPath(gear);
    });
}

QIcon exitImage()
{
    return icon([](QPainter& p) {
        p.setPen(outline(QColor(70, 40, 10)));
        p.setBrush(QColor(235, 225, 200));
        p.drawRect(QRectF(1.5, 1.5, 8, 13));
        QPolygonF door;
        door << QPointF(1.5, 1.5) << QPointF(6.5, 3.5) << QPointF(6.5, 16) << QPointF(1.5, 14.5);
        p.setBrush(QColor(160, 95, 40));
        p.drawPolygon(door);
        p.setPen(outline(QColor(200, 30, 30), 2.0));
        p.drawLine(QPointF(8.5, 8), QPointF(14.5, 8));
        p.drawLine(QPointF(12, 5.5), QPointF(14.5, 8));
        p.drawLine(QPointF(12, 10.5), QPointF(14.5, 8));
    });
}

QIcon aboutImage()
{
    return icon([](QPainter& p) {
        p.setPen(outline(QColor(20, 50, 110)));
        p.setBrush(QColor(45, 105, 200));
        p.drawEllipse(QPointF(8, 8), 7, 7);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(8, 4.4), 1.3, 1.3);
        p.drawRoundedRect(QRectF(6.9, 6.6, 2.2, 6.4), 0.6, 0.6);
    });
}

QIcon okGlyph()
{
    return icon([](QPainter& p) {
        p.setPen(outline(QColor(0, 130, 40), 2.6));
        p.drawPolyline(QPolygonF({QPointF(2.5, 8.5), QPointF(6.5, 12.5), QPointF(13.5, 3.5)}));
    });
}

QIcon browseGlyph()
{
    return icon([](QPainter& p) {
        p.setPen(outline(QColor(140, 100, 0)));
        p.setBrush(QColor(245, 200, 60));
        QPainterPath folder;
        folder.moveTo(1.5, 3.5);
        folder.lineTo(6, 3.5);
        folder.lineTo(7.5, 5);
        folder.lineTo(14.5, 5);
        folder.lineTo(14.5, 13.5);
        folder.lineTo(1.5, 13.5);
        folder.closeSubpath();
        p.drawPath(folder);
        p.setBrush(QColor(255, 225, 110));
        p.drawRect(QRectF(1.5, 7, 13, 6.5));
    });
}

} // namespace ui::pictures
