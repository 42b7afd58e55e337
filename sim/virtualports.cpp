#include "sim/virtualports.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

struct VirtualPorts::PortState {
    enum class Kind { Module, Silent, Busy, Gone };
    Kind kind = Kind::Silent;
    std::unique_ptr<ModuleHost> host;
    LineConfig line{9600, Parity::None, 8, 1};
    bool open = false;
    std::string written;
};

namespace {

constexpr size_t kMaxWrittenKept = 1 << 20;

class VirtualSerialPort : public SerialPort {
  public:
    VirtualSerialPort(std::shared_ptr<VirtualPorts::PortState> port, LineConfig before)
        : port_(std::move(port)), before_(before) {}
    ~VirtualSerialPort() override { close(); }

    int readByte() override { return readByteWithin(1); }

    int readByteWithin(int waitMs) override {
        const auto wait = std::chrono::milliseconds(std::max(waitMs, 1));
        if (!port_ || port_->kind == VirtualPorts::PortState::Kind::Gone) {
            std::this_thread::sleep_for(wait);
            return -1;
        }
        ModuleHost* host = port_->host.get();
        SimTime now = SimClock::now();
        if (host) {
            const int b = host->takeDue(now);
            if (b >= 0) return b;
        }
        SimTime until = now + wait;
        if (host) {
            if (const std::optional<SimTime> due = host->nextDue(); due && *due < until)
                until = *due;
        }
        std::this_thread::sleep_until(until);
        return host ? host->takeDue(SimClock::now()) : -1;
    }

    bool write(const uint8_t* bytes, int count) override {
        // A device that has gone takes nothing, as an unplugged adapter.
        if (!port_ || count < 0 || port_->kind == VirtualPorts::PortState::Kind::Gone) return false;
        port_->written.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
        if (port_->written.size() > kMaxWrittenKept) {
            port_->written.erase(0, port_->written.size() - kMaxWrittenKept);
        }
        if (port_->host) {
            port_->host->receive(bytes, count, SimClock::now(), port_->line,
                                 ModuleHost::LineMatch::Exact);
        }
        return true;
    }

    void purge() override {
        if (port_ && port_->host) port_->host->dropPending();
    }

    void close() override {
        if (!port_) return;
        port_->line = before_;
        port_->open = false;
        port_.reset();
    }

  private:
    std::shared_ptr<VirtualPorts::PortState> port_;
    LineConfig before_;
};

}  // namespace

VirtualPorts::VirtualPorts() = default;
VirtualPorts::~VirtualPorts() = default;

VirtualPorts::PortState* VirtualPorts::find(int portNo) const {
    const auto it = ports_.find(portNo);
    return it == ports_.end() ? nullptr : it->second.get();
}

VirtualPorts::PortState& VirtualPorts::slot(int portNo) {
    std::shared_ptr<PortState>& state = ports_[portNo];
    if (!state) state = std::make_shared<PortState>();
    return *state;
}

SimModule& VirtualPorts::addModule(int portNo, ModuleType type) {
    return addModule(portNo, SimModule(type));
}

SimModule& VirtualPorts::addModule(int portNo, SimModule module) {
    PortState& s = slot(portNo);
    if (s.kind == PortState::Kind::Module && s.host) return s.host->addModule(std::move(module));
    s.kind = PortState::Kind::Module;
    s.host = std::make_unique<ModuleHost>(std::move(module), static_cast<uint32_t>(portNo));
    return s.host->module();
}

void VirtualPorts::addSilentPort(int portNo) {
    PortState& s = slot(portNo);
    s.kind = PortState::Kind::Silent;
    s.host.reset();
}

void VirtualPorts::addBusyPort(int portNo) {
    PortState& s = slot(portNo);
    s.kind = PortState::Kind::Busy;
    s.host.reset();
}

void VirtualPorts::unplug(int portNo) {
    if (PortState* s = find(portNo)) s->kind = PortState::Kind::Gone;
}

void VirtualPorts::removePort(int portNo) {
    ports_.erase(portNo);
}

ModuleHost& VirtualPorts::host(int portNo) {
    PortState* s = find(portNo);
    if (!s || !s->host) throw std::logic_error("no simulated module on this port");
    return *s->host;
}

bool VirtualPorts::hasModule(int portNo) const {
    const PortState* s = find(portNo);
    return s && s->host;
}

std::unique_ptr<SerialPort> VirtualPorts::open(int portNo, const QString& lineSetting) {
    PortState* s = find(portNo);
    const bool ok =
        s && s->kind != PortState::Kind::Busy && s->kind != PortState::Kind::Gone && !s->open;
    opens_.push_back({portNo, lineSetting, ok});
    lastFailure_ = OpenFailure{};
    if (!ok) {
        lastFailure_.device = QStringLiteral("COM%1").arg(portNo);
        lastFailure_.reason = !s || s->kind == PortState::Kind::Gone ? OpenFailure::Reason::NotFound
                                                                     : OpenFailure::Reason::InUse;
        return nullptr;
    }
    const LineConfig before = s->line;
    if (const std::optional<LineConfig> parsed = ParseLineSetting(lineSetting)) s->line = *parsed;
    s->open = true;
    return std::make_unique<VirtualSerialPort>(ports_[portNo], before);
}

bool VirtualPorts::isOpen(int portNo) const {
    const PortState* s = find(portNo);
    return s && s->open;
}

LineConfig VirtualPorts::lineConfig(int portNo) const {
    const PortState* s = find(portNo);
    return s ? s->line : LineConfig{};
}

void VirtualPorts::setLineConfig(int portNo, const LineConfig& config) {
    if (PortState* s = find(portNo)) s->line = config;
}

std::vector<std::string> VirtualPorts::commands(int portNo) const {
    const PortState* s = find(portNo);
    return s && s->host ? s->host->receivedCommands() : std::vector<std::string>{};
}

std::string VirtualPorts::written(int portNo) const {
    const PortState* s = find(portNo);
    return s ? s->written : std::string();
}

void VirtualPorts::clearRecords() {
    opens_.clear();
    for (auto& [n, s] : ports_) {
        s->written.clear();
        if (s->host) s->host->clearRecords();
    }
}
