// The report module's entry points: quillon-cli, which links no Qt Gui, loads this library for
// `report --pdf` only, makes its application object here and has the PDF drawn here.

#include <QGuiApplication>

#include "report/reportpdf.h"

extern "C" Q_DECL_EXPORT QCoreApplication* quillon_report_application(int& argc, char** argv) {
    // A command line program shows no window: no display is needed, whether one is there or
    // not, unless the user asks for a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QGuiApplication(argc, argv);
}

extern "C" Q_DECL_EXPORT bool quillon_report_pdf(const CommissioningReport& report,
                                                 const QString& path, int langIndex,
                                                 QString* error) {
    return WriteReportPdf(report, path, langIndex, error);
}
