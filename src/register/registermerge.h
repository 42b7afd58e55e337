#pragma once
// Folds another machine's register into this one: its modules (the newer value of each field
// wins), and every event, live test and card it holds that this register lacks. Events are
// known by their unique id, so merging twice, or merging back, adds nothing twice. The merge
// is one transaction: refused or failed, it changes nothing.

#include <QString>

#include "register/registerfile.h"

struct MergeCounts {
    int modules = 0;  // new to this register
    int events = 0;
    int tests = 0;
};

// False with the problem (nothing changed) when `other` is missing, not a register, of a newer
// schema, this register itself, holds tables or rows that no register of this version has,
// or the merge fails.
bool MergeRegister(const QString& into, const QString& other, MergeCounts* counts,
                   RegisterProblem* problem);
