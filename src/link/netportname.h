#pragma once
// Serial ports on a serial device server, named like a URL:
//
//   rfc2217://HOST:PORT   Telnet with the COM-PORT option: the open sets the line (baud rate,
//                         data size, parity, stop size, no flow control) and succeeds once the
//                         server has acknowledged it; purge drops the server's received bytes.
//   tcp://HOST:PORT       raw bytes: the server's line is preset and cannot be changed, so an
//                         open at a line setting other than the one named with
//                         "?line=19200,e,8,1" is refused (without one, any is taken).
//
// Both take "?timeout=SECONDS", the bound on connecting and negotiating (default 3); the
// rfc2217 name also takes pyserial's "ign_set_control" and "poll_modem" and ignores them
// (acknowledgements of flow control are never awaited here). Options are joined with '&'.
//
// One Quillon holds one connection per server address; whether another client may connect
// as well is the server's choice.

//
// The names are read here, in the core; the connection itself lives in a backend that is
// loaded on the first open of such a port (OpenNetworkPort), so that a program that never
// names one does not load the network libraries.

#include <QString>
#include <memory>
#include <optional>

#include "link/linesettings.h"
#include "link/openfailure.h"

class SerialPort;
struct OpenWait;

struct NetPortName {
    enum class Kind { Rfc2217, Raw };
    Kind kind = Kind::Rfc2217;
    QString host;
    quint16 port = 0;
    // Raw ports: the server's line setting, when named.
    std::optional<LineConfig> line;
    int timeoutMs = 3000;
};

// Whether `name` is meant as a network port (it starts with "rfc2217://" or "tcp://", in
// any case), whether or not it parses.
bool IsNetworkPortName(const QString& name);
// The parts of a network port name; empty, with `error` saying why, when it does not parse.
std::optional<NetPortName> ParseNetPortName(const QString& name, QString* error = nullptr);

// An entry point of one of the programs' modules loaded on first use (quillon-netport,
// quillon-report), looked for beside the program, one folder up and in the installed library
// folder ($QUILLON_PLUGIN_DIR first); null with the reason when no place has it.
QFunctionPointer ResolveQuillonModule(const QString& module, const char* symbol, QString* why);

// Connects to the server named and, for rfc2217, negotiates the line setting; null when that
// fails or the network backend cannot be loaded, and then `failure` (when given) says why.
std::unique_ptr<SerialPort> OpenNetworkPort(const QString& name, const QString& lineSetting,
                                            OpenFailure* failure = nullptr,
                                            const OpenWait* wait = nullptr);

// The name of the backend's entry point, and its type: it returns a new port or null with
// `failure` filled in.
#define QUILLON_NETPORT_ENTRY "quillon_open_network_port_waiting"
using NetworkPortEntry = SerialPort* (*)(const QString& name, const QString& lineSetting,
                                         OpenFailure* failure, const OpenWait* wait);
