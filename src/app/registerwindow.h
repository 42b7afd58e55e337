#pragma once
// The Register window: a window beside the main one with the current site (remembered, and
// carried by every record from then on), a filter, the table of the register's modules and the
// history of the selected one, newest first. A double-click links the main window to a module;
// Export writes the table or the history as CSV. It reads the register through a connection of
// its own, opened when the window is first shown, and reads it again when it is activated or
// when this program has written to it.

#include <QWidget>
#include <functional>
#include <memory>

#include "register/registerreader.h"

class BusRunner;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;
class QTableWidget;
class QTimer;
class RegisterModulesModel;
class TfrmModule;

class TfrmRegister : public QWidget {
    Q_OBJECT
  public:
    explicit TfrmRegister(TfrmModule& main);
    ~TfrmRegister() override;

    void applyTexts(int langIndex);
    // Reads the modules again, keeping the filter and the selected module.
    void reload();
    // Says why the register is off, or that there is none.
    void showOff(const QString& why);

    void edRegisterSiteChange();
    void edRegisterFilterChange();
    void tblRegisterSelect();
    // Sets the main window's port, line setting, type and ID to the module's, then links.
    void tblRegisterDoubleClick(int row);
    void exportModules();
    void exportHistory();
    // The commissioning report of the current site, as PDF or (by the file's suffix) CSV.
    void btnRegisterReportClick();
    // The selected module replaced by the one new module of its type on its bus, once the
    // user confirms that the old one is off the bus (registerwindow_actions.cpp).
    void btnRegisterReplaceClick();

    // Asks where to save, given a suggested name; an empty answer saves nothing. Defaults to a
    // file dialog.
    std::function<QString(const QString& suggested)> askSavePath;
    // The same for a report (PDF or CSV), and the question before a replacement: true goes on.
    std::function<QString(const QString& suggested)> askReportPath;
    std::function<bool(const QString& question)> askReplace;

    QLineEdit* edRegisterSite = nullptr;
    QLineEdit* edRegisterFilter = nullptr;
    QTableView* tblRegister = nullptr;
    QTableWidget* tblRegisterHistory = nullptr;
    QPushButton* btnRegisterExport = nullptr;
    QPushButton* btnRegisterReport = nullptr;
    QPushButton* btnRegisterReplace = nullptr;
    QLabel* lbRegisterStatus = nullptr;
    // The team's server (registerwindow_sync.cpp): its URI, how the last sync went, Sync now.
    QLineEdit* edRegisterServer = nullptr;
    QLabel* lblRegisterSync = nullptr;
    QPushButton* btnRegisterSync = nullptr;
    void edRegisterServerChange();
    void btnRegisterSyncClick();
    RegisterModulesModel* model() const { return model_; }

  protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

  private:
    QString text(int row) const;
    void buildSync(class QGridLayout* grid, int row);
    void applySyncTexts();
    void showSync();
    void showHistory(const RegisterModule* module);
    void showCount();
    bool save(const QString& suggested, const QStringList& header, const QList<QStringList>& rows);

    TfrmModule& main_;
    RegisterModulesModel* model_ = nullptr;
    QMenu* exportMenu_ = nullptr;
    QTimer* watch_ = nullptr;
    std::function<bool()> mainBusy_;
    std::unique_ptr<RegisterReader> reader_;
    QList<RegisterEntry> history_;
    QString off_;
    std::unique_ptr<BusRunner> replacing_;
    int written_ = -1;
    int langIndex_ = 0;
};

// Why the register is off, in plain words of the language.
QString DescribeRegisterProblem(const RegisterProblem& problem, int langIndex);
