#include "common/operation.h"

#include <QApplication>
#include <QLabel>
#include <QThread>

#include "app/frmmodule.h"
#include "app/shape.h"
#include "app/tone.h"

QChar ReplyAt(const TfrmModule& w, int pos) {
    const QByteArray& r = w.link.LastReply;
    if (pos < 1 || pos > r.size()) return QChar();
    return QChar::fromLatin1(r.at(pos - 1));
}

QString ReplyText(const TfrmModule& w, int pos, int n) {
    const QByteArray& r = w.link.LastReply;
    if (pos < 1 || pos > r.size()) return QString();
    return QString::fromLatin1(r.mid(pos - 1, n));
}

int DigitValue(QChar c) {
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ? c.unicode() - '0' : -1;
}

int TwoDigits(QChar hi, QChar lo) {
    const int h = DigitValue(hi), l = DigitValue(lo);
    return (h < 0 || l < 0) ? -1 : h * 10 + l;
}

bool SendCommand(TfrmModule& w, const QString& letters) {
    return w.link.Transact(w.TypePrefix + w.ModuleId + letters);
}

void Pause(int ms) {
    QThread::msleep(static_cast<unsigned long>(ms));
}

void SignalSuccess(TfrmModule& w) {
    w.shComm->setBrushColor(TfrmModule::kYellow);
    w.platform().tone->play(Tones::kSuccessHz, Tones::kDurationMs);
}

void SignalFailure(TfrmModule& w) {
    w.shComm->setBrushColor(TfrmModule::kRed);
    w.platform().tone->play(Tones::kFailureHz, Tones::kDurationMs);
}

void RunOperation(TfrmModule& w, const Operation& op) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    w.setWindowEnabled(false);
    if (w.Linked != 1) {
        SignalFailure(w);
    } else {
        w.ShowMessage(op.nameRow);
        QCoreApplication::processEvents();
        bool ok = false;
        const bool formable = !op.formable || op.formable();
        if (formable && w.link.OpenPort(w.PortNo, w.BaudText)) {
            for (int t = 0; t < op.tries; ++t) {
                Pause(100);
                if (op.preQuery != 0) {
                    if (!SendCommand(w, QString(QLatin1Char(op.preQuery))) || w.link.RxPos != 16)
                        continue;
                    Pause(100);
                }
                const TryResult r = op.action();
                if (r == TryResult::Success) ok = true;
                if (r != TryResult::Failed) break;
            }
            w.link.ClosePort();
        }
        if (ok) {
            w.ShowMessage(op.nameRow + 1);
            SignalSuccess(w);
        } else {
            w.ShowMessage(op.nameRow + 2);
            SignalFailure(w);
        }
    }
    w.setWindowEnabled(true);
    QApplication::restoreOverrideCursor();
}
