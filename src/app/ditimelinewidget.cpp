#include "app/ditimelinewidget.h"

#include <QGuiApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QScreen>
#include <QStaticText>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <climits>

#include "engine/didotimeline.h"
#include "text/extratexts.h"

namespace {

constexpr int kLabelWidth = 112;
const QColor kInputTrace(20, 40, 140);
const QColor kOutputTrace(20, 110, 40);
const QColor kChatterTint(255, 196, 120);
const QColor kGrid(225, 225, 225);

// Seconds between ticks: the smallest step that gives at most twelve of them.
qint64 TickStepMs(qint64 spanMs) {
    for (const qint64 s : {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1800, 3600})
        if (spanMs / (s * 1000) <= 12) return s * 1000;
    return 3600 * 1000;
}

// The trace of one ring over [t0, t1], ending at `end`, in rectangles: a steady stretch is a
// bar at its level, and pixel columns with changes in a row are one block from one level to
// the other. The cost follows the changes in view and the width, never the length of the test.
void DrawTrace(QPainter& p, const ChangeRing& r, const QRect& lane, qint64 t0, qint64 t1,
               qint64 end, int thickness, const QColor& colour) {
    if (!r.known()) return;
    const qint64 from = std::max(t0, r.knownSince());
    end = std::min(end, t1);
    if (from > end) return;
    const double scale = static_cast<double>(lane.width() - 1) / static_cast<double>(t1 - t0);
    const auto x = [&](qint64 t) { return lane.left() + static_cast<int>((t - t0) * scale); };
    const int margin = std::max(2, lane.height() / 6);
    const int high = lane.top() + margin;
    const int low = lane.bottom() - margin - thickness + 1;
    const auto steady = [&](int x0, int x1, bool on) {
        if (x1 >= x0) p.fillRect(x0, on ? high : low, x1 - x0 + 1, thickness, colour);
    };
    const auto block = [&](int x0, int x1) {
        p.fillRect(x0, high, std::max(thickness, x1 - x0 + 1), low - high + thickness, colour);
    };

    bool state = r.stateAt(from);
    int next = x(from);  // the first column not drawn yet
    int runStart = INT_MIN, runEnd = INT_MIN;
    for (int i = r.firstAfter(from); i < r.size(); ++i) {
        const qint64 t = r.timeAt(i);
        if (t > end) break;
        const int cx = x(t);
        if (cx > runEnd + 1) {
            // A steady stretch lies between the last block and this change.
            if (runStart != INT_MIN) block(runStart, runEnd);
            steady(next, cx - 1, state);
            runStart = cx;
        }
        runEnd = cx;
        next = cx + 1;
        // The other changes of this column only decide the state it ends in.
        const qint64 columnEnd = t0 + static_cast<qint64>((cx - lane.left() + 1) / scale);
        const int last = r.firstAfter(std::min(columnEnd, end), i) - 1;
        if (last > i && x(r.timeAt(last)) == cx) i = last;
        state = r.stateAfter(i);
    }
    if (runStart != INT_MIN) block(runStart, runEnd);
    steady(next, x(end), state);
}

}  // namespace

DITimelineWidget::DITimelineWidget(std::shared_ptr<const DidoTimeline> timeline, QWidget* parent)
    : QWidget(parent), timeline_(std::move(timeline)) {
    setObjectName(QStringLiteral("wgDITimeline"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(480, 320);
    frame_ = new QTimer(this);
    frame_->setSingleShot(true);
    // One paint per frame of the display at most, whatever the rate of the news.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double hz = screen && screen->refreshRate() > 1 ? screen->refreshRate() : 60.0;
    frame_->setInterval(std::max(1, static_cast<int>(1000.0 / hz)));
    connect(frame_, &QTimer::timeout, this, [this] { update(); });
}

void DITimelineWidget::setSpanMs(qint64 ms) {
    spanMs_ = std::max<qint64>(1000, ms);
    update();
}

void DITimelineWidget::setShowOutputs(bool on) {
    outputs_ = on;
    update();
}

void DITimelineWidget::setPaused(bool on) {
    paused_ = on;
    pausedAt_ = timeline_->lastMs();
    update();
}

void DITimelineWidget::setLanguage(int langIndex) {
    langIndex_ = langIndex;
}

void DITimelineWidget::changed() {
    if (paused_ || !isVisible() || frame_->isActive()) return;
    frame_->start();
}

qint64 DITimelineWidget::viewEnd() const {
    return paused_ ? pausedAt_ : timeline_->lastMs();
}

QList<DITimelineWidget::Lane> DITimelineWidget::lanes(const QRect& area) const {
    const int axis = fontMetrics().height() + 8;
    const int height = area.height() - axis;
    // An input lane is twice as high as an output lane.
    const int units = outputs_ ? 16 * 2 + 16 : 16;
    QList<Lane> out;
    int top = area.top();
    for (int i = 0; i < (outputs_ ? 32 : 16); ++i) {
        const bool input = i < 16;
        const int k = input ? i : i - 16;
        const int before = input ? (outputs_ ? 2 * (i + 1) : i + 1) : 32 + k + 1;
        const int bottom = area.top() + height * before / units;
        Lane l;
        l.ring = input ? &timeline_->input(k) : &timeline_->output(k);
        l.channel = k + 1;
        l.input = input;
        l.rect = QRect(area.left() + kLabelWidth, top, area.width() - kLabelWidth, bottom - top);
        out << l;
        top = bottom;
    }
    return out;
}

void DITimelineWidget::draw(QPainter& p, const QRect& area) const {
    p.fillRect(area, Qt::white);
    const qint64 end = viewEnd();
    const qint64 t1 = std::max(end, spanMs_);
    const qint64 t0 = t1 - spanMs_;
    const QList<Lane> all = lanes(area);
    if (all.isEmpty()) return;
    const QRect plot(all.first().rect.left(), area.top(), all.first().rect.width(),
                     all.last().rect.bottom() - area.top() + 1);
    const double scale = static_cast<double>(plot.width() - 1) / static_cast<double>(t1 - t0);
    const auto x = [&](qint64 t) { return plot.left() + static_cast<int>((t - t0) * scale); };

    // Ticks and their seconds since the test started.
    const qint64 step = TickStepMs(spanMs_);
    p.setPen(kGrid);
    for (qint64 t = (t0 + step - 1) / step * step; t <= t1; t += step)
        p.drawLine(x(t), plot.top(), x(t), plot.bottom());
    p.setPen(Qt::black);
    const int axisTop = plot.bottom() + 2;
    if (ticks_.size() > 256) ticks_.clear();
    for (qint64 t = (t0 + step - 1) / step * step; t <= t1; t += step) {
        // Laid out once for each second that ever shows.
        auto tick = ticks_.find(t / 1000);
        if (tick == ticks_.end()) {
            tick = ticks_.insert(t / 1000, QStaticText(QStringLiteral("%1 s").arg(t / 1000)));
            tick->prepare(QTransform(), p.font());
        }
        const int w = static_cast<int>(tick->size().width());
        const int lx = std::clamp(x(t) - w / 2, plot.left(), plot.right() - w);
        p.drawLine(x(t), axisTop, x(t), axisTop + 3);
        p.drawStaticText(lx, axisTop + 4, *tick);
    }

    const ChatterDetector& chatter = timeline_->chatter();
    if (outputs_ && all.size() > 16 && smallFor_ != all[16].rect.height()) {
        smallFor_ = all[16].rect.height();
        small_ = font();
        while (small_.pointSizeF() > 5 && QFontMetrics(small_).height() > smallFor_ + 2)
            small_.setPointSizeF(small_.pointSizeF() - 0.5);
    }
    labels_.resize(all.size());
    for (int i = 0; i < all.size(); ++i) {
        const Lane& l = all[i];
        const QRect label(area.left(), l.rect.top(), kLabelWidth - 6, l.rect.height());
        // What the lane had come to at the end of the view (a paused view stands still).
        bool flagged = false;
        if (l.input) {
            const auto& episodes = chatter.episodes(l.channel - 1);
            flagged = !episodes.empty() && episodes.front().from <= end;
        }
        const qint64 changes = l.ring->total() - (l.ring->size() - l.ring->firstAfter(end));
        if (flagged) {
            for (const ChatterDetector::Episode& e : chatter.episodes(l.channel - 1)) {
                if (e.to < t0 || e.from > end) continue;
                const int from = x(std::max(e.from, t0)), to = x(std::min(e.to, end));
                p.fillRect(QRect(from, l.rect.top(), std::max(2, to - from + 1), l.rect.height()),
                           kChatterTint);
            }
        }
        p.setPen(kGrid);
        p.drawLine(area.left(), l.rect.bottom(), plot.right(), l.rect.bottom());
        // A label is drawn again only when what it says has changed.
        Label& cached = labels_[i];
        const qreal ratio = p.device()->devicePixelRatioF();
        if (cached.changes != changes || cached.flagged != flagged ||
            cached.pixmap.size() != label.size() * ratio) {
            cached.changes = changes;
            cached.flagged = flagged;
            cached.pixmap = QPixmap(label.size() * ratio);
            cached.pixmap.setDevicePixelRatio(ratio);
            cached.pixmap.fill(flagged ? kChatterTint : QColor(Qt::white));
            QPainter lp(&cached.pixmap);
            // In a face small enough for the lane; nothing on lanes too thin to read.
            lp.setFont(l.input ? font() : small_);
            const QRect room(QPoint(0, 0), label.size());
            if (l.rect.height() + 2 >= lp.fontMetrics().height()) {
                const QString name =
                    QStringLiteral("%1%2").arg(l.input ? "DI" : "DO").arg(l.channel);
                lp.drawText(room.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, name);
                lp.drawText(room, Qt::AlignRight | Qt::AlignVCenter, QString::number(changes));
            }
        }
        p.drawPixmap(label.topLeft(), cached.pixmap);
        DrawTrace(p, *l.ring, l.rect, t0, t1, end, l.input ? 2 : 1,
                  l.input ? kInputTrace : kOutputTrace);
    }
}

QString DITimelineWidget::laneTip(const QPoint& pos) const {
    for (const Lane& l : lanes(rect())) {
        if (pos.y() < l.rect.top() || pos.y() > l.rect.bottom()) continue;
        const int lane = l.channel - 1;
        if (l.input && timeline_->chatter().flagged(lane))
            return ExtraTexts::text(ExtraTexts::kChattering, langIndex_)
                .arg(timeline_->chatter().peak(lane));
        const QString name = QStringLiteral("%1%2").arg(l.input ? "DI" : "DO").arg(l.channel);
        return ExtraTexts::text(ExtraTexts::kLaneChanges, langIndex_)
            .arg(name, QString::number(l.ring->total()));
    }
    return QString();
}

void DITimelineWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    draw(p, rect());
}

bool DITimelineWidget::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = laneTip(help->pos());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(event);
}
