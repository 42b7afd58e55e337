#pragma once
// A filled circle whose colour can be set: the lamp and the DI state circles. For a screen
// reader it is an indicator whose value names its state ("on", "red: failed"): the owner says
// which colour means what, in the window's language.

#include <QColor>
#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>

class Shape : public QWidget {
    Q_OBJECT
  public:
    explicit Shape(QWidget* parent = nullptr, QColor color = Qt::white);
    void setBrushColor(const QColor& color);
    QColor brushColor() const { return color_; }

    // What each colour means; `otherwise` for any colour not listed.
    void setStateNames(const QList<QPair<QColor, QString>>& names, const QString& otherwise);
    // A state that stands whatever the colour (the lamp's blinking while busy); empty to end it.
    void setStateOverride(const QString& state);
    // The state as a screen reader says it.
    QString stateName() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void stateChanged();

    QColor color_;
    QList<QPair<QColor, QString>> names_;
    QString otherwise_;
    QString override_;
};
