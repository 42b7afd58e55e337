#pragma once
// A filled circle whose colour can be set: the lamp and the DI state circles.

#include <QColor>
#include <QWidget>

class Shape : public QWidget {
    Q_OBJECT
  public:
    explicit Shape(QWidget* parent = nullptr, QColor color = Qt::white);
    void setBrushColor(const QColor& color);
    QColor brushColor() const { return color_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor color_;
};
