#pragma once
// Factory default: each module type's sequence of commands, waits and control settings, as
// data that one runner carries out inside the operation frame.

#include <QString>
#include <vector>

struct FactoryStep {
    enum class Kind {
        Wait,  // blocks the thread for `value` ms
        Pump,  // lets the window process its pending events
        Set,   // sets control `text` to `value` (bar position, list index, check state)
        Send,  // sends the command letters `text`; the try fails without a verified reply
    };
    Kind kind = Kind::Wait;
    QString text;
    int value = 0;
    // Send only: once the reply verifies the module answers at ID 01, and so does the window.
    bool setsId01 = false;
};

// In the letters of a Send step, "{SN}" stands for the serial number of the identification
// reply of the try, and "{name}" for the text of the window's panel `name`.
namespace factory {
inline FactoryStep Wait(int ms) {
    return {FactoryStep::Kind::Wait, QString(), ms, false};
}
inline FactoryStep Pump() {
    return {FactoryStep::Kind::Pump, QString(), 0, false};
}
inline FactoryStep Set(const QString& control, int value) {
    return {FactoryStep::Kind::Set, control, value, false};
}
inline FactoryStep Send(const QString& letters) {
    return {FactoryStep::Kind::Send, letters, 0, false};
}
// The module's own ID back to 01, addressed by its serial number.
inline FactoryStep SendId01() {
    return {FactoryStep::Kind::Send, QStringLiteral("C{SN}01"), 0, true};
}
}  // namespace factory

// The sequences of the module families, after the identification query of each try.
std::vector<FactoryStep> DidoFactorySteps();
std::vector<FactoryStep> PrinterFactorySteps();
std::vector<FactoryStep> LinkModuleFactorySteps();
std::vector<FactoryStep> RepeaterFactorySteps();
std::vector<FactoryStep> WiegandFactorySteps(bool keyNumber);
