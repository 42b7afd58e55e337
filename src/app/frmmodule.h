#pragma once
// The one main window: the type selector, the port and line-setting boxes, the message line
// with its lamp, the pages of special functions and the traffic lines. It is a view of one
// module of the engine: its handlers read the controls into values, run the engine's
// operation and show the outcome. Each module family's page has its own file beside it.

#include <QList>
#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include "app/onfirstuse.h"
#include "app/platform.h"
#include "engine/continuous.h"
#include "engine/modulecontext.h"
#include "engine/modulesettings.h"
#include "engine/operation.h"
#include "link/link.h"

class QAction;
class QCheckBox;
class QCloseEvent;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QTabWidget;
class QTimer;
class CardLogModel;
class DidoTimeline;
class PageControl;
class PortWatcher;
class Shape;
class TfrmCardLog;
class TfrmDIDOCheck;
class TfrmDITimeline;
class TfrmTrafficLog;
class TfrmSurvey;
class TfrmCheckout;
struct TestSummary;
class TfrmRegister;
class RegisterSyncer;
class RecorderAttachment;
struct RegisterProblem;

class TfrmModule : public QMainWindow {
    Q_OBJECT
  public:
    explicit TfrmModule(const Platform& platform, QWidget* parent = nullptr);
    ~TfrmModule() override;

    static const QColor kSkyBlue;
    static const QColor kRed;
    static const QColor kYellow;
    static const QColor kDisabledText;

    // Start-up, show and close.
    void FormCreate();
    void FormShow();
    // Refuses the close while a continuous test runs; otherwise saves the settings.
    void FormClose(QCloseEvent* event);
    // The system asks the program to end (SIGTERM, SIGHUP, a logout): a continuous test or an
    // operation under way is cancelled, then the window closes as it does at Exit and the
    // application quits.
    void endForSystem();
    void mnuExitClick();
    void mnuEnglishClick();
    void mnuSimplifiedClick();
    void mnuTraditionalClick();

    // Busy state: 1 disables the window and blinks the lamp, anything else ends it.
    void SetBusy(uint8_t on);
    void tmrBusyTimer();

    // Type selection: the prefix of every command and the type's page of special functions.
    void pcMainChange();

    // Finding a module and reading it back.
    void btnScanClick();
    void btnLinkClick();
    void ReadSettings();

    // The settings all types share, and the command test.
    void btnIDClick();
    void btnBaudRateClick();
    void btnTestClick();

    // The DI/DO module: DI mode, NO/NC and the continuous DI/DO test.
    void btnDIDOModeClick();
    void btnDIDONoNcClick();
    void btnDIDOTestClick();
    // Beside it: the timeline of the test, and the automatic I/O check on a loopback harness.
    void btnDITimelineClick();
    void btnDIDOCheckClick();
    // Asks before the check switches every output (or not, where the site said so); true goes on.
    bool mayCheckSwitchOutputs();

    // The Wiegand modules: CH #2 ID, interface, key number and the card read test.
    void btnRQ3050S_IDClick();
    void btnRQ3050K_IDClick();
    void btnRQ3050S_ModeClick();
    void btnRQ3050K_ModeClick();
    void btnKeyNumberClick();
    void btnRQ3050S_CardClick();
    void btnRQ3050K_CardClick();
    // The card log of either page.
    void btnCardLogClick();

    // Returns the linked module to its factory settings, with the controls to match.
    void btnFactoryClick();

    // Enables or disables every control of the window (it still paints).
    void setWindowEnabled(bool enabled);

    // The frame of every single operation: the wait cursor and the window disabled while the
    // engine runs it, then its outcome shown by message, lamp and tone.
    void runOperation(const std::function<Outcome()>& operation);
    void showOutcome(const Outcome& outcome);
    // The outcome signals: lamp colour and tone.
    void SignalSuccess();
    void SignalFailure();

    // The frame of a continuous test on the window: one button starts and stops it and reads
    // "Cancel process" while it runs, the controls that start other operations are disabled,
    // the window stays enabled and the lamp blinks.
    struct ContinuousView {
        QPushButton* button = nullptr;
        QList<QWidget*> disabled;
        // Runs after the controls are disabled, before the port opens.
        std::function<void()> start;
        // Whether the message line is emptied when the test starts.
        bool clearMessage = true;
        // Shows a test that its stop request ended, instead of the success signal.
        std::function<void()> stopped;
    };
    // Refuses without a link, stops a running test, or runs `run` (given the stop request)
    // until it ends.
    void runContinuous(const ContinuousView& view,
                       const std::function<ContinuousEnd(const std::function<bool()>&)>& run);

    // What the controller link module's and the repeater's pages share: get status into the
    // panel ("Status ok." for "O", "Status error!" for anything else), and the line setting
    // of the module's own port from the list.
    void showPortModuleStatus(const char* panelName);
    void setPortModuleLine(const char* listName);
    // Selects entry `index` of a list; a value beyond its items leaves it without a selection.
    static void SelectOrNone(QComboBox* list, int index);
    // The module type of the selected tab; none without one.
    std::optional<ModuleType> tabType() const;
    // Settings of a read-back or a factory default into the page of the selected type.
    void showSettings(const ModuleSettings& settings);
    void showDidoSettings(const DidoSettings& s);
    void showLinkModuleSettings(const LinkModuleSettings& s);
    void showRepeaterSettings(const RepeaterSettings& s);
    void showWiegandSettings(bool keyNumber, const WiegandSettings& s);

    // Bars and the panels that show their position.
    void sbIDChange();
    void sbRepTxOnChange();
    void sbRepTxOffChange();
    void sbRQ3050S_IDChange();
    void sbRQ3050K_IDChange();
    void sbKeyNumberChange();

    // The pages of the printer, the controller link module and the repeater.
    void btnPrintStatusClick();
    void btnPrintDataClick();
    void btnPrintCodeClick();
    void btnLinkStatusClick();
    void btnLinkSendDataClick();
    void btnLinkPortClick();
    void btnLinkModeClick();
    void btnRepStatusClick();
    void btnRepPortClick();
    void btnRepTxClick();
    void btnRepDataClick();

    // Settings and the port list.
    void LoadSettings();
    void SaveSettings();
    void SaveLanguage();
    void ListPorts();

    // Text of message-table row `row` in the current language.
    QString Msg(int row) const;

    // The message line and the module's readout. Each is composed again from its rows when the
    // language changes, so the screen keeps saying the same thing in the new language.
    void ShowMessage(std::function<QString()> compose);
    void ShowMessage(int row, const QString& suffix = QString());
    void ClearMessage();
    void ShowSerial(const QString& serial);
    void ShowVersion(const QString& version);
    // Back to "S/N : ________" and "VER : __.__-__".
    void ShowReadoutPlaceholders();

    // Runs a handler; an exception that escapes it is shown in the error box.
    void guarded(const std::function<void()>& handler);

    // The module the window shows: the link and the working state that every operation
    // shares. The window's own names for that state follow it.
    ModuleContext module;
    Link& link;
    uint8_t& Linked;
    int& PortNo;
    QString& BaudText;
    int& BaudIndex;
    QString& TypePrefix;
    QString& ModuleId;
    // Set by Escape or a close while an operation runs: a connection to a network port under
    // way ends at once, and so does every further one until the next operation starts.
    bool cancelOpen = false;
    // 1 while a continuous test runs; a press of its button sets it to 0 to stop it.
    uint8_t Polling = 0;
    QString LangFlag;
    int LangIndex = 0;
    // The button of the continuous test that runs, and the caption it gets back at the end.
    QPushButton* pollingButton = nullptr;
    QString pollingCaption;

    const Platform& platform() const { return platform_; }

    // Controls, by the names the window gives them. A control of a page of special functions
    // not yet made makes the pages first, so every control is there to be found.
    template <class T>
    T* control(const QString& name) {
        T* c = findChild<T*>(name);
        if (!c && !unbuiltPages_.isEmpty()) {
            buildAllPages();
            c = findChild<T*>(name);
        }
        return c;
    }
    template <class T>
    T* control(const char* name) {
        return control<T>(QString::fromLatin1(name));
    }
    // The pages of special functions are made as each is first shown, or all at once by a
    // lookup of one of their controls or by buildAllPages(): a session uses one or two of the
    // seven, and making them all would slow the window's start and take memory for nothing.
    void buildAllPages();
    bool pageBuilt(const QWidget* page) const { return !unbuiltPages_.contains(page); }
    PageControl* pcMain = nullptr;
    QTabWidget* pcOther = nullptr;
    QLabel* pnMsg = nullptr;
    Shape* shComm = nullptr;
    QLabel* pnSerial = nullptr;
    QLabel* pnVersion = nullptr;
    QComboBox* cmbPort = nullptr;
    QLabel* pnID = nullptr;
    QScrollBar* sbID = nullptr;
    QComboBox* cmbBaudRate = nullptr;
    QCheckBox* chkLock = nullptr;
    QTimer* tmrBusy = nullptr;
    QLabel* sbCommSent = nullptr;
    QLabel* sbCommReceived = nullptr;
    int busyTag = 0;

    // The traffic log window (File menu) and the port box that follows ports plugged in and
    // out; both children of the window, made by buildTools (the log on its first use).
    void buildTools();
    void applyToolTexts();
    void mnuTrafficLogClick();
    OnFirstUse<TfrmTrafficLog> frmTrafficLog;
    // The bus survey window (File menu), made on its first use.
    void mnuSurveyClick();
    OnFirstUse<TfrmSurvey> frmSurvey;
    // The site checkout window (File menu): the modules the survey found, all points at once.
    void mnuCheckoutClick();
    OnFirstUse<TfrmCheckout> frmCheckout;
    PortWatcher* portWatcher = nullptr;
    // The site register (File menu): the recorder of the window's module, the Register window
    // made on its first use, and the error box that says once why the register is off.
    void buildRegister();
    void applyRegisterTexts();
    void mnuRegisterClick();
    void registerOff(const RegisterProblem& problem);
    OnFirstUse<TfrmRegister> frmRegister;
    std::unique_ptr<RecorderAttachment> registerRecorder;
    bool registerOffSaid = false;
    // The sync with the team's server, while the register is on (registersyncer.h).
    RegisterSyncer* registerSyncer = nullptr;

    // The live tests' views beside the pages: the DI timeline, the card log and the I/O
    // check's result, each a window made on its first use. What they show is recorded
    // whether they are open or not.
    void buildLive();
    void applyLiveTexts();
    // The controls that need a linked module follow Linked (and the test that runs).
    void refreshLinkedControls();
    // A live test or the check has ended: its views show the summary.
    void testEnded(const TestSummary& summary);
    std::shared_ptr<DidoTimeline> diTimeline;
    CardLogModel* cardLog = nullptr;
    OnFirstUse<TfrmDITimeline> frmDITimeline;
    OnFirstUse<TfrmCardLog> frmCardLog;
    OnFirstUse<TfrmDIDOCheck> frmDIDOCheck;

  protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildLayout();
    void buildMenu();
    // Asks the platform once for its first listing of the ports.
    void askFirstListing();
    void applyTexts();
    void applyLanguage();
    // The keyboard and the screen reader: tab order and tables, then their texts.
    void buildAccess();
    void applyAccess();
    void showReadout();
    void setLanguage(int langIndex);
    void fitToClient();
    void connectBar(const char* bar, void (TfrmModule::*handler)());
    void connectButton(const char* button, void (TfrmModule::*handler)());
    void connectBar(QScrollBar* bar, void (TfrmModule::*handler)());
    void connectButton(QPushButton* button, void (TfrmModule::*handler)());
    // A page's controls: made into `page` once, then connected to their handlers, put in the
    // tab chain and, once the window has been shown, given its texts, names and shortcuts.
    void buildPage(QWidget* page);
    void preparePage(QWidget* page);
    void prepareAccess(QWidget* root);
    void connectLive(QWidget* root);
    // The type's page of special functions (tsCommand without a type).
    QWidget* typePage(int typeIndex) const;

    class Observer;
    std::unique_ptr<Observer> observer_;
    Platform platform_;
    bool shown_ = false;
    bool portsAsked_ = false;  // the platform was asked for its first listing
    QList<QWidget*> unbuiltPages_;
    // While the type's page is being chosen, the pages passed over on the way are not made.
    bool choosingPage_ = false;
    std::function<QString()> message_;
    QString serial_;
    QString version_;
};
