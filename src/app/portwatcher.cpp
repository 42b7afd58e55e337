#include "app/portwatcher.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <algorithm>

#include "app/frmmodule.h"

namespace {

// Where an item keeps the tooltip the port list gave it, before any reason was added.
constexpr int kListedTipRole = Qt::UserRole + 1;

const MappedPort* Find(const QList<MappedPort>& ports, int number) {
    for (const MappedPort& p : ports) {
        if (p.number == number) return &p;
    }
    return nullptr;
}

bool Same(const QList<MappedPort>& a, const QList<MappedPort>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const MappedPort& x, const MappedPort& y) {
                          return x.number == y.number && x.device == y.device && x.byId == y.byId;
                      });
}

}  // namespace

PortWatcher::PortWatcher(TfrmModule& window) : QObject(&window), w_(window) {
    try {
        shown_ = listed();
    } catch (...) {
        shown_.clear();  // the window shows its fallback names then
    }
    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &PortWatcher::poll);
    connect(&w_.link, &Link::portOpenResult, this, &PortWatcher::openResult);
    connect(w_.cmbPort, &QComboBox::currentTextChanged, this, &PortWatcher::showReasons);
    timer_.start();
}

QList<MappedPort> PortWatcher::listed() const {
    QList<MappedPort> ports;
    if (w_.platform().listPorts) ports = w_.platform().listPorts();
    std::stable_sort(ports.begin(), ports.end(),
                     [](const MappedPort& a, const MappedPort& b) { return a.number < b.number; });
    return ports;
}

void PortWatcher::poll() {
    QComboBox* box = w_.cmbPort;
    if (!w_.centralWidget()->isEnabled() || w_.Polling == 1 || w_.link.isOpen() ||
        box->view()->isVisible())
        return;
    QList<MappedPort> now;
    try {
        now = listed();
    } catch (...) {
        return;  // an unreadable list leaves the box as it is
    }
    if (Same(now, shown_)) return;

    // A port that went away, or whose number now names another device, starts afresh.
    for (auto it = failures_.begin(); it != failures_.end();) {
        const MappedPort* before = Find(shown_, it.key());
        const MappedPort* after = Find(now, it.key());
        const bool changed =
            (before || after) && (!before || !after || before->device != after->device);
        it = changed ? failures_.erase(it) : std::next(it);
    }
    shown_ = now;

    // The user's choice, or what they typed, stays in the box even when its port went away:
    // the window never moves to another port, which might reach another module.
    const QString text = box->currentText();
    const int cursor = box->lineEdit() ? box->lineEdit()->cursorPosition() : 0;
    {
        const QSignalBlocker blocker(box);
        w_.ListPorts();
        box->setCurrentIndex(box->findText(text));
        box->setEditText(text);
        if (box->lineEdit()) box->lineEdit()->setCursorPosition(cursor);
    }
    showReasons();
}

void PortWatcher::openResult(int portNo, const OpenFailure& failure) {
    if (failure.reason == OpenFailure::Reason::None) {
        if (failures_.remove(portNo) == 0) return;
    } else {
        failures_.insert(portNo, failure);
    }
    showReasons();
}

void PortWatcher::applyTexts() {
    showReasons();
}

void PortWatcher::showReasons() {
    QComboBox* box = w_.cmbPort;
    auto tipWithReason = [this](const QString& listedTip, int number) {
        const auto f = failures_.constFind(number);
        if (f == failures_.cend()) return listedTip;
        const QString why = f->describe(w_.LangIndex);
        return listedTip.isEmpty() ? why : listedTip + QLatin1Char('\n') + why;
    };
    QString boxTip;
    const QString text = box->currentText();
    const int current = PortNumberOf(text);
    {
        // A change to the data of the current item puts its text into the edit line: what the
        // user typed is put back.
        const QSignalBlocker blocker(box);
        for (int i = 0; i < box->count(); ++i) {
            QVariant listedTip = box->itemData(i, kListedTipRole);
            if (!listedTip.isValid()) {
                listedTip = box->itemData(i, Qt::ToolTipRole).toString();
                box->setItemData(i, listedTip, kListedTipRole);
            }
            const int number = PortNumberOf(box->itemText(i));
            const QString tip = tipWithReason(listedTip.toString(), number);
            if (box->itemData(i, Qt::ToolTipRole).toString() != tip)
                box->setItemData(i, tip.isEmpty() ? QVariant() : QVariant(tip), Qt::ToolTipRole);
            if (number == current && failures_.contains(number)) boxTip = tip;
        }
        if (box->currentText() != text) box->setEditText(text);
    }
    // The closed box explains the port it shows, listed or typed.
    if (boxTip.isEmpty() && current > 0 && failures_.contains(current))
        boxTip = tipWithReason(QString(), current);
    box->setToolTip(boxTip);
}
