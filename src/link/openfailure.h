#pragma once
// Why a serial port did not open, as far as the platform can tell.

#include <QString>

struct OpenFailure {
    enum class Reason {
        None,              // it opened, or nothing is known
        NoDevice,          // the port number names no device
        NotFound,          // the device is not there (an adapter unplugged)
        PermissionDenied,  // the user may not open the device
        InUse,             // another program holds the device
        Other,             // the system's own words are in `detail`
    };
    Reason reason = Reason::None;
    QString device;
    // For PermissionDenied: the group whose members may open the device, when there is one.
    QString group;
    QString detail;
};
