#pragma once
// Why a serial port did not open, as far as the platform can tell, and how the user is told.

#include <QString>

struct OpenFailure {
    enum class Reason {
        None,              // it opened, or nothing is known
        NoDevice,          // the port number names no device
        NotFound,          // the device is not there (an adapter unplugged)
        PermissionDenied,  // the user may not open the device
        InUse,             // another program holds the device
        Other,             // the system's own words are in `detail`
        // Ports on a serial device server (rfc2217:// and tcp:// names):
        BadName,             // the name does not parse; `detail` says what is wrong
        HostNotFound,        // the server's host name does not resolve
        ConnectionRefused,   // nothing listens at the server's address
        NoAnswer,            // no connection or no negotiation within `boundMs`
        ComPortRefused,      // the server declined the serial port control option
        LineSettingRefused,  // the port cannot take the line setting; `detail` says why
        ConnectionClosed,    // the server hung up during the open; `detail`: what it said
        Cancelled,           // the user ended the attempt while it waited
    };
    Reason reason = Reason::None;
    QString device;
    // For PermissionDenied: the group whose members may open the device, when there is one.
    QString group;
    QString detail;
    // For NoAnswer: the bound that passed, in milliseconds.
    int boundMs = 0;

    // In plain words of the language (0..2); empty when the port did open.
    QString describe(int langIndex) const;
};
