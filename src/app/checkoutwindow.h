#pragma once
// The site checkout window: beside the main one, it watches every module the bus survey found
// (or the points of a points list among them) on all their buses at once, each bus in a worker
// of its own, and ticks each point off the moment it is seen, in type large enough to read from
// a few metres away, with a short high tone at each point worked that passes. While it runs the
// main window's operations are disabled; it does not start while an operation or a continuous
// test runs.

#include <QElapsedTimer>
#include <QWidget>
#include <atomic>
#include <memory>

#include "engine/buses.h"
#include "engine/checkoutboard.h"

class QCheckBox;
class QCloseEvent;
class QLabel;
class QPushButton;
class QTableWidget;
class TfrmModule;

class TfrmCheckout : public QWidget {
    Q_OBJECT
  public:
    explicit TfrmCheckout(TfrmModule& main);
    ~TfrmCheckout() override;

    void applyTexts(int langIndex);
    // Start, or Stop while the checkout runs.
    void btnCheckoutStartClick();
    void btnCheckoutSaveClick();
    void btnCheckoutPointsClick();
    // The points list to check out instead of every point found; false when it is refused
    // (the status line says why).
    bool loadPoints(const QString& path);
    // The points and their times as CSV; false when the file could not be written.
    bool savePoints(const QString& path);
    bool running() const { return runner_ && runner_->running(); }
    const CheckoutBoard& board() const { return board_; }

    QPushButton* btnCheckoutPoints = nullptr;
    QPushButton* btnCheckoutStart = nullptr;
    QCheckBox* cbCheckoutWaiting = nullptr;
    QPushButton* btnCheckoutSave = nullptr;
    QLabel* lbCheckoutCount = nullptr;
    QTableWidget* tblCheckout = nullptr;
    QLabel* lbCheckoutStatus = nullptr;

  signals:
    // Every bus has ended.
    void checkoutEnded();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QString text(int row) const;
    QString stateText(PointState state) const;
    void showRow(int row);
    void fitColumns();
    void showCount();
    void applyFilter();
    void setRunning(bool on);

    TfrmModule& main_;
    std::unique_ptr<BusRunner> runner_;
    std::atomic<bool> stop_{false};
    CheckoutBoard board_;
    QList<CheckoutPoint> expected_;
    QString pointsFile_;
    int langIndex_ = 0;
    QElapsedTimer lastTone_;
};
