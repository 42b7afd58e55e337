#include "engine/findmodule.h"

#include "engine/modulecontext.h"
#include "engine/observer.h"
#include "link/linesettings.h"

bool AskIdentification(ModuleContext& m, const QString& id) {
    return m.link.Transact(m.TypePrefix + id + QStringLiteral("B")) && m.link.RxPos == 16;
}

namespace {

// Up to `attempts` identification queries; true at the first 16-byte verified reply.
bool Identify(ModuleContext& m, const QString& id, int attempts) {
    for (int i = 0; i < attempts; ++i) {
        if (AskIdentification(m, id)) {
            m.Identification = m.link.LastReply;
            return true;
        }
    }
    return false;
}

void Scanning(ModuleContext& m, int n) {
    m.observer().message(12, QStringLiteral(" : #") + QString::number(n));
    m.observer().pump();
}

bool ReadTypeSettings(ModuleContext& m, ModuleSettings& s) {
    if (!m.type) return false;  // no type selected: nothing to read
    switch (*m.type) {
        case ModuleType::RQ3016:
            return ReadDidoSettings(m, s.dido);
        case ModuleType::RQ3020:
            return true;  // nothing beyond serial number and version
        case ModuleType::RQ3030:
            return ReadLinkModuleSettings(m, s.linkModule);
        case ModuleType::RQ3040:
            return ReadRepeaterSettings(m, s.repeater);
        case ModuleType::RQ3050S:
            return ReadWiegandSettings(m, false, s.wiegand);
        case ModuleType::RQ3050K:
            return ReadWiegandSettings(m, true, s.wiegand);
    }
    return false;
}

}  // namespace

bool Scan(ModuleContext& m, const ScanPlan& plan) {
    m.Linked = 0;
    bool found = false;
    if (m.PortNo > 0) {
        m.observer().scanRemembered(m.PortNo, m.BaudIndex);
        if (m.link.OpenPort(m.PortNo, m.BaudText)) {
            Scanning(m, m.PortNo);
            found = Identify(m, QStringLiteral("00"), 3);
            m.link.ClosePort();
        }
    }
    if (found) {
        RecordSighting(m, SightingKind::Scan);
        return true;
    }

    m.observer().scanEntry(-1);
    const auto stopped = [&plan] { return plan.stop && plan.stop(); };
    for (int e = 0; e < plan.ports.size() && !found && !stopped(); ++e) {
        m.observer().scanEntry(e);
        m.observer().pump();
        const int n = plan.ports.at(e);
        int j = 0;
        do {
            if (plan.lock) j = m.BaudIndex;
            m.observer().scanLine(j);
            if (stopped() || !m.link.OpenPort(n, LineSettings::text(j))) break;
            Scanning(m, n);
            if (Identify(m, QStringLiteral("00"), 2)) {
                m.PortNo = n;
                m.BaudText = LineSettings::text(j);
                m.BaudIndex = j;
                m.observer().scanFoundBySearch();
                found = true;
            }
            m.link.ClosePort();
            if (found || plan.lock) break;
            ++j;
        } while (j < LineSettings::kListed);
    }
    if (found) RecordSighting(m, SightingKind::Scan);
    return found;
}

bool LinkAt(ModuleContext& m, int portNo, int lineIndex, const QString& id) {
    m.Linked = 0;
    bool found = false;
    if (m.link.OpenPort(portNo, LineSettings::text(lineIndex))) {
        Scanning(m, portNo);
        found = Identify(m, id, 3);
        m.link.ClosePort();
    }
    if (found) {
        m.PortNo = portNo;
        m.BaudIndex = lineIndex;
        m.BaudText = LineSettings::text(lineIndex);
        RecordSighting(m, SightingKind::Link);
    }
    return found;
}

Outcome ReadModule(ModuleContext& m, QByteArray identification, ReadBack& out) {
    out.serial = ReplyText(identification, 6, 8);
    m.observer().serialRead(out.serial);
    m.observer().pump();

    bool complete = false;
    out.id = TwoDigits(ReplyAt(identification, 3), ReplyAt(identification, 4));
    // An ID that is not two digits cannot be addressed: the data error at once.
    if (out.id >= 0) {
        m.ModuleId = ReplyText(identification, 3, 2);
        if (m.link.OpenPort(m.PortNo, m.BaudText)) {
            bool version = false;
            for (int t = 0; t < 2 && !version; ++t) {
                Pause(100);
                version = SendCommand(m, QStringLiteral("V"));
            }
            if (version) {
                out.version = ReplyText(m.link.LastReply, 6, 8);
                m.observer().versionRead(out.version);
                Pause(50);
                complete = ReadTypeSettings(m, out.settings);
                m.Linked = 1;
                m.observer().moduleLinked();
            }
            m.link.ClosePort();
        }
    }
    const Outcome outcome =
        complete ? Outcome{Outcome::Status::Success, 15} : Outcome{Outcome::Status::Error, 16};
    RecordRead(m, out.serial, out.id, out.version, out.settings, outcome);
    return outcome;
}
