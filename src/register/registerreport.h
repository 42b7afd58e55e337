#pragma once
// The commissioning report's content, read from the register: the modules of a site, of a
// time range or of the runs of one plan, each with its place, settings, last commissioning
// and last live test, and the counts of its title page. Written as CSV here; the PDF is drawn
// by the report module (src/report), which needs Qt Gui.

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

#include "register/registerreader.h"

struct ReportSelection {
    std::optional<QString> site;  // this site only
    QDateTime from;               // the modules the register met in this range (either open)
    QDateTime to;
    QString planHash;  // the modules of the runs of the plan with this SHA-256
    QString planName;  // its file name, for the title page
};

struct ReportRow {
    QString type;
    QString serial;
    QString version;
    QString id;  // "05"; empty: not known
    QString line;
    QString site;
    QString settings;       // "name=value; name=value"
    QString commissioning;  // the outcome of its last plan row; empty: never commissioned
    std::optional<bool> commissioningOk;  // done and verified
    QDateTime commissionedAt;
    QString test;     // "dido-test", "card-test", "dido-check"; empty: never tested
    QString verdict;  // "passed", "failed", "no card read", "not run"
    QDateTime testedAt;
    // Commissioned or tested, and neither the last commissioning nor the last test failed.
    bool passed = false;
    // The newest of its commissioning and its test.
    QDateTime time() const;
};

// A point of the site checkouts: when it passed, or why not.
struct ReportPoint {
    QString type;
    QString serial;
    QString point;  // "DI3", "CH1", "KEYS", "ANSWERS"
    QString label;
    bool passed = false;
    QString state;   // "passed", or what it last came to ("module silent", "waiting", ...)
    QDateTime time;  // when it passed; otherwise of its last state
};

struct CommissioningReport {
    ReportSelection selection;
    QString version;  // the tool's
    QDateTime made;   // UTC
    // The span of the rows' times; invalid when none has one.
    QDateTime first;
    QDateTime last;
    QList<ReportRow> rows;               // by type, then serial number
    QList<QPair<QString, int>> perType;  // type, count; in the rows' order
    int passed = 0;
    // The checked points of the rows' modules, in the rows' order; and how many passed.
    QList<ReportPoint> points;
    int pointsPassed = 0;
    // "site Nord", "plan plan.csv", "2026-01-01 to 2026-02-01": what the report covers.
    QString scope() const;
};

// The report of what the selection picks; an empty report when it picks no module.
CommissioningReport GatherReport(RegisterReader& reader, const ReportSelection& selection,
                                 const QString& version);

QStringList ReportCsvHeader();
QStringList ReportCsvCells(const ReportRow& row);
// The report as CSV (UTF-8 with a byte-order mark, CRLF, cells quoted where they need it),
// written in one step; false with the reason.
bool WriteReportCsv(const QString& path, const CommissioningReport& report, QString* error);

// Whether a file can be made at `path` (its folder exists and takes files, an existing file
// can be replaced); false with the reason. Nothing is left behind.
bool CanWriteFile(const QString& path, QString* error);
