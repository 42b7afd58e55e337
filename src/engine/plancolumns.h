#pragma once
// What the plan's pieces share: the type-setting columns (which types have them, how a cell
// reads, where a read-back keeps the value), and how a module's place and settings are told.

#include <QList>
#include <QPair>
#include <QString>
#include <functional>
#include <optional>

#include "engine/commission.h"

struct PlanColumn {
    QString name;
    QList<ModuleType> types;
    std::function<std::optional<int>(const QString&)> parse;
    QString expected;  // what a cell may hold, for the message
    std::function<std::optional<int>(const ModuleSettings&)> read;
};

const QList<PlanColumn>& PlanColumns();
// The column of that name, or null.
const PlanColumn* PlanColumnNamed(const QString& name);

// A whole number within lo..hi, or none.
std::optional<int> PlanNumber(const QString& text, int lo, int hi);
// A line setting by its text or code, or none.
std::optional<int> PlanLineCell(const QString& text);

QString PlanTypeName(ModuleType t);
// "ID 03 at 19200,e,8,1"
QString PlanPlace(int id, int lineIndex);
// "id=03 line=19200,e,8,1" and the row's settings as the read-back shows them ("-" unread).
QString PlanDescribe(int id, int lineIndex, const PlanRow& row, const ModuleSettings* read);

// A module type and an ID: one address on the bus.
using PlanSlot = QPair<int, int>;
int PlanTypeIndex(ModuleType t);
