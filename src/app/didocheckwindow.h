#pragma once
// The I/O check's window: how to wire the harness, the step the check is at, and its result
// as a table of the 16 inputs with a colour per verdict.

#include <QWidget>

#include "engine/continuous.h"
#include "engine/testsummary.h"

class QLabel;
class QTableWidget;
struct DidoCheckResult;

class TfrmDIDOCheck : public QWidget {
    Q_OBJECT
  public:
    explicit TfrmDIDOCheck(QWidget* parent = nullptr);

    void applyTexts(int langIndex);
    // A check starts: every input not checked yet.
    void begin();
    void progress(int stepsDone);
    void showResult(const DidoCheckResult& result, ContinuousEnd end);

    // The colour of a verdict's row.
    static QColor VerdictColour(ChannelVerdict verdict);
    // A verdict in words of the language.
    static QString VerdictText(ChannelVerdict verdict, int follows, int langIndex);
    // What the verdicts of a check that ended so come to: all passed, how many failed, how
    // many were not checked.
    static QString Summary(const std::array<ChannelVerdict, 16>& verdicts, ContinuousEnd end,
                           int langIndex);

    QLabel* lblDIDOCheckHint = nullptr;
    QTableWidget* tvDIDOCheck = nullptr;
    QLabel* pnDIDOCheckStatus = nullptr;

  private:
    void showRows();
    QString status() const;

    std::array<ChannelVerdict, 16> verdicts_{};
    std::array<int, 16> follows_{};
    std::array<QString, 16> seen_;
    enum class State { Idle, Running, Done } state_ = State::Idle;
    int stepsDone_ = 0;
    bool outputsOff_ = true;
    ContinuousEnd end_ = ContinuousEnd::Stopped;
    int langIndex_ = 0;
};
