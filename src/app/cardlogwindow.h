#pragma once
// The card log window, opened from either Wiegand page: every card and key of the running (or
// last) card read test, newest on top, the count per channel, and Save... as CSV.

#include <QWidget>
#include <functional>

class CardLogModel;
class QLabel;
class QPushButton;
class QTableView;
struct TestSummary;

class TfrmCardLog : public QWidget {
    Q_OBJECT
  public:
    TfrmCardLog(CardLogModel& log, QWidget* parent = nullptr);

    void applyTexts(int langIndex);
    void testEnded(const TestSummary& summary);
    void btnCardLogSaveClick();

    // Asks where to save; an empty answer saves nothing. Defaults to a file dialog.
    std::function<QString()> askSavePath;

    QTableView* tvCardLog = nullptr;
    QLabel* pnCardLogCounts = nullptr;
    QPushButton* btnCardLogSave = nullptr;
    QLabel* pnCardLogStatus = nullptr;

  private:
    void showCounts();

    CardLogModel& log_;
    int langIndex_ = 0;
};
