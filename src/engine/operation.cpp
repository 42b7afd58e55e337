#include "engine/operation.h"

#include <QThread>

#include "engine/modulecontext.h"
#include "engine/observer.h"
#include "engine/records.h"

QChar ReplyAt(const QByteArray& r, int pos) {
    if (pos < 1 || pos > r.size()) return QChar();
    return QChar::fromLatin1(r.at(pos - 1));
}

QString ReplyText(const QByteArray& r, int pos, int n) {
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

QString TwoDigitText(int n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

bool SendCommand(ModuleContext& m, const QString& letters) {
    return m.link.Transact(m.TypePrefix + m.ModuleId + letters);
}

TryResult SendTry(ModuleContext& m, const QString& letters) {
    return SendCommand(m, letters) ? TryResult::Success : TryResult::Failed;
}

bool CommandSendable(const ModuleContext& m, const QString& letters) {
    return Link::IsSendable(m.TypePrefix + m.ModuleId + letters);
}

void Pause(int ms) {
    QThread::msleep(static_cast<unsigned long>(ms));
}

Outcome RunOperation(ModuleContext& m, const Operation& op) {
    if (m.Linked != 1) return {};
    const SettingValues before = KnownBefore(m, op.wanted);
    m.observer().message(op.nameRow, QString());
    m.observer().pump();
    bool ok = false;
    // The module that the identification pre-query found at the address: the one the
    // operation's frames reach.
    QString addressee;
    if (op.formable && m.link.OpenPort(m.PortNo, m.BaudText)) {
        for (int t = 0; t < op.tries; ++t) {
            Pause(100);
            if (op.preQuery != 0) {
                if (!SendCommand(m, QString(QLatin1Char(op.preQuery))) || m.link.RxPos != 16)
                    continue;
                if (op.preQuery == 'B') addressee = ReplyText(m.link.LastReply, 6, 8);
                Pause(100);
            }
            const TryResult r = op.action();
            if (r == TryResult::Success) ok = true;
            if (r != TryResult::Failed) break;
        }
        m.link.ClosePort();
    }
    const Outcome outcome = ok ? Outcome{Outcome::Status::Success, op.nameRow + 1}
                               : Outcome{Outcome::Status::Error, op.nameRow + 2};
    RecordOperation(m, op, before, outcome, addressee);
    return outcome;
}
