#pragma once
// The drawing of the DI timeline: the 16 inputs (and, when shown, the 16 outputs as thinner
// lanes) as the traces of a logic analyzer over the last span of the DI/DO test, each lane
// labelled with its count of changes, chattering inputs tinted. It only draws what the
// timeline holds. News of many cycles folds into one paint per display frame, and a paint
// looks only at the changes in view, so its cost does not grow with the length of the test.

#include <QFont>
#include <QHash>
#include <QPixmap>
#include <QStaticText>
#include <QWidget>
#include <memory>

class ChangeRing;
class DidoTimeline;
class QTimer;

class DITimelineWidget : public QWidget {
    Q_OBJECT
  public:
    explicit DITimelineWidget(std::shared_ptr<const DidoTimeline> timeline,
                              QWidget* parent = nullptr);

    void setSpanMs(qint64 ms);
    qint64 spanMs() const { return spanMs_; }
    void setShowOutputs(bool on);
    bool showOutputs() const { return outputs_; }
    // A paused view keeps showing the moment it was paused at; the timeline records on.
    void setPaused(bool on);
    bool paused() const { return paused_; }
    void setLanguage(int langIndex);

    // The timeline has news: a paint follows within a display frame, unless paused or hidden.
    void changed();
    // Everything the widget shows, drawn into `p` over `area`.
    void draw(QPainter& p, const QRect& area) const;
    // What the lane under `pos` says: its count of changes, or how it chattered; empty off
    // the lanes.
    QString laneTip(const QPoint& pos) const;

    QSize sizeHint() const override { return {900, 560}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

  private:
    struct Lane {
        const ChangeRing* ring = nullptr;
        int channel = 0;  // 1..16
        bool input = true;
        QRect rect;  // the trace's area; the label stands left of it
    };
    QList<Lane> lanes(const QRect& area) const;
    // The end of the view and its start, in ms since the test started.
    qint64 viewEnd() const;

    // What a paint can take from the last one: the lanes' labels, the face of the thin lanes,
    // and the texts of the ticks.
    struct Label {
        qint64 changes = -1;
        bool flagged = false;
        QPixmap pixmap;
    };
    mutable QList<Label> labels_;
    mutable QFont small_;
    mutable int smallFor_ = -1;
    mutable QHash<qint64, QStaticText> ticks_;

    std::shared_ptr<const DidoTimeline> timeline_;
    QTimer* frame_ = nullptr;
    qint64 spanMs_ = 10000;
    bool outputs_ = true;
    bool paused_ = false;
    qint64 pausedAt_ = 0;
    int langIndex_ = 0;
};
