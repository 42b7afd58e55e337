#include "app/pagecontrol.h"

#include <QToolButton>

PageControl::PageControl(QWidget* parent) : QWidget(parent) {}

QWidget* PageControl::addPage(const QString& name, const QString& caption) {
    const int index = pages_.size();
    auto* page = new QWidget(this);
    page->setObjectName(name);
    page->hide();
    auto* button = new QToolButton(this);
    button->setObjectName(name + QStringLiteral("Tab"));
    button->setText(caption);
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setGeometry(index * 84, 0, 82, 24);
    connect(button, &QToolButton::clicked, this, [this, index] { clickTab(index); });
    pages_ << page;
    buttons_ << button;
    return page;
}

void PageControl::setCurrentIndex(int index) {
    current_ = (index >= 0 && index < pages_.size()) ? index : -1;
    for (int i = 0; i < buttons_.size(); ++i) buttons_[i]->setChecked(i == current_);
}

void PageControl::clickTab(int index) {
    setCurrentIndex(index);
    emit changed();
}
