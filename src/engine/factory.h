#pragma once
// Factory default: each module type's sequence of commands, waits and settings, as data that
// one runner carries out inside the operation frame.

#include <QString>
#include <functional>
#include <vector>

#include "engine/modulesettings.h"
#include "engine/operation.h"

struct FactoryStep {
    enum class Kind {
        Wait,  // blocks the thread for `value` ms
        Pump,  // lets the front end process its pending events
        Set,   // a setting takes its default in the settings the run leaves behind
        Send,  // sends the command letters `text`; the try fails without a verified reply
    };
    Kind kind = Kind::Wait;
    QString text;
    int value = 0;
    // Send only: once the reply verifies the module answers at ID 01, and so do the commands.
    bool setsId01 = false;
    std::function<void(ModuleSettings&)> set;
};

// In the letters of a Send step, "{SN}" stands for the serial number of the identification
// reply of the try, and "{CH2SN}" for CH #2's serial number as the front end knows it.
namespace factory {
inline FactoryStep Wait(int ms) {
    return {FactoryStep::Kind::Wait, QString(), ms, false, {}};
}
inline FactoryStep Pump() {
    return {FactoryStep::Kind::Pump, QString(), 0, false, {}};
}
inline FactoryStep Set(std::function<void(ModuleSettings&)> set) {
    return {FactoryStep::Kind::Set, QString(), 0, false, std::move(set)};
}
inline FactoryStep Send(const QString& letters) {
    return {FactoryStep::Kind::Send, letters, 0, false, {}};
}
// The module's own ID back to 01, addressed by its serial number.
inline FactoryStep SendId01() {
    return {FactoryStep::Kind::Send, QStringLiteral("C{SN}01"), 0, true, {}};
}
}  // namespace factory

struct FactoryInputs {
    QString ch2Serial;  // the Wiegand modules' CH #2 serial number from the last read-back
};

// What a run leaves behind, succeeded or not, for the front end to show.
struct FactoryResult {
    bool id01 = false;         // the module answers at ID 01 now
    bool lineDefault = false;  // the list of line settings shows the default again
    ModuleSettings settings;   // the defaults the run has reached
};

// The identification query of each try, then the sequence of the context's type.
Outcome FactoryDefault(ModuleContext& m, const FactoryInputs& in, FactoryResult& out);
