#pragma once
// An in-process stand-in for the machine's serial ports: port numbers lead to simulated
// modules, to ports that open but stay silent, or to ports that refuse to open (busy).
// Numbers that were not added are absent and fail to open; a port that is open fails a
// second open.
//
//   VirtualPorts ports;
//   SimModule& m = ports.addModule(3, ModuleType::RQ3016);   // COM3, ID 01, "19200,e,8,1"
//   m.id = 7;                                              // state is plain fields
//   ports.host(3).faults().dropShare = 1.0;                // faults, see FaultConfig
//   ports.addSilentPort(1);
//   ports.addBusyPort(2);
//   MainWindow w(Platform{&ports, ...});
//   ... ports.commands(3) == {"B00B", "B07V", ...}
//
// Each port keeps its line configuration (initially 9600,n,8,1). An open applies its line
// setting text when it parses and keeps the previous configuration otherwise; close gives the
// port back the configuration it had before the open, as the platform backend does. The module
// hears a command only when the port's configuration equals its own line setting exactly
// (baud rate and parity alike); otherwise the bytes are garbage to it.
//
// Timing follows the clock, without threads: the reply to a command written at time t is due
// at t + the module's delay (ModuleHost: 5 ms unless set, plus faults and pacing). readByte()
// returns a due byte at once, otherwise it waits about 1 ms (never past the next due byte) and
// returns -1; readByteWithin(ms) waits up to that long instead. purge() drops everything not yet
// read, reply bytes not yet due included.

#include <QString>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/serialport.h"
#include "sim/modulehost.h"

class VirtualPorts : public PortOpener {
  public:
    struct OpenAttempt {
        int port = 0;
        QString lineSetting;
        bool ok = false;
    };

    VirtualPorts();
    ~VirtualPorts() override;

    // A module of the given type on port n; returns the module for its state. On a port that
    // already carries modules it joins their bus (one line, one host); anything else on the
    // port is replaced. The transport (faults, delay, pacing, records) is host(n); module(n)
    // is the first module of the bus.
    SimModule& addModule(int portNo, ModuleType type);
    SimModule& addModule(int portNo, SimModule module);
    void addSilentPort(int portNo);
    void addBusyPort(int portNo);
    // The device goes away, open or not, as an unplugged adapter: reads give nothing, writes
    // fail, and it no longer opens. What the module heard before stays on record.
    void unplug(int portNo);
    // Back to absent.
    void removePort(int portNo);

    // The host of the module on port n; port n must carry a module.
    ModuleHost& host(int portNo);
    SimModule& module(int portNo) { return host(portNo).module(); }
    bool hasModule(int portNo) const;

    std::unique_ptr<SerialPort> open(int portNo, const QString& lineSetting) override;
    // InUse for a busy or open port, NotFound for an absent or unplugged one.
    OpenFailure lastFailure() const override { return lastFailure_; }

    bool isOpen(int portNo) const;
    LineConfig lineConfig(int portNo) const;
    // Sets the configuration a port has before the next open (as another program might).
    void setLineConfig(int portNo, const LineConfig& config);

    // Every open, in order, successful or not.
    const std::vector<OpenAttempt>& opens() const { return opens_; }
    // Verified command texts the module on port n heard, oldest first.
    std::vector<std::string> commands(int portNo) const;
    // Every byte written to port n, whatever it carried and whether anything listened.
    std::string written(int portNo) const;
    void clearRecords();

    struct PortState;

  private:
    PortState* find(int portNo) const;
    PortState& slot(int portNo);

    std::map<int, std::shared_ptr<PortState>> ports_;
    std::vector<OpenAttempt> opens_;
    OpenFailure lastFailure_;
};
