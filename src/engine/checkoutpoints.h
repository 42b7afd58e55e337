#pragma once
// The points list of a site checkout: which points each module of the site has and what each is
// called there. A CSV of type,serial,point,label: DI1..DI16 of an RQ-3016; CH1, CH2 of a
// Wiegand module and KEYS of an RQ-3050K; ANSWERS of any module (that it answers at its place).
// The list is checked as a whole before anything is sent; a refusal names the row and column.

#include <QList>
#include <QString>
#include <QStringList>

#include "engine/commission.h"
#include "link/moduletype.h"

struct CheckoutPoint {
    int row = 0;  // the record of the file (the header is 1); 0 for a point not from a file
    ModuleType type = ModuleType::RQ3016;
    QString serial;
    QString point;  // "DI3", "CH1", "KEYS", "ANSWERS"
    QString label;  // as written, any text
};

// Every point a module of the type has, in the order a list names them.
QStringList PointsOfType(ModuleType type);
// Whether the type has the point (its name in capitals).
bool TypeHasPoint(ModuleType type, const QString& point);

// Splits CSV text into records of cells: a cell in double quotes may hold commas, line breaks
// and "" for a quote. `rows` receives the file's line on which each record began.
QList<QStringList> ReadCsvRecords(const QString& text, QList<int>* rows = nullptr);

// Reads a points list (an optional header type,serial,point,label first; blank lines and "#"
// lines skipped). False with every problem when any record does not parse: an unknown type, a
// serial number that is not 8 printable characters or that is given for two types, a point the
// type does not have or one given twice. Labels are texts: never refused.
bool ParsePoints(const QString& text, QList<CheckoutPoint>& points, QList<PlanProblem>& problems);

// The list as a file: the header, then a row per point, written for a spreadsheet (a label
// that looks like a formula is kept as text; the serial number stays as the module gives it).
QString WritePoints(const QList<CheckoutPoint>& points);

// Every point of each module a survey found, labels empty (CH #2 entries belong to their module
// and give no points of their own).
QList<CheckoutPoint> PointsOfModules(const QList<SurveyModule>& modules);
