#pragma once
// The bus survey window: a window beside the main one that asks every ID on the ports ticked in
// its list (or all mapped ports), each bus in a worker thread of its own and all at once, at one
// or all line settings, for the current type or all of them, and lists what answers with its
// port. The window never waits on a port: results come as queued calls, and Stop or closing the
// window ends every bus at once, a connection under way included. While it runs the main
// window's operations are disabled; it does not start while an operation or a continuous test
// runs. A double-click on a module links the main window to it; with the settings read, what it
// found can be saved as a plan for quillon-cli apply.

#include <QWidget>
#include <atomic>
#include <memory>

#include "engine/buses.h"
#include "engine/survey.h"
#include "link/openfailure.h"

class QCheckBox;
class QCloseEvent;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTableWidget;
class TfrmModule;

class TfrmSurvey : public QWidget {
    Q_OBJECT
  public:
    explicit TfrmSurvey(TfrmModule& main);
    ~TfrmSurvey() override;

    void applyTexts(int langIndex);
    // Takes the main window's port list (its current port ticked), line setting and type.
    void takeFromMain();

    // Start, or Stop while the survey runs.
    void btnSurveyStartClick();
    // Sets the main window's port, line setting, type and ID to row `row`, then links.
    void tblSurveyDoubleClick(int row);
    // Asks for a file and saves what was found as a plan; savePlan writes it (false: it could
    // not be written).
    void btnSurveySavePlanClick();
    bool savePlan(const QString& path);
    bool running() const { return runner_ && runner_->running(); }
    // The modules found, in the order found, and the port of each.
    const QList<SurveyModule>& found() const { return found_; }
    const QStringList& foundPorts() const { return foundPorts_; }

    QListWidget* lstSurveyPorts = nullptr;
    QCheckBox* chkSurveyAllPorts = nullptr;
    QComboBox* cmbSurveyLine = nullptr;
    QComboBox* cmbSurveyType = nullptr;
    // "1-99" or "N": the IDs each bus is asked.
    QLineEdit* edSurveyIds = nullptr;
    QCheckBox* chkSurveyRead = nullptr;
    QPushButton* btnSurveyStart = nullptr;
    QPushButton* btnSurveySavePlan = nullptr;
    QProgressBar* pbSurvey = nullptr;
    QLabel* lbSurveyProgress = nullptr;
    QTableWidget* tblSurvey = nullptr;
    QLabel* lbSurveyStatus = nullptr;

  signals:
    // Every bus has ended and the window shows the outcome.
    void surveyEnded();

  protected:
    void closeEvent(QCloseEvent* event) override;
    // While the survey runs, closing the main window stops it instead.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QString text(int row) const;
    QStringList chosenPorts() const;
    void addRow(const QString& port, const SurveyModule& m);
    void showProgress(int bus, const SurveyProgress& p);
    void setRunning(bool on);
    void showEnd();

    TfrmModule& main_;
    std::unique_ptr<BusRunner> runner_;
    std::atomic<bool> stop_{false};
    QStringList ports_;  // of the survey under way or last run
    BusesProgress progress_;
    QList<SurveyModule> found_;
    QStringList foundPorts_;
    QList<SurveyResult> results_;
    QList<OpenFailure> failures_;
    bool read_ = false;
    bool stopped_ = false;
    int langIndex_ = 0;
};
