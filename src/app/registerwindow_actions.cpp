// The Register window's report and module replacement: the report drawn here (the window links
// Qt Gui), the replacement run on the old module's bus in a worker of its own, as a survey is.

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include "app/frmmodule.h"
#include "app/registermodel.h"
#include "app/registerwindow.h"
#include "engine/buses.h"
#include "engine/replace.h"
#include "link/linesettings.h"
#include "link/portmap.h"
#include "register/registerrecorder.h"
#include "register/registerreplace.h"
#include "register/registerreport.h"
#include "register/registerwriter.h"
#include "report/reportpdf.h"
#include "text/extratexts.h"

void TfrmRegister::btnRegisterReportClick() {
    if (!reader_) reload();
    if (!reader_) return;
    ReportSelection s;
    s.site = edRegisterSite->text();
    const CommissioningReport r = GatherReport(*reader_, s, QStringLiteral(QUILLON_VERSION));
    if (r.rows.isEmpty()) {
        lbRegisterStatus->setText(text(ExtraTexts::kReportNoModules).arg(r.scope()));
        return;
    }
    QString name = s.site->isEmpty() ? QStringLiteral("quillon-report")
                                     : QStringLiteral("quillon-report-") + *s.site;
    for (QChar& c : name)
        if (!c.isLetterOrNumber() && c != QLatin1Char('-')) c = QLatin1Char('_');
    const QString path = askReportPath ? askReportPath(name + QStringLiteral(".pdf")) : QString();
    if (path.isEmpty()) return;
    QString why;
    const bool csv =
        QFileInfo(path).suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0;
    const bool ok = CanWriteFile(path, &why) && (csv ? WriteReportCsv(path, r, &why)
                                                     : WriteReportPdf(r, path, langIndex_, &why));
    lbRegisterStatus->setText(
        ok ? text(ExtraTexts::kReportSaved).arg(r.rows.size()).arg(QDir::toNativeSeparators(path))
           : text(ExtraTexts::kSaveFailed).arg(path, why));
}

void TfrmRegister::btnRegisterReplaceClick() {
    if (replacing_ && replacing_->running()) return;
    const RegisterModule* m = model_->module(tblRegister->currentIndex().row());
    if (!m || !reader_) {
        lbRegisterStatus->setText(text(ExtraTexts::kReplaceNoSelection));
        return;
    }
    if (mainBusy_()) {
        lbRegisterStatus->setText(text(ExtraTexts::kSurveyBusy));
        return;
    }
    QString why;
    std::optional<ReplacementSource> source =
        ReplacementFromRegister(*reader_, m->facts.serial, m->facts.type, &why);
    if (!source) {
        lbRegisterStatus->setText(text(ExtraTexts::kReplaceRefused).arg(why));
        return;
    }
    const ReplaceRequest request = source->request;
    // The bus where the old module was; the main window's port when that is not known.
    const QString port =
        source->oldPort.isEmpty() ? QStringLiteral("COM%1").arg(main_.PortNo) : source->oldPort;
    const int portNo = PortNumberOf(port) > 0 ? PortNumberOf(port) : main_.PortNo;
    const QString question =
        text(ExtraTexts::kReplaceHint)
            .arg(m->facts.type, m->facts.serial, port, TwoDigitText(request.id),
                 LineSettings::text(request.lineIndex));
    if (!askReplace || !askReplace(question)) return;

    std::unique_ptr<PortOpener> opener;
    if (main_.platform().busPorts) opener = main_.platform().busPorts(portNo);
    if (!opener) opener = std::make_unique<ForwardingOpener>(*main_.platform().ports);
    auto openers = std::make_shared<std::unique_ptr<PortOpener>>(std::move(opener));
    replacing_ = std::make_unique<BusRunner>(1, [openers](int) { return std::move(*openers); });
    RegisterWriter* writer = main_.platform().siteRegister;
    replacing_->setContextSetup([writer, port](ModuleContext& c, int) {
        c.PortName = port;
        if (writer)
            c.addRecorder(std::make_unique<RegisterRecorder>(*writer, RecordSource::Window, &c));
    });
    auto result = std::make_shared<ReplaceResult>();
    connect(replacing_.get(), &BusRunner::finished, this, [this, result, request] {
        btnRegisterReplace->setEnabled(true);
        // Both modules' histories changed; the table shows them before the outcome is said.
        reload();
        if (result->end == ReplaceEnd::Done) {
            lbRegisterStatus->setText(text(ExtraTexts::kReplaceDone)
                                          .arg(QString::fromStdString(ModuleTypeName(request.type)),
                                               result->newSerial, request.oldSerial,
                                               TwoDigitText(request.id),
                                               LineSettings::text(request.lineIndex)));
        } else {
            lbRegisterStatus->setText(text(ExtraTexts::kReplaceRefused).arg(result->text));
        }
    });
    btnRegisterReplace->setEnabled(false);
    lbRegisterStatus->setText(text(ExtraTexts::kReplaceTitle) + QStringLiteral("..."));
    replacing_->start([result, request, portNo](ModuleContext& c, int) {
        ReplaceRequest r = request;
        r.survey.portNo = portNo;
        *result = ReplaceModule(c, r);
    });
}
