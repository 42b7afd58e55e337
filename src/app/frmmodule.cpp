#include "app/frmmodule.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>

#include "app/namedchildren.h"
#include "app/pagecontrol.h"
#include "app/portwatcher.h"
#include "app/registerwindow.h"
#include "app/shape.h"
#include "app/windowobserver.h"
#include "link/linesettings.h"
#include "register/registerrecorder.h"
#include "settings/settings.h"
#include "text/extratexts.h"
#include "text/messagetable.h"

const QColor TfrmModule::kSkyBlue(166, 202, 240);
const QColor TfrmModule::kRed(255, 0, 0);
const QColor TfrmModule::kYellow(255, 255, 0);
const QColor TfrmModule::kDisabledText(77, 77, 77);

namespace {

// The pages of special functions of the six type tabs.
const char* const kTypePages[] = {"tsDIDO", "tsPRINT", "tsLINK", "tsREP", "tsW50S", "tsW50K"};

// Texts that follow the language, in the order they are applied: control, row, suffix.
struct TextEntry {
    const char* control;
    int row;
    const char* suffix;
};
const TextEntry kTexts[] = {
    {"lblID", 19, ":"},          {"lblCom", 13, ":"},         {"btnScan", 11, ""},
    {"btnLink", 14, ""},         {"btnID", 25, ""},           {"chkLock", 21, ""},
    {"btnBaudRate", 28, ""},     {"gbOther", 32, ""},         {"tsCommand", 33, ""},
    {"gbTest", 34, ""},          {"gbFactory", 40, ""},       {"btnTest", 35, ""},
    {"lblTestSend", 38, ""},     {"lblTestRecv", 39, ""},     {"btnFactory", 41, ""},
    {"gbDIDOMode", 63, ""},      {"lblDIDOMode", 63, ""},     {"gbDIDONoNc", 67, ""},
    {"btnDIDOMode", 64, ""},     {"btnDIDONoNc", 68, ""},     {"gbDIDOTest", 71, ""},
    {"btnDIDOTest", 71, ""},     {"gbPrintStatus", 44, ""},   {"lblPrintStatus", 44, ":"},
    {"btnPrintStatus", 57, ""},  {"gbPrintData", 72, ""},     {"lblPrintData", 73, ":"},
    {"btnPrintData", 73, ""},    {"lblPrintCode", 76, ":"},   {"btnPrintCode", 76, ""},
    {"gbLinkStatus", 44, ""},    {"lblLinkStatus", 44, ":"},  {"btnLinkStatus", 57, ""},
    {"gbLinkData", 47, ""},      {"lblLinkCRID", 49, ":"},    {"lblLinkRDID", 50, ":"},
    {"lblLinkDate", 51, ":"},    {"lblLinkCardNo", 53, ":"},  {"lblLinkType", 52, ":"},
    {"lblLinkCardID", 54, ":"},  {"btnLinkSendData", 60, ""}, {"gbLinkPort", 55, ""},
    {"lblLinkPort", 20, ":"},    {"btnLinkPort", 28, ""},     {"gbLinkMode", 79, ""},
    {"lblLinkMode", 79, ""},     {"btnLinkMode", 80, ""},     {"gbRepStatus", 44, ""},
    {"lblRepStatus", 44, ":"},   {"btnRepStatus", 57, ""},    {"gbRepData", 47, ""},
    {"lblRepData", 47, ":"},     {"btnRepData", 60, ""},      {"gbRepPort", 56, ""},
    {"lblRepPort", 20, ":"},     {"btnRepPort", 28, ""},      {"gbRepTx", 83, ""},
    {"lblRepTxOn", 84, ":"},     {"lblRepTxOff", 85, ":"},    {"btnRepTx", 86, ""},
    {"lblRQ3050S_ID", 19, ":"},  {"lblRQ3050S_SN", 4, ":"},   {"btnRQ3050S_ID", 25, ""},
    {"gbRQ3050S_Mode", 89, ""},  {"btnRQ3050S_Mode", 90, ""}, {"gbRQ3050S_Card", 93, ""},
    {"btnRQ3050S_Card", 93, ""}, {"lblRQ3050K_ID", 19, ":"},  {"lblRQ3050K_SN", 4, ":"},
    {"btnRQ3050K_ID", 25, ""},   {"gbRQ3050K_Mode", 89, ""},  {"btnRQ3050K_Mode", 90, ""},
    {"gbRQ3050K_Card", 93, ""},  {"btnRQ3050K_Card", 93, ""}, {"gbKeyNumber", 95, ""},
    {"lblKeyNumber", 94, ""},    {"btnKeyNumber", 95, ""},
};

// Faces with the glyphs of each language, after the face the message table names.
QStringList FontFaces(int langIndex, const QString& named) {
    QStringList faces{named};
    if (langIndex == Languages::kEnglish) {
        faces << QStringLiteral("Liberation Mono") << QStringLiteral("DejaVu Sans Mono");
    } else if (langIndex == Languages::kTraditional) {
        // Traditional characters drawn with the Traditional forms where the face has both.
        faces << QStringLiteral("WenQuanYi Micro Hei") << QStringLiteral("Noto Sans CJK TC")
              << QStringLiteral("Noto Sans CJK SC");
    } else {
        faces << QStringLiteral("WenQuanYi Micro Hei") << QStringLiteral("Noto Sans CJK SC")
              << QStringLiteral("Noto Sans CJK TC");
    }
    return faces;
}

}  // namespace

TfrmModule::TfrmModule(const Platform& platform, QWidget* parent)
    : QMainWindow(parent),
      module(*platform.ports),
      link(module.link),
      Linked(module.Linked),
      PortNo(module.PortNo),
      BaudText(module.BaudText),
      BaudIndex(module.BaudIndex),
      TypePrefix(module.TypePrefix),
      ModuleId(module.ModuleId),
      observer_(std::make_unique<Observer>(*this)),
      platform_(platform) {
    module.setObserver(observer_.get());
    setObjectName(QStringLiteral("frmModule"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    QFont font(QStringLiteral("Courier New"));
    font.setFamilies(FontFaces(Languages::kEnglish, QStringLiteral("Courier New")));
    font.setPointSize(10);
    setFont(font);
    // Disabled text stays readable, on the sky-blue boxes as on grey buttons (a contrast of
    // about 5:1 against either), while operations disable the window.
    QPalette pal = palette();
    for (QPalette::ColorRole role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
        pal.setColor(QPalette::Disabled, role, kDisabledText);
    setPalette(pal);

    buildMenu();
    buildLayout();

    tmrBusy = new QTimer(this);
    tmrBusy->setObjectName(QStringLiteral("tmrBusy"));
    tmrBusy->setInterval(200);
    connect(tmrBusy, &QTimer::timeout, this, [this] { guarded([this] { tmrBusyTimer(); }); });

    connect(&link, &Link::sentTraffic, sbCommSent, &QLabel::setText);
    connect(&link, &Link::receivedTraffic, sbCommReceived, &QLabel::setText);

    connectButton("btnScan", &TfrmModule::btnScanClick);
    connectButton("btnLink", &TfrmModule::btnLinkClick);
    connectButton("btnID", &TfrmModule::btnIDClick);
    connectButton("btnBaudRate", &TfrmModule::btnBaudRateClick);
    connectBar("sbID", &TfrmModule::sbIDChange);

    fitToClient();
    buildAccess();
    FormCreate();
    // The page the window opens on is made now, so that it is there when the window shows.
    buildPage(typePage(pcMain->currentIndex()));
    buildTools();
    buildLive();
}

TfrmModule::~TfrmModule() = default;

void TfrmModule::buildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("mnuMain"));
    QMenu* file = bar->addMenu(QStringLiteral("File"));
    file->menuAction()->setObjectName(QStringLiteral("mnuFile"));
    QAction* exit = file->addAction(QStringLiteral("Exit"));
    exit->setObjectName(QStringLiteral("mnuExit"));
    connect(exit, &QAction::triggered, this, [this] { guarded([this] { mnuExitClick(); }); });

    QMenu* lang = bar->addMenu(QStringLiteral("Language"));
    lang->menuAction()->setObjectName(QStringLiteral("mnuLanguage"));
    const char* names[] = {"mnuEnglish", "mnuSimplified", "mnuTraditional"};
    const char* captions[] = {"English", "Simplified Chinese", "Traditional Chinese"};
    void (TfrmModule::*handlers[])() = {&TfrmModule::mnuEnglishClick,
                                        &TfrmModule::mnuSimplifiedClick,
                                        &TfrmModule::mnuTraditionalClick};
    for (int k = 0; k < 3; ++k) {
        QAction* a = lang->addAction(QString::fromLatin1(captions[k]));
        a->setObjectName(QString::fromLatin1(names[k]));
        a->setCheckable(true);
        auto handler = handlers[k];
        connect(a, &QAction::triggered, this,
                [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    }
}

void TfrmModule::fitToClient() {
    // The client area keeps its size whatever height the menu bar takes in the current font.
    setFixedSize(centralWidget()->width(),
                 centralWidget()->height() + menuBar()->sizeHint().height());
}

void TfrmModule::connectButton(const char* button, void (TfrmModule::*handler)()) {
    connectButton(control<QPushButton>(button), handler);
}

void TfrmModule::connectButton(QPushButton* button, void (TfrmModule::*handler)()) {
    connect(button, &QPushButton::clicked, this,
            [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
}

void TfrmModule::setWindowEnabled(bool enabled) {
    if (!enabled) cancelOpen = false;
    centralWidget()->setEnabled(enabled);
    menuBar()->setEnabled(enabled);
    refreshLinkedControls();
}

void TfrmModule::connectBar(const char* bar, void (TfrmModule::*handler)()) {
    connectBar(control<QScrollBar>(bar), handler);
}

void TfrmModule::connectBar(QScrollBar* bar, void (TfrmModule::*handler)()) {
    connect(bar, &QScrollBar::valueChanged, this,
            [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
}

void TfrmModule::guarded(const std::function<void()>& handler) {
    QString text;
    try {
        handler();
        return;
    } catch (const std::exception& e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
        text = QStringLiteral("Unknown error");
    }
    if (platform_.errorBox)
        platform_.errorBox(text);
    else
        QMessageBox::critical(this, windowTitle(), text);
}

QString TfrmModule::Msg(int row) const {
    return MessageTable::text(row, LangIndex);
}

void TfrmModule::FormCreate() {
    PortNo = 1;
    BaudText = QStringLiteral("19200,e,8,1");
    BaudIndex = 5;
    LangFlag = QStringLiteral("English");
    LangIndex = 0;
    LoadSettings();
    Polling = 0;
    Linked = 0;
    ListPorts();
    if (PortNo == 0) PortNo = 1;
    if (cmbPort->count() > 0) cmbPort->setCurrentIndex(0);
    cmbPort->setEditText(QStringLiteral("COM%1").arg(PortNo));
    cmbBaudRate->setCurrentIndex(BaudIndex);
}

void TfrmModule::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // A restore from the task bar is not a new show: the message line and the module's serial
    // number and version stay as they are.
    if (event->spontaneous()) return;
    if (!shown_) {
        shown_ = true;
        if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
        // A window shown where nothing of it is drawn (on another desktop) lists them anyway.
        QTimer::singleShot(1000, this, [this] { askFirstListing(); });
    }
    guarded([this] { FormShow(); });
}

void TfrmModule::paintEvent(QPaintEvent* event) {
    QMainWindow::paintEvent(event);
    // The system's ports are listed once the window's first picture is made: the listing
    // costs about as much processor time as building the window, and would slow its showing.
    if (!portsAsked_) QTimer::singleShot(0, this, [this] { askFirstListing(); });
}

void TfrmModule::askFirstListing() {
    if (portsAsked_ || !platform_.listPortsLater) return;
    portsAsked_ = true;
    platform_.listPortsLater(this, [this] { guarded([this] { portWatcher->poll(); }); });
}

void TfrmModule::applyTexts() {
    setWindowTitle(Msg(1));
    for (QAction* a : menuBar()->actions()) {
        if (a->objectName() == QLatin1String("mnuLanguage")) a->setText(Msg(6));
        if (a->objectName() == QLatin1String("mnuFile")) a->setText(Msg(7));
    }
    const char* langs[] = {"mnuEnglish", "mnuSimplified", "mnuTraditional"};
    for (int k = 0; k < 3; ++k)
        findChild<QAction*>(QString::fromLatin1(langs[k]))->setText(MessageTable::text(10, k));
    findChild<QAction*>(QStringLiteral("mnuExit"))->setText(Msg(9));
    applyToolTexts();
    const NamedChildren named(this);
    for (const TextEntry& t : kTexts) {
        const QString text = Msg(t.row) + QString::fromLatin1(t.suffix);
        QObject* o = named.find<QObject>(t.control);
        if (auto* b = qobject_cast<QAbstractButton*>(o))
            b->setText(text);
        else if (auto* l = qobject_cast<QLabel*>(o))
            l->setText(text);
        else if (auto* g = qobject_cast<QGroupBox*>(o))
            g->setTitle(text);
        else if (auto* w = qobject_cast<QWidget*>(o))
            pcOther->setTabText(pcOther->indexOf(w), text);
    }
    // A running test's button keeps saying how to stop it, in the new language, and gets the
    // new language's caption back when the test ends.
    if (pollingButton) {
        pollingCaption = pollingButton->text();
        pollingButton->setText(Msg(31));
    }
}

void TfrmModule::FormShow() {
    ShowMessage(18);
    ShowReadoutPlaceholders();
    applyLanguage();
}

void TfrmModule::applyLanguage() {
    const char* langs[] = {"mnuEnglish", "mnuSimplified", "mnuTraditional"};
    for (int k = 0; k < 3; ++k)
        findChild<QAction*>(QString::fromLatin1(langs[k]))->setChecked(k == LangIndex);
    QFont font;
    font.setFamilies(FontFaces(LangIndex, Msg(0)));
    font.setPointSize(Languages::pointSize(LangIndex));
    setFont(font);
    menuBar()->setFont(font);
    applyTexts();
    applyAccess();
    showReadout();
    fitToClient();
    pcMainChange();
}

void TfrmModule::setLanguage(int langIndex) {
    LangIndex = langIndex;
    LangFlag = Languages::flag(langIndex);
    SaveLanguage();
    // A new language changes the words, not what the window shows: the message line, the
    // module's readout and the page of special functions stay.
    QWidget* page = pcOther->currentWidget();
    applyLanguage();
    if (page && pcOther->isTabVisible(pcOther->indexOf(page))) pcOther->setCurrentWidget(page);
}

void TfrmModule::ShowMessage(std::function<QString()> compose) {
    message_ = std::move(compose);
    pnMsg->setText(message_ ? message_() : QString());
}

void TfrmModule::ShowMessage(int row, const QString& suffix) {
    ShowMessage([this, row, suffix] { return Msg(row) + suffix; });
}

void TfrmModule::ClearMessage() {
    ShowMessage(std::function<QString()>());
}

void TfrmModule::ShowSerial(const QString& serial) {
    serial_ = serial;
    showReadout();
}

void TfrmModule::ShowVersion(const QString& version) {
    version_ = version;
    showReadout();
}

void TfrmModule::ShowReadoutPlaceholders() {
    serial_ = QStringLiteral("________");
    version_ = QStringLiteral("__.__-__");
    showReadout();
}

void TfrmModule::showReadout() {
    pnMsg->setText(message_ ? message_() : QString());
    pnSerial->setText(Msg(4) + QStringLiteral(" : ") + serial_);
    pnVersion->setText(Msg(5) + QStringLiteral(" : ") + version_);
}

void TfrmModule::mnuEnglishClick() {
    setLanguage(Languages::kEnglish);
}
void TfrmModule::mnuSimplifiedClick() {
    setLanguage(Languages::kSimplified);
}
void TfrmModule::mnuTraditionalClick() {
    setLanguage(Languages::kTraditional);
}

void TfrmModule::mnuExitClick() {
    close();
}

void TfrmModule::endForSystem() {
    Polling = 0;
    cancelOpen = true;
    if (close()) {
        qApp->quit();
        return;
    }
    // The test or the operation ends at its next exchange.
    QTimer::singleShot(50, this, [this] { endForSystem(); });
}

void TfrmModule::closeEvent(QCloseEvent* event) {
    FormClose(event);
}

void TfrmModule::FormClose(QCloseEvent* event) {
    // A continuous test holds the port: the close is refused without a word.
    if (Polling == 1) {
        event->ignore();
        return;
    }
    // An operation runs (waiting for a network port, perhaps): it ends at once, then the
    // window closes.
    if (!centralWidget()->isEnabled()) {
        cancelOpen = true;
        event->ignore();
        QTimer::singleShot(50, this, [this] { close(); });
        return;
    }
    guarded([this] { SaveSettings(); });
    event->accept();
}

void TfrmModule::SetBusy(uint8_t on) {
    if (on == 1) {
        tmrBusy->start();
        shComm->setStateOverride(ExtraTexts::text(ExtraTexts::kLampBusy, LangIndex));
        setWindowEnabled(false);
    } else {
        setWindowEnabled(true);
        tmrBusy->stop();
        shComm->setStateOverride(QString());
    }
}

void TfrmModule::tmrBusyTimer() {
    if (busyTag == 1) {
        busyTag = 0;
        shComm->setBrushColor(kYellow);
    } else {
        busyTag = 1;
        shComm->setBrushColor(kRed);
    }
}

void TfrmModule::pcMainChange() {
    // The pages hidden on the way pass the current tab along without being made.
    choosingPage_ = true;
    for (const char* page : kTypePages)
        pcOther->setTabVisible(pcOther->indexOf(findChild<QWidget*>(QString::fromLatin1(page))),
                               false);
    const int index = pcMain->currentIndex();
    module.selectType(tabType());
    QWidget* page = typePage(index);
    pcOther->setTabVisible(pcOther->indexOf(page), true);
    pcOther->setCurrentWidget(page);
    choosingPage_ = false;
    buildPage(page);
}

QWidget* TfrmModule::typePage(int typeIndex) const {
    const bool typed = typeIndex >= 0 && typeIndex < 6;
    return findChild<QWidget*>(QString::fromLatin1(typed ? kTypePages[typeIndex] : "tsCommand"));
}

namespace {
void ShowPosition(QLabel* panel, const QScrollBar* bar, int width) {
    panel->setText(QStringLiteral("%1").arg(bar->value(), width, 10, QLatin1Char('0')));
}
}  // namespace

void TfrmModule::sbIDChange() {
    ShowPosition(pnID, sbID, 2);
}
void TfrmModule::sbRepTxOnChange() {
    ShowPosition(control<QLabel>("pnRepTxOn"), control<QScrollBar>("sbRepTxOn"), 0);
}
void TfrmModule::sbRepTxOffChange() {
    ShowPosition(control<QLabel>("pnRepTxOff"), control<QScrollBar>("sbRepTxOff"), 0);
}
void TfrmModule::sbRQ3050S_IDChange() {
    ShowPosition(control<QLabel>("pnRQ3050S_ID"), control<QScrollBar>("sbRQ3050S_ID"), 2);
}
void TfrmModule::sbRQ3050K_IDChange() {
    ShowPosition(control<QLabel>("pnRQ3050K_ID"), control<QScrollBar>("sbRQ3050K_ID"), 2);
}
void TfrmModule::sbKeyNumberChange() {
    ShowPosition(control<QLabel>("pnKeyNumber"), control<QScrollBar>("sbKeyNumber"), 2);
}
