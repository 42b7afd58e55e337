#pragma once
// What the link reports of its traffic to a recorder, as it happens: each open, each command
// frame sent, each reply (or its absence) and each raw write.

#include <QString>
#include <cstdint>

#include "link/openfailure.h"

struct TrafficEvent {
    enum class Kind {
        Opened,      // lineSetting holds the line setting text, note what else the open did
        OpenFailed,  // failure says why
        Sent,        // a whole command frame, 0x09 to 0x0D
        Received,    // what arrived for the frame last sent; outcome says how it ended
        RawWrite,    // bytes written outside any frame
    };
    enum class Outcome {
        Ok,
        WriteFailed,  // Sent or RawWrite: the port did not take every byte
        NoReply,      // Received: nothing arrived before the silence limit
        Incomplete,   // Received: bytes, but no whole reply frame
        BadChecksum,  // Received: a whole reply frame whose checksum does not match
    };

    Kind kind = Kind::Sent;
    int port = 0;
    const uint8_t* bytes = nullptr;
    int count = 0;
    Outcome outcome = Outcome::Ok;
    QString lineSetting;
    QString note;
    OpenFailure failure;
};

class TrafficSink {
  public:
    virtual ~TrafficSink() = default;
    // Called on the link's thread, in the order things happen on the wire.
    virtual void record(const TrafficEvent& event) = 0;
};
