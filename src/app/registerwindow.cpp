#include "app/registerwindow.h"

#include <QAction>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>

#include "app/access.h"
#include "app/frmmodule.h"
#include "app/pagecontrol.h"
#include "app/registermodel.h"
#include "app/registersyncer.h"
#include "engine/buses.h"
#include "link/linesettings.h"
#include "link/portmap.h"
#include "register/registercsv.h"
#include "register/registerwriter.h"
#include "settings/settings.h"
#include "text/extratexts.h"

QString DescribeRegisterProblem(const RegisterProblem& p, int lang) {
    using Kind = RegisterProblem::Kind;
    const QString file = QDir::toNativeSeparators(p.path);
    auto t = [lang](int row) { return ExtraTexts::text(row, lang); };
    switch (p.kind) {
        case Kind::None:
            return QString();
        case Kind::NotDatabase:
            return t(ExtraTexts::kRegisterNotDatabase).arg(file);
        case Kind::NotRegister:
            return t(ExtraTexts::kRegisterNotRegister).arg(file);
        case Kind::Newer:
            return t(ExtraTexts::kRegisterNewer).arg(file);
        case Kind::ReadOnly:
            return t(ExtraTexts::kRegisterReadOnly).arg(file);
        case Kind::NoFolder:
            return t(ExtraTexts::kRegisterNoFolder).arg(file);
        case Kind::FolderNotWritable:
            return t(ExtraTexts::kRegisterFolder).arg(file);
        case Kind::DiskFull:
            return t(ExtraTexts::kRegisterDiskFull).arg(file);
        case Kind::Locked:
            return t(ExtraTexts::kRegisterLocked).arg(file);
        case Kind::SameFile:
        case Kind::Failed:
            break;
    }
    return p.detail.isEmpty() ? file : file + QStringLiteral(": ") + p.detail;
}

namespace {

QString Values(const std::optional<SettingValues>& v) {
    return v ? ValuesText(*v) : QString();
}

}  // namespace

TfrmRegister::TfrmRegister(TfrmModule& main) : QWidget(&main, Qt::Window), main_(main) {
    setObjectName(QStringLiteral("frmRegister"));
    auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    edRegisterSite = new QLineEdit(this);
    edRegisterSite->setObjectName(QStringLiteral("edRegisterSite"));
    edRegisterFilter = new QLineEdit(this);
    edRegisterFilter->setObjectName(QStringLiteral("edRegisterFilter"));
    edRegisterFilter->setClearButtonEnabled(true);
    btnRegisterExport = new QPushButton(this);
    btnRegisterExport->setObjectName(QStringLiteral("btnRegisterExport"));
    exportMenu_ = new QMenu(btnRegisterExport);
    QAction* modules = exportMenu_->addAction(QString());
    modules->setObjectName(QStringLiteral("actRegisterExportModules"));
    QAction* history = exportMenu_->addAction(QString());
    history->setObjectName(QStringLiteral("actRegisterExportHistory"));
    btnRegisterExport->setMenu(exportMenu_);

    model_ = new RegisterModulesModel(this);
    tblRegister = new QTableView(this);
    tblRegister->setObjectName(QStringLiteral("tblRegister"));
    tblRegister->setModel(model_);
    tblRegister->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblRegister->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblRegister->setSelectionMode(QAbstractItemView::SingleSelection);
    tblRegister->verticalHeader()->hide();
    tblRegister->horizontalHeader()->setStretchLastSection(true);
    tblRegister->setWordWrap(false);
    // Columns fit the rows in view, not all ten thousand of a large register.
    tblRegister->horizontalHeader()->setResizeContentsPrecision(50);
    tblRegisterHistory = new QTableWidget(0, 12, this);
    tblRegisterHistory->setObjectName(QStringLiteral("tblRegisterHistory"));
    tblRegisterHistory->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblRegisterHistory->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblRegisterHistory->verticalHeader()->hide();
    tblRegisterHistory->horizontalHeader()->setStretchLastSection(true);
    tblRegisterHistory->setWordWrap(false);
    lbRegisterStatus = new ValuePanel(this);
    lbRegisterStatus->setObjectName(QStringLiteral("lbRegisterStatus"));
    lbRegisterStatus->setWordWrap(true);

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(tblRegister);
    split->addWidget(tblRegisterHistory);
    auto* grid = new QGridLayout(this);
    grid->addWidget(label("lbRegisterSiteCaption"), 0, 0);
    grid->addWidget(edRegisterSite, 0, 1);
    // The row of buttons beside the site: Export, and room for more (a report, replacing a
    // module: btnRegisterReport, btnRegisterReplace).
    auto* buttons = new QHBoxLayout;
    buttons->setObjectName(QStringLiteral("lyRegisterButtons"));
    buttons->addWidget(btnRegisterExport);
    btnRegisterReport = new QPushButton(this);
    btnRegisterReport->setObjectName(QStringLiteral("btnRegisterReport"));
    buttons->addWidget(btnRegisterReport);
    btnRegisterReplace = new QPushButton(this);
    btnRegisterReplace->setObjectName(QStringLiteral("btnRegisterReplace"));
    buttons->addWidget(btnRegisterReplace);
    grid->addLayout(buttons, 0, 2);
    grid->addWidget(label("lbRegisterFilterCaption"), 1, 0);
    grid->addWidget(edRegisterFilter, 1, 1, 1, 2);
    grid->addWidget(split, 2, 0, 1, 3);
    grid->addWidget(lbRegisterStatus, 3, 0, 1, 3);
    buildSync(grid, 4);
    resize(1040, 580);

    auto guard = [this](void (TfrmRegister::*handler)()) {
        return [this, handler] { main_.guarded([this, handler] { (this->*handler)(); }); };
    };
    connect(edRegisterSite, &QLineEdit::editingFinished, this,
            guard(&TfrmRegister::edRegisterSiteChange));
    connect(edRegisterFilter, &QLineEdit::textChanged, this,
            guard(&TfrmRegister::edRegisterFilterChange));
    connect(tblRegister->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            guard(&TfrmRegister::tblRegisterSelect));
    connect(tblRegister, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        main_.guarded([this, index] { tblRegisterDoubleClick(index.row()); });
    });
    connect(modules, &QAction::triggered, this, guard(&TfrmRegister::exportModules));
    connect(history, &QAction::triggered, this, guard(&TfrmRegister::exportHistory));
    connect(btnRegisterReport, &QPushButton::clicked, this,
            guard(&TfrmRegister::btnRegisterReportClick));
    connect(btnRegisterReplace, &QPushButton::clicked, this,
            guard(&TfrmRegister::btnRegisterReplaceClick));

    // What this program writes shows while the window is open.
    watch_ = new QTimer(this);
    watch_->setInterval(500);
    connect(watch_, &QTimer::timeout, this, [this] {
        RegisterWriter* writer = main_.platform().siteRegister;
        if (writer && isVisible() && writer->written() != written_) reload();
    });
    // Reads wait while an operation runs: its waits pump the events, and an exchange on the
    // wire must not wait for the disk.
    mainBusy_ = [this] { return main_.Polling == 1 || !main_.centralWidget()->isEnabled(); };

    askSavePath = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(this, windowTitle(), suggested,
                                            QStringLiteral("CSV (*.csv);;All files (*)"));
    };
    askReportPath = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(this, windowTitle(), suggested,
                                            text(ExtraTexts::kReportFilters));
    };
    askReplace = [this](const QString& question) {
        return QMessageBox::question(this, text(ExtraTexts::kReplaceTitle), question,
                                     QMessageBox::Yes | QMessageBox::Cancel) == QMessageBox::Yes;
    };
    if (RegisterWriter* writer = main_.platform().siteRegister) {
        edRegisterSite->setText(writer->site());
    } else {
        edRegisterSite->setEnabled(false);
    }
    applyTexts(main_.LangIndex);
}

TfrmRegister::~TfrmRegister() {
    // A line edit that loses its focus as the window goes says its editing is finished: no
    // handler of a window half destroyed may hear it.
    for (QObject* sender :
         {static_cast<QObject*>(edRegisterSite), static_cast<QObject*>(edRegisterFilter),
          static_cast<QObject*>(tblRegister->selectionModel())})
        disconnect(sender, nullptr, this, nullptr);
}

QString TfrmRegister::text(int row) const {
    return ExtraTexts::text(row, langIndex_);
}

void TfrmRegister::applyTexts(int langIndex) {
    langIndex_ = langIndex;
    setWindowTitle(text(ExtraTexts::kRegisterTitle));
    findChild<QLabel*>(QStringLiteral("lbRegisterSiteCaption"))
        ->setText(text(ExtraTexts::kRegisterSite));
    findChild<QLabel*>(QStringLiteral("lbRegisterFilterCaption"))
        ->setText(text(ExtraTexts::kRegisterFilter));
    edRegisterFilter->setPlaceholderText(text(ExtraTexts::kRegisterFilterHint));
    btnRegisterExport->setText(text(ExtraTexts::kRegisterExport));
    btnRegisterReport->setText(text(ExtraTexts::kRegisterReport));
    btnRegisterReplace->setText(text(ExtraTexts::kRegisterReplace));
    findChild<QAction*>(QStringLiteral("actRegisterExportModules"))
        ->setText(text(ExtraTexts::kRegisterExportModules));
    findChild<QAction*>(QStringLiteral("actRegisterExportHistory"))
        ->setText(text(ExtraTexts::kRegisterExportHistory));
    model_->setHeaders(text(ExtraTexts::kRegisterColumns).split(QLatin1Char('|')));
    tblRegisterHistory->setHorizontalHeaderLabels(
        text(ExtraTexts::kRegisterHistoryColumns).split(QLatin1Char('|')));
    if (!reader_ || !off_.isEmpty()) showOff(off_);
    applySyncTexts();
    showCount();
    showHistory(model_->module(tblRegister->currentIndex().row()));
}

void TfrmRegister::showOff(const QString& why) {
    off_ = why;
    showCount();
}

void TfrmRegister::showCount() {
    QString status = text(ExtraTexts::kRegisterCount).arg(model_->rowCount()).arg(model_->total());
    if (!main_.platform().siteRegister)
        status = text(ExtraTexts::kRegisterNone);
    else if (!off_.isEmpty())
        status += QStringLiteral("\n") + text(ExtraTexts::kRegisterOff).arg(off_);
    else
        status +=
            QStringLiteral("  ") + QDir::toNativeSeparators(main_.platform().siteRegister->path());
    lbRegisterStatus->setText(status);
}

void TfrmRegister::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    reload();
    watch_->start();
}

bool TfrmRegister::event(QEvent* event) {
    // Another program (quillon-cli) may have written meanwhile.
    if (event->type() == QEvent::WindowActivate && reader_) reload();
    if (event->type() == QEvent::Hide) watch_->stop();
    return QWidget::event(event);
}

void TfrmRegister::reload() {
    RegisterWriter* writer = main_.platform().siteRegister;
    if (!writer) return showCount();
    // The watch reads again once the operation has ended.
    if (mainBusy_()) return;
    written_ = writer->written();
    if (!reader_) {
        // The writer finds out too whether it can write the file, and says so once.
        writer->open();
        auto reader = std::make_unique<RegisterReader>();
        RegisterProblem problem;
        if (!reader->open(writer->path(), &problem)) {
            showOff(DescribeRegisterProblem(problem, langIndex_));
            return;
        }
        reader_ = std::move(reader);
    }
    const RegisterModule* current = model_->module(tblRegister->currentIndex().row());
    const qint64 key = current ? current->key : -1;
    model_->setModules(reader_->modules());
    // The sites of the register, and those the team's server granted.
    QStringList sites = reader_->sites();
    if (main_.registerSyncer) {
        main_.registerSyncer->refresh();
        for (const QString& s : main_.registerSyncer->status().sites)
            if (!sites.contains(s)) sites << s;
        std::sort(sites.begin(), sites.end());
    }
    auto* completer = new QCompleter(sites, edRegisterSite);
    delete edRegisterSite->completer();
    edRegisterSite->setCompleter(completer);
    tblRegister->resizeColumnsToContents();
    const int row = model_->rowOf(key);
    if (row >= 0) tblRegister->setCurrentIndex(model_->index(row, 0));
    showHistory(model_->module(row));
    showCount();
}

void TfrmRegister::edRegisterSiteChange() {
    RegisterWriter* writer = main_.platform().siteRegister;
    if (!writer || writer->site() == edRegisterSite->text()) return;
    writer->setSite(edRegisterSite->text());
    if (main_.platform().settings) SaveRegisterSite(*main_.platform().settings, writer->site());
}

void TfrmRegister::edRegisterFilterChange() {
    model_->setFilter(edRegisterFilter->text());
    showHistory(model_->module(tblRegister->currentIndex().row()));
    showCount();
}

void TfrmRegister::tblRegisterSelect() {
    showHistory(model_->module(tblRegister->currentIndex().row()));
}

void TfrmRegister::showHistory(const RegisterModule* module) {
    history_ = module && reader_ ? reader_->history(module->key) : QList<RegisterEntry>();
    tblRegisterHistory->setRowCount(0);
    tblRegisterHistory->setRowCount(static_cast<int>(history_.size()));
    const QString yes = text(ExtraTexts::kRegisterYes), no = text(ExtraTexts::kRegisterNo);
    for (int r = 0; r < history_.size(); ++r) {
        const RegisterEntry& e = history_.at(r);
        const QStringList cells{
            e.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
            e.source,
            e.operation,
            Values(e.before),
            Values(e.wanted),
            Values(e.after),
            e.outcome,
            e.verified ? (*e.verified ? yes : no) : QString(),
            e.site,
            e.module.port,
            e.module.id < 0 ? QString()
                            : QStringLiteral("%1").arg(e.module.id, 2, 10, QLatin1Char('0')),
            e.module.line};
        for (int c = 0; c < cells.size(); ++c)
            tblRegisterHistory->setItem(r, c, new QTableWidgetItem(cells.at(c)));
    }
    tblRegisterHistory->resizeColumnsToContents();
}

void TfrmRegister::tblRegisterDoubleClick(int row) {
    const RegisterModule* m = model_->module(row);
    if (!m) return;
    if (main_.Polling == 1 || !main_.centralWidget()->isEnabled()) {
        lbRegisterStatus->setText(text(ExtraTexts::kSurveyBusy));
        return;
    }
    // The port by its COM name, or the entry of the port box whose device it is.
    QString port = main_.cmbPort->currentText();
    if (PortNumberOf(m->facts.port) > 0) {
        port = m->facts.port;
    } else {
        for (int i = 0; i < main_.cmbPort->count(); ++i)
            if (main_.cmbPort->itemData(i, Qt::ToolTipRole).toString().section('\n', 0, 0) ==
                m->facts.port)
                port = main_.cmbPort->itemText(i);
    }
    main_.cmbPort->setEditText(port);
    const int line = LineSettings::indexOfTextOrCode(m->facts.line, LineSettings::kListed);
    if (line >= 0) main_.cmbBaudRate->setCurrentIndex(line);
    for (int i = 0; i < 6; ++i) {
        if (QString::fromStdString(ModuleTypeName(kAllModuleTypes[i])) == m->facts.type &&
            main_.pcMain->currentIndex() != i)
            main_.pcMain->clickTab(i);
    }
    if (m->facts.id >= 1) main_.sbID->setValue(m->facts.id);
    main_.btnLinkClick();
    main_.raise();
    main_.activateWindow();
}

bool TfrmRegister::save(const QString& suggested, const QStringList& header,
                        const QList<QStringList>& rows) {
    const QString path = askSavePath ? askSavePath(suggested) : QString();
    if (path.isEmpty()) return false;
    QString why;
    if (!WriteCsv(path, header, rows, &why)) {
        lbRegisterStatus->setText(text(ExtraTexts::kSaveFailed).arg(path, why));
        return false;
    }
    lbRegisterStatus->setText(
        text(ExtraTexts::kRegisterSaved).arg(rows.size()).arg(QDir::toNativeSeparators(path)));
    return true;
}

void TfrmRegister::exportModules() {
    QList<QStringList> rows;
    for (const RegisterModule& m : model_->shown()) rows << ModuleCsvCells(m);
    save(QStringLiteral("quillon-register.csv"), ModuleCsvHeader(), rows);
}

void TfrmRegister::exportHistory() {
    const RegisterModule* m = model_->module(tblRegister->currentIndex().row());
    if (!m) return;
    QList<QStringList> rows;
    for (const RegisterEntry& e : history_) rows << HistoryCsvCells(e);
    // A serial number may hold characters that a file name cannot.
    QString name = m->facts.type + QLatin1Char('-') + m->facts.serial;
    for (QChar& c : name)
        if (!c.isLetterOrNumber() && c != QLatin1Char('-')) c = QLatin1Char('_');
    save(QStringLiteral("quillon-%1.csv").arg(name), HistoryCsvHeader(), rows);
}
