#include "engine/dido.h"

#include <QElapsedTimer>

#include "engine/factory.h"
#include "engine/modulecontext.h"
#include "engine/testsummary.h"

QString ChannelText(const Channels& channels) {
    QString text;
    for (int k = 0; k < 16; ++k) text += channels[k] ? QLatin1Char('1') : QLatin1Char('0');
    return text;
}

std::optional<Channels> ChannelsOfText(const QString& text) {
    if (text.size() != 16) return std::nullopt;
    Channels c;
    for (int k = 0; k < 16; ++k) {
        if (text.at(k) != QLatin1Char('0') && text.at(k) != QLatin1Char('1')) return std::nullopt;
        c[k] = text.at(k) == QLatin1Char('1');
    }
    return c;
}

Channels ChannelsAt(const QByteArray& reply, int from) {
    Channels c;
    for (int k = 0; k < 16; ++k) c[k] = ReplyAt(reply, from + k) == QLatin1Char('1');
    return c;
}

std::optional<Channels> InputsOfReply(const QByteArray& reply) {
    if (reply.size() != 24) return std::nullopt;
    Channels c;
    for (int k = 0; k < 16; ++k) {
        const char ch = reply.at(5 + k);
        if (ch != '0' && ch != '1') return std::nullopt;
        c[k] = ch == '1';
    }
    return c;
}

void CountChanges(std::array<int, 16>& counts, std::optional<Channels>& last, const Channels& now) {
    if (last) {
        for (int k = 0; k < 16; ++k)
            if ((*last)[k] != now[k]) ++counts[k];
    }
    last = now;
}

bool ReadDidoSettings(ModuleContext& m, DidoSettings& out) {
    if (!SendCommand(m, QStringLiteral("G"))) return false;
    const QChar mode = ReplyAt(m.link.LastReply, 6);
    // Any other character leaves the mode as it was.
    if (mode == QLatin1Char('H'))
        out.mode = DiMode::Hold;
    else if (mode == QLatin1Char('S'))
        out.mode = DiMode::Normal;
    Pause(50);
    if (!SendCommand(m, QStringLiteral("A"))) return false;
    out.normallyClosed = ChannelsAt(m.link.LastReply, 6);
    return true;
}

Outcome SetDiMode(ModuleContext& m, DiMode mode) {
    Operation op;
    op.nameRow = 64;
    const QString letters = mode == DiMode::Hold ? QStringLiteral("GH") : QStringLiteral("GS");
    op.wanted = SettingText(QStringLiteral("di-mode"), mode == DiMode::Hold ? 0 : 1);
    op.action = [&m, letters] { return SendTry(m, letters); };
    return RunOperation(m, op);
}

Outcome SetNoNc(ModuleContext& m, const Channels& normallyClosed) {
    Operation op;
    op.nameRow = 68;
    const QString letters = QStringLiteral("A") + ChannelText(normallyClosed);
    op.wanted = {{QStringLiteral("di-nonc"), ChannelText(normallyClosed)}};
    op.action = [&m, letters] { return SendTry(m, letters); };
    return RunOperation(m, op);
}

ContinuousEnd RunDidoTest(ModuleContext& m, const std::function<Channels()>& outputs,
                          const std::function<void(const Channels&)>& inputs,
                          const std::function<bool()>& stopRequested,
                          const std::function<void(const DidoCycle&)>& cycled) {
    TestSummary summary = BeginSummary(LiveTest::DidoTest);
    QElapsedTimer clock;
    clock.start();
    std::optional<Channels> last;
    const auto cycle = [&](ContinuousRun& run) {
        run.pause(50);
        DidoCycle c;
        c.outputs = outputs();
        ++summary.cycles;
        c.answered = SendCommand(m, QStringLiteral("I") + ChannelText(c.outputs));
        c.ms = clock.elapsed();
        if (c.answered) {
            run.answered();
            if (m.link.RxPos == 24) inputs(ChannelsAt(m.link.LastReply, 6));
            c.inputs = InputsOfReply(m.link.LastReply);
            if (c.inputs)
                CountChanges(summary.inputChanges, last, *c.inputs);
            else
                ++summary.unreadable;
        } else {
            run.failed();
            ++summary.failures;
        }
        if (cycled) cycled(c);
    };
    const ContinuousEnd end = RunContinuous(m, cycle, stopRequested);
    EndSummary(m, summary, end);
    return end;
}

std::vector<FactoryStep> DidoFactorySteps() {
    using namespace factory;
    return {Wait(100),
            SendId01(),
            Wait(200),
            Pump(),
            Set([](ModuleSettings& s) { s.dido.mode = DiMode::Hold; }),
            Send(QStringLiteral("GH")),
            Wait(100),
            Set([](ModuleSettings& s) { s.dido.normallyClosed = Channels(); }),
            Send(QStringLiteral("A") + QString(16, QLatin1Char('0'))),
            Wait(100),
            Send(QStringLiteral("E5"))};
}
