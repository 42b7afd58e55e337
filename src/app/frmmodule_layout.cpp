// The fixed layout of the main window: every control under its own name, at its place.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTabWidget>

#include "app/access.h"
#include "app/frmmodule.h"
#include "app/pagecontrol.h"
#include "app/shape.h"
#include "engine/wiegand.h"
#include "link/linesettings.h"

namespace {

template <class T>
T* Make(QWidget* parent, const QString& name, int x, int y, int w, int h) {
    auto* c = new T(parent);
    if (!name.isEmpty()) c->setObjectName(name);
    c->setGeometry(x, y, w, h);
    return c;
}

QGroupBox* Group(QWidget* parent, const QString& name, const QString& title, int x, int y, int w,
                 int h) {
    auto* g = Make<QGroupBox>(parent, name, x, y, w, h);
    g->setTitle(title);
    return g;
}

QLabel* Label(QWidget* parent, const QString& name, const QString& text, int x, int y, int w, int h,
              Qt::Alignment align = Qt::AlignRight | Qt::AlignVCenter) {
    auto* l = Make<QLabel>(parent, name, x, y, w, h);
    l->setText(text);
    l->setAlignment(align);
    return l;
}

QLabel* Panel(QWidget* parent, const QString& name, const QString& text, int x, int y, int w, int h,
              bool skyBlue = false) {
    auto* p = Make<ValuePanel>(parent, name, x, y, w, h);
    p->setText(text);
    p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    p->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette pal = p->palette();
    // A panel keeps its text readable while the window is disabled for an operation.
    pal.setColor(QPalette::Disabled, QPalette::WindowText,
                 pal.color(QPalette::Active, QPalette::WindowText));
    if (skyBlue) {
        p->setAutoFillBackground(true);
        pal.setColor(QPalette::Window, TfrmModule::kSkyBlue);
    }
    p->setPalette(pal);
    return p;
}

QPushButton* Button(QWidget* parent, const QString& name, const QString& text, int x, int y, int w,
                    int h) {
    auto* b = Make<QPushButton>(parent, name, x, y, w, h);
    b->setText(text);
    return b;
}

QComboBox* List(QWidget* parent, const QString& name, const QStringList& items, int index, int x,
                int y, int w, int h) {
    auto* c = Make<QComboBox>(parent, name, x, y, w, h);
    c->addItems(items);
    c->setCurrentIndex(index);
    return c;
}

QScrollBar* Bar(QWidget* parent, const QString& name, int min, int max, int pos, int large, int x,
                int y, int w, int h) {
    auto* s = Make<QScrollBar>(parent, name, x, y, w, h);
    s->setOrientation(Qt::Horizontal);
    s->setRange(min, max);
    s->setSingleStep(1);
    s->setPageStep(large);
    s->setValue(pos);
    return s;
}

QLineEdit* Edit(QWidget* parent, const QString& name, const QString& text, int maxLength, int x,
                int y, int w, int h) {
    auto* e = Make<QLineEdit>(parent, name, x, y, w, h);
    if (maxLength > 0) e->setMaxLength(maxLength);
    e->setText(text);
    return e;
}

void SkyBlue(QWidget* w) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Base, TfrmModule::kSkyBlue);
    pal.setColor(QPalette::Button, TfrmModule::kSkyBlue);
    w->setPalette(pal);
}

QString N(const char* prefix, int k) {
    return QString::fromLatin1(prefix) + QString::number(k);
}

void BuildDido(QWidget* page) {
    auto* mode = Group(page, "gbDIDOMode", "DI mode", 8, 4, 262, 84);
    Label(mode, "lblDIDOMode", "DI mode", 4, 24, 90, 24);
    List(mode, "cmbDIDOMode", {"Hold(default)", "Normal"}, 0, 100, 24, 154, 24);
    Button(mode, "btnDIDOMode", "Set DI mode", 100, 52, 154, 26);

    QFont channelFont(QStringLiteral("Liberation Mono"));
    channelFont.setPointSize(8);

    // Eight boxes a row, each as wide as its widest caption needs.
    auto* nonc = Group(page, "gbDIDONoNc", "DI NO/NC", 276, 4, 450, 84);
    for (int k = 1; k <= 16; ++k) {
        auto* c = Make<QCheckBox>(nonc, N("chkDI", k), 6 + ((k - 1) % 8) * 54,
                                  18 + ((k - 1) / 8) * 20, 54, 20);
        c->setText(N("DI", k));
        c->setFont(channelFont);
    }
    Button(nonc, "btnDIDONoNc", "Set DI NO/NC", 260, 58, 180, 22);

    auto* test = Group(page, "gbDIDOTest", "DI/DO test", 8, 92, 718, 262);
    auto* dout = Group(test, "gbDIDODO", "DO", 8, 20, 340, 190);
    auto* din = Group(test, "gbDIDODI", "DI", 366, 20, 340, 190);
    for (int k = 1; k <= 16; ++k) {
        const int col = (k - 1) / 8, row = (k - 1) % 8;
        auto* c = Make<QCheckBox>(dout, N("chkDO", k), 16 + col * 160, 18 + row * 21, 120, 20);
        c->setText(N("DO", k));
        c->setFont(channelFont);
        Make<Shape>(din, N("shDI", k), 16 + col * 160, 18 + row * 21, 20, 20);
        auto* l = Label(din, N("lblDI", k), N("DI", k), 42 + col * 160, 18 + row * 21, 60, 20,
                        Qt::AlignLeft | Qt::AlignVCenter);
        l->setFont(channelFont);
    }
    Button(test, "btnDIDOTest", "DI/DO test", 260, 220, 200, 32);
    // Beside the test's button: its timeline, and the I/O check.
    Button(test, "btnDITimeline", "Timeline...", 16, 220, 228, 32);
    Button(test, "btnDIDOCheck", "Check I/O", 476, 220, 228, 32);
}

void BuildPrint(QWidget* page) {
    auto* st = Group(page, "gbPrintStatus", "Status", 8, 4, 718, 80);
    Label(st, "lblPrintStatus", "Status:", 8, 30, 120, 26);
    Panel(st, "pnPrintStatus", QString(), 136, 30, 300, 26, true);
    Button(st, "btnPrintStatus", "Get status", 460, 28, 240, 30);

    auto* data = Group(page, "gbPrintData", "Print test", 8, 92, 718, 130);
    Label(data, "lblPrintData", "Print data:", 8, 30, 150, 26);
    Edit(data, "edPrintData", "Print test.", 0, 166, 30, 280, 26);
    Button(data, "btnPrintData", "Print data", 460, 28, 240, 30);
    Label(data, "lblPrintCode", "Print code:", 8, 78, 150, 26);
    Edit(data, "edPrintCode", "0D0A", 0, 166, 78, 280, 26);
    Button(data, "btnPrintCode", "Print code", 460, 76, 240, 30);
}

void BuildLink(QWidget* page) {
    auto* st = Group(page, "gbLinkStatus", "Status", 8, 4, 356, 92);
    Label(st, "lblLinkStatus", "Status:", 4, 24, 100, 26);
    Panel(st, "pnLinkStatus", QString(), 110, 24, 236, 26);
    Button(st, "btnLinkStatus", "Get status", 110, 56, 236, 28);

    auto* data = Group(page, "gbLinkData", "Data", 372, 4, 354, 350);
    struct Field {
        const char* label;
        const char* edit;
        const char* text;
        int max;
    };
    const Field fields[] = {
        {"lblLinkCRID", "edLinkCRID", "0001", 4},
        {"lblLinkRDID", "edLinkRDID", "03", 2},
        {"lblLinkDate", "edLinkDate", "20060530152045", 14},
        {"lblLinkCardNo", "edLinkCardNo", "000001", 6},
        {"lblLinkCardID", "edLinkCardID", "0000000000027CBB", 16},
        {"lblLinkType", "edLinkType", "01", 2},
    };
    const char* captions[] = {
        "Controller ID:", "Reader ID:", "Date/Time:", "Card No:", "Card ID:", "Type:"};
    for (int i = 0; i < 6; ++i) {
        const int y = 24 + i * 44;
        Label(data, fields[i].label, captions[i], 4, y, 128, 26);
        Edit(data, fields[i].edit, fields[i].text, fields[i].max, 136, y, 166, 26);
    }
    // The note stands beside the card ID box.
    Label(data, "lblLinkCardIDHex", "(Hex)", 304, 24 + 4 * 44, 46, 26,
          Qt::AlignLeft | Qt::AlignVCenter);
    Button(data, "btnLinkSendData", "Send data", 136, 24 + 6 * 44 - 4, 166, 30);

    auto* port = Group(page, "gbLinkPort", "RS232/RS485 port", 8, 100, 356, 124);
    Label(port, "lblLinkPort", "Baud rate:", 4, 30, 110, 26);
    List(port, "cmbLinkPort", LineSettings::listed(), 2, 120, 30, 226, 26);
    Button(port, "btnLinkPort", "Set baud rate", 120, 72, 226, 30);

    auto* mode = Group(page, "gbLinkMode", "Run mode", 8, 228, 356, 126);
    Label(mode, "lblLinkMode", "Run mode", 4, 30, 110, 26);
    List(mode, "cmbLinkMode", {"'0' -> DVR system", "'1' -> LED display", "'2' -> MP3 play"}, 0,
         120, 30, 226, 26);
    Button(mode, "btnLinkMode", "Set run mode", 120, 74, 226, 30);
}

void BuildRepeater(QWidget* page) {
    auto* st = Group(page, "gbRepStatus", "Status", 8, 4, 356, 110);
    Label(st, "lblRepStatus", "Status:", 4, 28, 100, 26);
    Panel(st, "pnRepStatus", QString(), 110, 28, 236, 26);
    Button(st, "btnRepStatus", "Get status", 110, 66, 236, 30);

    auto* port = Group(page, "gbRepPort", "RS485 port", 372, 4, 354, 110);
    Label(port, "lblRepPort", "Baud rate:", 4, 28, 110, 26);
    List(port, "cmbRepPort", LineSettings::listed(), 5, 120, 28, 224, 26);
    Button(port, "btnRepPort", "Set baud rate", 120, 66, 224, 30);

    auto* tx = Group(page, "gbRepTx", "TX delay", 8, 120, 718, 130);
    Label(tx, "lblRepTxOn", "TX ON delay:", 4, 26, 170, 26);
    Bar(tx, "sbRepTxOn", 1, 255, 15, 10, 180, 28, 240, 22);
    Panel(tx, "pnRepTxOn", "15", 428, 26, 60, 26);
    Label(tx, "lblRepTxOnUnit", "x 0.1ms", 494, 26, 90, 26, Qt::AlignLeft | Qt::AlignVCenter);
    Label(tx, "lblRepTxOff", "TX OFF delay:", 4, 60, 170, 26);
    Bar(tx, "sbRepTxOff", 1, 255, 10, 10, 180, 62, 240, 22);
    Panel(tx, "pnRepTxOff", "10", 428, 60, 60, 26);
    Label(tx, "lblRepTxOffUnit", "x 0.1ms", 494, 60, 90, 26, Qt::AlignLeft | Qt::AlignVCenter);
    Button(tx, "btnRepTx", "Set TX delay", 180, 94, 240, 30);

    auto* data = Group(page, "gbRepData", "Data", 8, 256, 718, 98);
    Label(data, "lblRepData", "Data:", 4, 26, 110, 26);
    Edit(data, "edRepData", "1234", 16, 120, 26, 300, 26);
    Button(data, "btnRepData", "Send data", 120, 60, 300, 30);
}

void BuildWiegand(QWidget* page, const QString& v, bool keyNumber) {
    auto n = [&](const char* suffix) { return QStringLiteral("RQ3050%1_%2").arg(v, suffix); };
    auto* id = Group(page, QStringLiteral("gb") + n("ID"), "CH #2", 8, 4, 356, 150);
    Label(id, QStringLiteral("lbl") + n("SN"), "S/N:", 4, 24, 80, 26);
    Panel(id, QStringLiteral("pn") + n("SN"), QString(), 90, 24, 160, 26);
    Label(id, QStringLiteral("lbl") + n("ID"), "ID:", 4, 60, 80, 26);
    Bar(id, QStringLiteral("sb") + n("ID"), 1, 99, 5, 10, 90, 62, 180, 22);
    Panel(id, QStringLiteral("pn") + n("ID"), "05", 278, 60, 40, 26);
    Button(id, QStringLiteral("btn") + n("ID"), "Set ID", 90, 100, 228, 30);

    auto* mode = Group(page, QStringLiteral("gb") + n("Mode"), "Interface", 372, 4, 354, 150);
    Label(mode, QStringLiteral("lbl") + n("ModeRS485"), "RS485:", 4, 30, 80, 26);
    List(mode, QStringLiteral("cmb") + n("Mode"), InterfaceNames(), 1, 90, 30, 180, 26);
    Button(mode, QStringLiteral("btn") + n("Mode"), "Set interface", 90, 100, 228, 30);

    const int cardTop = keyNumber ? 158 : 158;
    const int cardWidth = keyNumber ? 440 : 718;
    auto* card =
        Group(page, QStringLiteral("gb") + n("Card"), "Read card test", 8, cardTop, cardWidth, 196);
    Label(card, QStringLiteral("lbl") + n("Card1"), "CH #1:", 4, 30, 70, 26);
    Panel(card, QStringLiteral("pn") + n("Card1"), QString(), 80, 30, cardWidth - 90, 26);
    Label(card, QStringLiteral("lbl") + n("Card2"), "CH #2:", 4, 70, 70, 26);
    Panel(card, QStringLiteral("pn") + n("Card2"), QString(), 80, 70, cardWidth - 90, 26);
    Button(card, QStringLiteral("btn") + n("Card"), "Read card test", 80, 130, 240, 34);
    // Beside the test's button: the log of every card it read.
    Button(card, QStringLiteral("btn") + n("CardLog"), "Log...", 330, 130, keyNumber ? 100 : 200,
           34);

    if (keyNumber) {
        auto* key = Group(page, "gbKeyNumber", "Set key number", 456, 158, 270, 196);
        Label(key, "lblKeyNumber", "Key Number:", 4, 30, 150, 26, Qt::AlignLeft | Qt::AlignVCenter);
        Bar(key, "sbKeyNumber", 0, 16, 4, 3, 10, 66, 190, 22);
        Panel(key, "pnKeyNumber", "04", 208, 64, 44, 26);
        Button(key, "btnKeyNumber", "Set key number", 10, 130, 242, 34);
    }
}

void BuildCommand(QWidget* page) {
    auto* test = Group(page, "gbTest", "Test", 8, 4, 718, 150);
    Label(test, "lblTestSend", "Command", 4, 28, 110, 26);
    Edit(test, "edTestSend", "V", 0, 120, 28, 586, 26);
    Label(test, "lblTestRecv", "Response", 4, 66, 110, 26);
    auto* recv = Edit(test, "edTestRecv", QString(), 0, 120, 66, 586, 26);
    recv->setReadOnly(true);
    Button(test, "btnTest", "Command test", 120, 106, 260, 32);

    auto* factory = Group(page, "gbFactory", "Factory", 8, 162, 718, 90);
    Button(factory, "btnFactory", "Set factory default", 120, 34, 260, 34);
}

// The pages of special functions, in the order of their tabs.
struct PageMaker {
    const char* name;
    const char* caption;
    void (*build)(QWidget*);
};
const PageMaker kPageMakers[] = {
    {"tsDIDO", "RQ3016", &BuildDido},
    {"tsPRINT", "RQ3020", &BuildPrint},
    {"tsLINK", "RQ3030", &BuildLink},
    {"tsREP", "RQ3040", &BuildRepeater},
    {"tsW50S", "RQ-3050S", [](QWidget* p) { BuildWiegand(p, QStringLiteral("S"), false); }},
    {"tsW50K", "RQ-3050K", [](QWidget* p) { BuildWiegand(p, QStringLiteral("K"), true); }},
    {"tsCommand", "Command", &BuildCommand},
};

}  // namespace

void TfrmModule::buildLayout() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(771, 631);
    setCentralWidget(client);

    auto* gbType = Make<QGroupBox>(client, "gbType", 6, 0, 760, 625);

    pcMain = Make<PageControl>(gbType, "pcMain", 4, 11, 749, 66);
    const char* types[] = {"RQ-3016", "RQ-3020", "RQ-3030", "RQ-3040", "RQ-3050S", "RQ-3050K"};
    for (const char* t : types) {
        QString name = QStringLiteral("ts") + QString::fromLatin1(t).remove(QLatin1Char('-'));
        pcMain->addPage(name, QString::fromLatin1(t));
    }
    connect(pcMain, &PageControl::changed, this, [this] { guarded([this] { pcMainChange(); }); });

    pnMsg = Panel(gbType, "pnMsg", "Start select type", 8, 40, 609, 49, true);
    pnMsg->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnMsg->setLineWidth(1);
    pnMsg->setIndent(8);
    shComm = Make<Shape>(pnMsg, "shComm", 568, 8, 29, 28);
    shComm->setBrushColor(kRed);
    pnSerial = Panel(gbType, "pnSerial", "S/N : ________", 624, 40, 129, 24, true);
    pnSerial->setFrameStyle(QFrame::Box | QFrame::Plain);
    pnVersion = Panel(gbType, "pnVersion", "VER : __.__-__", 624, 64, 129, 24, true);
    pnVersion->setFrameStyle(QFrame::Box | QFrame::Plain);

    Label(gbType, "lblCom", "Serial Port:", 8, 97, 145, 25);
    cmbPort = Make<QComboBox>(gbType, "cmbPort", 160, 98, 145, 24);
    cmbPort->setEditable(true);
    cmbPort->addItem(QStringLiteral("COM1"));
    SkyBlue(cmbPort);
    Label(gbType, "lblID", "ID:", 306, 97, 68, 25);
    pnID = Panel(gbType, "pnID", "01", 376, 98, 31, 25, true);
    pnID->setFrameStyle(QFrame::Box | QFrame::Plain);
    pnID->setAlignment(Qt::AlignCenter);
    sbID = Bar(gbType, "sbID", 1, 99, 1, 10, 408, 99, 121, 23);
    cmbBaudRate = List(gbType, "cmbBaudRate", LineSettings::listed(), 5, 536, 98, 137, 24);
    SkyBlue(cmbBaudRate);
    chkLock = Make<QCheckBox>(gbType, "chkLock", 680, 98, 73, 25);
    chkLock->setText(QStringLiteral("Lock"));
    chkLock->setChecked(true);

    auto* scan = Button(gbType, "btnScan", "&Scan", 8, 126, 145, 35);
    scan->setDefault(true);
    scan->setAutoDefault(true);
    // A main window has no default button of its own: Enter presses the focused button (the
    // command test in the command box), or else btnScan, as long as it takes input.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto* enter = new QShortcut(key, this);
        connect(enter, &QShortcut::activated, this, [this, scan] {
            auto* focused = qobject_cast<QPushButton*>(focusWidget());
            QPushButton* target = focused ? focused : scan;
            // In the command box Enter sends the command.
            if (focusWidget() && focusWidget()->objectName() == QLatin1String("edTestSend"))
                target = control<QPushButton>("btnTest");
            if (target->isEnabled()) target->click();
        });
    }
    Button(gbType, "btnLink", "&Link", 160, 126, 145, 35);
    Button(gbType, "btnID", "Set  &ID", 312, 126, 217, 33);
    Button(gbType, "btnBaudRate", "Set &baud rate", 536, 126, 217, 33);

    auto* gbOther = Group(gbType, "gbOther", "Special function", 8, 168, 745, 417);
    pcOther = Make<QTabWidget>(gbOther, "pcOther", 4, 19, 738, 392);
    pcOther->setDocumentMode(true);
    // The pages are made empty; each gets its controls when it is first shown (buildPage).
    for (const PageMaker& p : kPageMakers) {
        auto* w = new QWidget;
        w->setObjectName(QString::fromLatin1(p.name));
        pcOther->addTab(w, QString::fromLatin1(p.caption));
        unbuiltPages_ << w;
    }
    connect(pcOther, &QTabWidget::currentChanged, this, [this](int index) {
        if (!choosingPage_) guarded([this, index] { buildPage(pcOther->widget(index)); });
    });

    auto* sbComm = Make<QWidget>(gbType, "sbComm", 8, 590, 745, 25);
    sbCommSent = Panel(sbComm, "sbCommSent", QString(), 0, 0, 300, 25);
    sbCommReceived = Panel(sbComm, "sbCommReceived", QString(), 302, 0, 443, 25);
}

void TfrmModule::buildPage(QWidget* page) {
    if (!page || !unbuiltPages_.removeOne(page)) return;
    for (const PageMaker& p : kPageMakers) {
        if (page->objectName() == QLatin1String(p.name)) p.build(page);
    }
    // A page already on screen shows the controls made into it now.
    if (page->isVisible()) {
        for (QWidget* c : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (!c->testAttribute(Qt::WA_WState_ExplicitShowHide)) c->show();
    }
    preparePage(page);
}
