#include "LedIndicator.h"

#include <QPainter>

LedIndicator::LedIndicator(QWidget *parent) : QWidget(parent)
{
    const QColor face = palette().color(QPalette::Button);
    lit_ = face;
    unlit_ = face;
}

void LedIndicator::setColors(const QColor &lit, const QColor &unlit)
{
    lit_ = lit;
    unlit_ = unlit;
    update();
}

void LedIndicator::setLit(bool lit)
{
    on = lit;
    update();
}

void LedIndicator::setBordered(bool value)
{
    border = value;
    update();
}

void LedIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = qMin(width(), height()) - 2;
    const QRectF circle((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    QColor fill = shownColor();
    if (!isEnabled() && fill != palette().color(QPalette::Button))
        fill = fill.darker(130);
    painter.setPen(border ? QPen(palette().color(QPalette::Dark), 1.0) : QPen(Qt::NoPen));
    painter.setBrush(fill);
    painter.drawEllipse(circle);
    if (fill != palette().color(QPalette::Button)) {
        // A small highlight so that a lit LED reads as a lamp, not as a flat dot.
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 90));
        painter.drawEllipse(QRectF(circle.x() + side * 0.2, circle.y() + side * 0.15, side * 0.35, side * 0.3));
    }
}
