#pragma once
// The bus survey window: a window beside the main one that asks every ID on one port, at one
// or all line settings, for the current type or all of them, and lists what answers. While it
// runs the main window's operations are disabled; it does not start while an operation or a
// continuous test runs. A double-click on a module links the main window to it.

#include <QWidget>
#include <memory>

#include "engine/modulecontext.h"
#include "engine/survey.h"
#include "link/openfailure.h"

class QCloseEvent;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class TfrmModule;
class RecorderAttachment;

class TfrmSurvey : public QWidget {
    Q_OBJECT
  public:
    explicit TfrmSurvey(TfrmModule& main);
    ~TfrmSurvey() override;

    void applyTexts(int langIndex);
    // Takes the main window's port list and its current port, line setting and type.
    void takeFromMain();

    // Start, or Stop while the survey runs.
    void btnSurveyStartClick();
    // Sets the main window's port, line setting, type and ID to row `row`, then links.
    void tblSurveyDoubleClick(int row);
    bool running() const { return running_; }
    const SurveyResult& result() const { return result_; }

    QComboBox* cmbSurveyPort = nullptr;
    QComboBox* cmbSurveyLine = nullptr;
    QComboBox* cmbSurveyType = nullptr;
    QPushButton* btnSurveyStart = nullptr;
    QProgressBar* pbSurvey = nullptr;
    QLabel* lbSurveyProgress = nullptr;
    QTableWidget* tblSurvey = nullptr;
    QLabel* lbSurveyStatus = nullptr;

  protected:
    void closeEvent(QCloseEvent* event) override;
    // While the survey runs, closing the main window stops it instead.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QString text(int row) const;
    void addRow(const SurveyModule& m);
    void showEnd();

    TfrmModule& main_;
    std::unique_ptr<ModuleContext> context_;
    // What the survey finds goes into the site register too.
    std::unique_ptr<RecorderAttachment> recorder_;
    SurveyResult result_;
    OpenFailure failure_;
    bool running_ = false;
    bool stop_ = false;
    int langIndex_ = 0;
};
