#pragma once
// The traffic log window: a non-modal window beside the main window that lists what the link
// sends and receives, with Pause, Clear and Save. It records only while it is shown; hidden,
// the link has no recorder and costs nothing.

#include <QPointer>
#include <QWidget>
#include <functional>

#include "link/link.h"
#include "link/trafficlog.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

class TfrmTrafficLog : public QWidget {
    Q_OBJECT
  public:
    // A window of its own that stays with `parent`.
    explicit TfrmTrafficLog(Link& link, QWidget* parent = nullptr);
    ~TfrmTrafficLog() override;

    TrafficLog& log() { return log_; }
    void applyTexts(int langIndex);

    void btnLogPauseClick();
    void btnLogClearClick();
    void btnLogSaveClick();

    // Asks where to save; an empty answer saves nothing. Defaults to a file dialog.
    std::function<QString()> askSavePath;

    QPlainTextEdit* edTrafficLog = nullptr;
    QPushButton* btnLogPause = nullptr;
    QPushButton* btnLogClear = nullptr;
    QPushButton* btnLogSave = nullptr;
    QLabel* pnLogStatus = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void attach(bool on);

    QPointer<Link> link_;
    TrafficLog log_;
    int langIndex_ = 0;
};
