#include "engine/wiegand.h"

#include <QElapsedTimer>

#include "engine/carddecoder.h"
#include "engine/factory.h"
#include "engine/modulecontext.h"
#include "engine/testsummary.h"

const QStringList& InterfaceNames() {
    static const QStringList names{QStringLiteral("RS485 24"), QStringLiteral("RS485 32"),
                                   QStringLiteral("RS485 40"), QStringLiteral("RS485 64")};
    return names;
}

bool ReadWiegandSettings(ModuleContext& m, bool keyNumber, WiegandSettings& out) {
    const QByteArray& r = m.link.LastReply;
    if (!SendCommand(m, QStringLiteral("N"))) return false;
    const int id = TwoDigits(ReplyAt(r, 3), ReplyAt(r, 4));
    if (id < 0) return false;
    out.ch2Id = id;
    out.ch2Serial = ReplyText(r, 6, 8);
    Pause(50);
    if (!SendCommand(m, QStringLiteral("A"))) return false;
    const int mode = DigitValue(ReplyAt(r, 8));
    if (mode < 0) return false;
    out.interface = mode;
    if (!keyNumber) return true;
    Pause(50);
    if (!SendCommand(m, QStringLiteral("L"))) return false;
    const int keys = TwoDigits(ReplyAt(r, 6), ReplyAt(r, 7));
    if (keys < 0) return false;
    out.keyNumber = keys;
    return true;
}

Outcome SetCh2Id(ModuleContext& m, int id) {
    Operation op;
    op.nameRow = 25;
    op.preQuery = 'N';
    const QString text = TwoDigitText(id);
    op.wanted = SettingText(QStringLiteral("ch2-id"), id);
    op.action = [&m, text] {
        return SendTry(m, QStringLiteral("C") + ReplyText(m.link.LastReply, 6, 8) + text);
    };
    return RunOperation(m, op);
}

Outcome SetInterface(ModuleContext& m, int index) {
    Operation op;
    op.nameRow = 90;
    op.formable = index >= 0 && index <= 3;
    if (op.formable) op.wanted = SettingText(QStringLiteral("interface"), index);
    op.action = [&m, index] { return SendTry(m, QStringLiteral("A00") + QString::number(index)); };
    return RunOperation(m, op);
}

Outcome SetKeyNumber(ModuleContext& m, int keyNumber) {
    Operation op;
    op.nameRow = 95;
    op.wanted = SettingText(QStringLiteral("key-number"), keyNumber);
    op.action = [&m, keyNumber] {
        return SendTry(m, QStringLiteral("L") + TwoDigitText(keyNumber));
    };
    return RunOperation(m, op);
}

ContinuousEnd RunCardTest(ModuleContext& m, const std::function<int()>& ch2Id,
                          const std::function<void(int channel, const QString& text)>& shown,
                          const std::function<bool()>& stopRequested,
                          const std::function<void(const CardRead&)>& read) {
    TestSummary summary = BeginSummary(LiveTest::CardTest);
    QElapsedTimer clock;
    clock.start();
    const auto show = [&](int channel) {
        const QByteArray& r = m.link.LastReply;
        const auto fields =
            DecodeCardFields(std::string(r.constData(), static_cast<size_t>(r.size())));
        if (!fields) return;
        shown(channel, QString::fromStdString(PanelTextOf(*fields)));
        CardRead card;
        card.ms = clock.elapsed();
        card.channel = channel;
        card.key = fields->form == CardFields::Form::Key;
        card.hex = QString::fromStdString(fields->hex);
        card.keys = QString::fromStdString(fields->keys);
        card.decimal = card.key ? card.keys : QString::fromStdString(fields->decimal);
        ++summary.cardCounts[channel - 1];
        if (summary.cards.size() < TestSummary::kMaxCards) summary.cards.append(card);
        if (read) read(card);
    };
    const auto cycle = [&](ContinuousRun& run) {
        run.pause(30);
        ++summary.cycles;
        if (SendCommand(m, QStringLiteral("F"))) {
            run.answered();
            show(1);
        } else {
            ++summary.failures;
        }
        run.pause(30);
        ++summary.cycles;
        if (m.link.Transact(m.TypePrefix + TwoDigitText(ch2Id()) + QStringLiteral("F"))) {
            run.answered();
            show(2);
        } else {
            run.failed();
            ++summary.failures;
        }
    };
    const ContinuousEnd end = RunContinuous(m, cycle, stopRequested);
    EndSummary(m, summary, end);
    return end;
}

std::vector<FactoryStep> WiegandFactorySteps(bool keyNumber) {
    using namespace factory;
    std::vector<FactoryStep> s{Set([](ModuleSettings& v) { v.wiegand.ch2Id = 5; }),
                               Set([](ModuleSettings& v) { v.wiegand.interface = 1; })};
    if (keyNumber) s.push_back(Set([](ModuleSettings& v) { v.wiegand.keyNumber = 4; }));
    // The front end processes its events before every command of this sequence.
    s.insert(s.end(),
             {Wait(100), Pump(), SendId01(), Wait(300), Pump(), Send(QStringLiteral("C{CH2SN}05")),
              Wait(300), Pump(), Send(QStringLiteral("A001"))});
    if (keyNumber) s.insert(s.end(), {Wait(300), Pump(), Send(QStringLiteral("L04"))});
    s.insert(s.end(), {Wait(300), Pump(), Send(QStringLiteral("E5"))});
    return s;
}
