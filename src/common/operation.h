#pragma once
// The frame around every single module command: the linked test, the message rows, the port,
// the tries with their pre-query, and the outcome by message, lamp and tone.

#include <QByteArray>
#include <QChar>
#include <QString>
#include <functional>

class TfrmModule;

enum class TryResult {
    Success,  // the operation has succeeded; no further try
    Failed,   // this try has failed; the next try, if any, starts again
    FailNow,  // the operation has failed at once, without a further try
};

struct Operation {
    int nameRow = 0;      // the name row; the success and error rows follow it
    char preQuery = 'B';  // 'B', 'N' or 0 for none
    int tries = 2;
    // Checked before the port opens: false when the operation cannot form its command (a list
    // left without a selection, a text that cannot go on the wire). Nothing is sent then, and
    // the operation reports its error row.
    std::function<bool()> formable;
    // Sends the operation's own commands once the pre-query has been answered.
    std::function<TryResult()> action;
};

void RunOperation(TfrmModule& w, const Operation& op);

// Character p of the last reply, counting 1 at its start byte; a null character past its end.
QChar ReplyAt(const TfrmModule& w, int pos);
// Characters p..p+n-1 of the last reply (shorter when the reply is).
QString ReplyText(const TfrmModule& w, int pos, int n);
// A decimal digit's value, or -1.
int DigitValue(QChar c);
// Two decimal digits as a number, or -1.
int TwoDigits(QChar hi, QChar lo);
// Sends TypePrefix + ModuleId + letters through the link.
bool SendCommand(TfrmModule& w, const QString& letters);
// Blocks the thread for the pauses between commands.
void Pause(int ms);
// The outcome signals: lamp colour and tone.
void SignalSuccess(TfrmModule& w);
void SignalFailure(TfrmModule& w);
