#include "app/shape.h"

#include <QPainter>

Shape::Shape(QWidget* parent, QColor color) : QWidget(parent), color_(color) {}

void Shape::setBrushColor(const QColor& color) {
    if (color_ == color) return;
    color_ = color;
    update();
}

void Shape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(color_);
    const int d = qMin(width(), height()) - 2;
    p.drawEllipse(QRectF((width() - d) / 2.0, (height() - d) / 2.0, d, d));
}
