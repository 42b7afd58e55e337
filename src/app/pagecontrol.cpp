#include "app/pagecontrol.h"

#include <QEvent>
#include <QToolButton>

namespace {
// Narrowest tab, gap between tabs and tab height: the row ends above the panels that lie over
// the page area.
constexpr int kMinTabWidth = 82;
constexpr int kTabGap = 2;
constexpr int kTabHeight = 26;
}  // namespace

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
    connect(button, &QToolButton::clicked, this, [this, index] { clickTab(index); });
    pages_ << page;
    buttons_ << button;
    layoutTabs();
    return page;
}

void PageControl::layoutTabs() {
    // Each tab is as wide as its caption needs in the current font.
    int x = 0;
    for (QToolButton* button : buttons_) {
        const int width = qMax(kMinTabWidth, button->sizeHint().width());
        button->setGeometry(x, 0, width, kTabHeight);
        x += width + kTabGap;
    }
}

void PageControl::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) layoutTabs();
}

void PageControl::setCurrentIndex(int index) {
    current_ = (index >= 0 && index < pages_.size()) ? index : -1;
    for (int i = 0; i < buttons_.size(); ++i) buttons_[i]->setChecked(i == current_);
}

void PageControl::clickTab(int index) {
    setCurrentIndex(index);
    emit changed();
}
