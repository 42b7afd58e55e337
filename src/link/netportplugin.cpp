// The network backend's entry point: the core loads this library on the first open of an
// rfc2217:// or tcp:// port and calls it for every such open.

#include "link/netportname.h"
#include "link/netserialport.h"

extern "C" Q_DECL_EXPORT SerialPort* quillon_open_network_port_waiting(const QString& name,
                                                                       const QString& lineSetting,
                                                                       OpenFailure* failure,
                                                                       const OpenWait* wait) {
    return NetSerialPort::open(name, lineSetting, failure, wait).release();
}
