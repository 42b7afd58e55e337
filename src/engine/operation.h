#pragma once
// The frame around every single module command: the linked test, the name row, the port, the
// tries with their pre-query, and the outcome as a value that the front end shows.

#include <QByteArray>
#include <QChar>
#include <QMap>
#include <QString>
#include <functional>

class ModuleContext;

enum class TryResult {
    Success,  // the operation has succeeded; no further try
    Failed,   // this try has failed; the next try, if any, starts again
    FailNow,  // the operation has failed at once, without a further try
};

// What an operation came to. `row` is the message-table row that says so (none when the
// module was not linked: nothing was said or sent).
struct Outcome {
    enum class Status { NotLinked, Success, Error };
    Status status = Status::NotLinked;
    int row = 0;
    bool ok() const { return status == Status::Success; }
};

// A module's settings by name, each as text: "id" ("03"), "line" ("19200,e,8,1") and the
// type's own under the names of a plan's columns ("di-mode" "hold", "interface" "RS485 32").
using SettingValues = QMap<QString, QString>;

struct Operation {
    int nameRow = 0;      // the name row; the success and error rows follow it
    char preQuery = 'B';  // 'B', 'N' or 0 for none
    int tries = 2;
    // False when the operation cannot form its command (a list left without a selection, a
    // text that cannot go on the wire): nothing is sent and the error row is the outcome.
    bool formable = true;
    // Sends the operation's own commands once the pre-query has been answered.
    std::function<TryResult()> action;
    // What the operation gives the module, for its recorders: the settings it sets, and a
    // text it carries (a command, print data).
    SettingValues wanted;
    QString sent;
};

// Says the name row, pumps, opens the port, runs the tries and closes the port again; then
// tells the recorders what it asked for and came to.
Outcome RunOperation(ModuleContext& m, const Operation& op);

// Sends TypePrefix + ModuleId + letters through the link.
bool SendCommand(ModuleContext& m, const QString& letters);
// Success when the command verified, otherwise a failed try.
TryResult SendTry(ModuleContext& m, const QString& letters);
// Blocks the thread for the pauses between commands.
void Pause(int ms);
// True when TypePrefix + ModuleId + letters is a text the link sends.
bool CommandSendable(const ModuleContext& m, const QString& letters);

// Character `pos` of a reply, counting 1 at its start byte; a null character past its end.
QChar ReplyAt(const QByteArray& reply, int pos);
// Characters pos..pos+n-1 of a reply (shorter when the reply is).
QString ReplyText(const QByteArray& reply, int pos, int n);
// A decimal digit's value, or -1.
int DigitValue(QChar c);
// Two decimal digits as a number, or -1.
int TwoDigits(QChar hi, QChar lo);
// A number as at least two decimal digits, as the ID panels show it.
QString TwoDigitText(int n);
