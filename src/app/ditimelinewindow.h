#pragma once
// The DI timeline window, opened from the DI/DO page: the timeline of the running (or last)
// DI/DO test with its span, the output lanes, pause and resume of the view, the chatter limit,
// and Save... of the changes as CSV or of the picture as PNG.

#include <QWidget>
#include <functional>
#include <memory>

class DidoTimeline;
class DITimelineWidget;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
struct TestSummary;

class TfrmDITimeline : public QWidget {
    Q_OBJECT
  public:
    TfrmDITimeline(std::shared_ptr<DidoTimeline> timeline, QWidget* parent = nullptr);

    void applyTexts(int langIndex);
    // The test has started, has recorded a cycle, or has ended.
    void testStarted();
    void timelineChanged();
    void testEnded(const TestSummary& summary);

    void cmbDITimelineSpanChange();
    void chkDITimelineDOClick();
    void btnDITimelinePauseClick();
    void edDITimelineChatterChange();
    void btnDITimelineSaveClick();

    // Asks where to save; a name ending in ".png" saves the picture, any other the changes as
    // CSV; an empty answer saves nothing. Defaults to a file dialog.
    std::function<QString()> askSavePath;
    // Told when the user sets another chatter limit (the window remembers it).
    std::function<void(int limit)> chatterLimitChanged;

    DITimelineWidget* wgDITimeline = nullptr;
    QComboBox* cmbDITimelineSpan = nullptr;
    QCheckBox* chkDITimelineDO = nullptr;
    QPushButton* btnDITimelinePause = nullptr;
    QLabel* lblDITimelineChatter = nullptr;
    QSpinBox* edDITimelineChatter = nullptr;
    QPushButton* btnDITimelineSave = nullptr;
    QLabel* pnDITimelineStatus = nullptr;

  private:
    std::shared_ptr<DidoTimeline> timeline_;
    int langIndex_ = 0;
};
