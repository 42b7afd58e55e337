#pragma once
// The steps of one plan row on the wire: its type settings, its ID, its line setting and the
// read-back that verifies it, each at the place where the module is at that moment.

#include <QString>

#include "engine/commission.h"
#include "engine/findmodule.h"

class ModuleContext;

struct PlanRowRunner {
    ModuleContext& m;
    int portNo;
    bool dryRun;
    const CommissionHooks& hooks;
    QString failure;

    void tell(const PlanItem& item, const QString& command);
    // The context addresses the item's module where it is now.
    void at(const PlanItem& item);
    QString prefix(const PlanItem& item) const;
    bool check(const Outcome& o, const QString& what);
    // The type settings that differ, at the module's present place.
    bool sendSettings(PlanItem& item, const ModuleSettings& now);
    bool setId(PlanItem& item, int newId);
    bool setLine(PlanItem& item);
    // Identification at the item's place, answered with its serial number; then the read-back.
    bool readAt(const PlanItem& item, ReadBack& rb);
    // Set ID by serial number to a module among several at one ID: no pre-query, and its
    // reply (which may be garbled) is not relied on.
    bool setSharedId(PlanItem& item);
};
