#pragma once
// The commissioning report as PDF: an HTML page laid out by QTextDocument and printed through
// QPdfWriter, A4 landscape, in the given language (0 English, 1 Simplified, 2 Traditional
// Chinese). The fonts are embedded: a face that holds Chinese is chosen when one is installed.
// Needs a QGuiApplication (the offscreen platform will do).

#include <QString>

#include "register/registerreport.h"

// The report's page as HTML: the title page, then a table row per module.
QString ReportHtml(const CommissioningReport& report, int langIndex);

// Writes the PDF in one step (an existing file is replaced only once the new one is whole);
// false with the reason.
bool WriteReportPdf(const CommissioningReport& report, const QString& path, int langIndex,
                    QString* error);

// quillon-cli loads the module quillon-report for `report` and finds these in it.
#define QUILLON_REPORT_APP_ENTRY "quillon_report_application"
#define QUILLON_REPORT_PDF_ENTRY "quillon_report_pdf"
class QCoreApplication;
using ReportApplicationEntry = QCoreApplication* (*)(int& argc, char** argv);
using ReportPdfEntry = bool (*)(const CommissioningReport& report, const QString& path,
                                int langIndex, QString* error);
