#pragma once
// The one main window: the type selector, the port and line-setting boxes, the message line
// with its lamp, the pages of special functions and the traffic lines. It holds the working
// state that every operation shares; the operations themselves live beside it.

#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <exception>
#include <functional>

#include "app/onfirstuse.h"
#include "app/platform.h"
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
class PageControl;
class PortWatcher;
class Shape;
class TfrmTrafficLog;

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

    // The Wiegand modules: CH #2 ID, interface, key number and the card read test.
    void btnRQ3050S_IDClick();
    void btnRQ3050K_IDClick();
    void btnRQ3050S_ModeClick();
    void btnRQ3050K_ModeClick();
    void btnKeyNumberClick();
    void btnRQ3050S_CardClick();
    void btnRQ3050K_CardClick();

    // Returns the linked module to its factory settings, with the controls to match.
    void btnFactoryClick();

    // Enables or disables every control of the window (it still paints).
    void setWindowEnabled(bool enabled);

    // Bars and the panels that show their position.
    void sbIDChange();
    void sbRepTxOnChange();
    void sbRepTxOffChange();
    void sbRQ3050S_IDChange();
    void sbRQ3050K_IDChange();
    void sbKeyNumberChange();

    // The pages of the printer, the controller link module and the repeater (src/modules/).
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

    // Working state.
    Link link;
    uint8_t Linked = 0;
    uint8_t Polling = 0;
    int PortNo = 1;
    QString BaudText;
    int BaudIndex = 5;
    QString LangFlag;
    int LangIndex = 0;
    QString TypePrefix;
    QString ModuleId;
    // The button of the continuous test that runs, and the caption it gets back at the end.
    QPushButton* pollingButton = nullptr;
    QString pollingCaption;

    const Platform& platform() const { return platform_; }

    // Controls, by the names the window gives them.
    template <class T>
    T* control(const char* name) const {
        return findChild<T*>(QString::fromLatin1(name));
    }
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
    PortWatcher* portWatcher = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildLayout();
    void buildMenu();
    void applyTexts();
    void applyLanguage();
    void showReadout();
    void setLanguage(int langIndex);
    void fitToClient();
    void connectBar(const char* bar, void (TfrmModule::*handler)());
    void connectButton(const char* button, void (TfrmModule::*handler)());

    Platform platform_;
    bool shown_ = false;
    std::function<QString()> message_;
    QString serial_;
    QString version_;
};
