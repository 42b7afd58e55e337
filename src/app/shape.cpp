#include "app/shape.h"

#include <QAccessible>
#include <QPainter>

Shape::Shape(QWidget* parent, QColor color) : QWidget(parent), color_(color) {}

void Shape::setBrushColor(const QColor& color) {
    if (color_ == color) return;
    const QString before = stateName();
    color_ = color;
    update();
    if (stateName() != before) stateChanged();
}

void Shape::setStateNames(const QList<QPair<QColor, QString>>& names, const QString& otherwise) {
    names_ = names;
    otherwise_ = otherwise;
}

void Shape::setStateOverride(const QString& state) {
    if (override_ == state) return;
    override_ = state;
    stateChanged();
}

QString Shape::stateName() const {
    if (!override_.isEmpty()) return override_;
    for (const auto& n : names_)
        if (n.first == color_) return n.second;
    return otherwise_;
}

void Shape::stateChanged() {
    QAccessibleValueChangeEvent event(this, stateName());
    QAccessible::updateAccessibility(&event);
}

void Shape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(color_);
    const int d = qMin(width(), height()) - 2;
    p.drawEllipse(QRectF((width() - d) / 2.0, (height() - d) / 2.0, d, d));
}
