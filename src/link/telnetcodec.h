#pragma once
// The client side of a Telnet connection with the COM-PORT option, as serial device servers
// speak it: option negotiation, the byte 0xFF doubled in data, and the COM-PORT
// subnegotiations that set the line and purge the server's buffers.
//
// Pure byte handling without sockets: the network port feeds it what the server sent and
// writes what it gives back. Whatever a server sends, broken or hostile, ends as data, as an
// answer to send, or as nothing; no command is ever passed on as data, and nothing grows
// without bound but the data itself.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "link/linesettings.h"

class TelnetCodec {
  public:
    // Telnet bytes and options used here.
    static constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251,
                             kSb = 250, kSe = 240;
    static constexpr uint8_t kBinary = 0, kEcho = 1, kSga = 3, kComPort = 44;
    // COM-PORT commands from client to server; the server's answers add 100.
    enum Command : uint8_t {
        kSignature = 0,
        kSetBaudRate = 1,
        kSetDataSize = 2,
        kSetParity = 3,
        kSetStopSize = 4,
        kSetControl = 5,
        kPurgeData = 12,
    };
    static constexpr uint8_t kServerOffset = 100;
    // Longest subnegotiation kept; the rest of a longer one is read and dropped.
    static constexpr size_t kMaxSubnegotiation = 64;
    // Purges sent without an answer after which the server is taken not to answer them.
    static constexpr int kMaxUnansweredPurges = 3;

    enum class ComPort { Pending, Agreed, Refused };

    // What the client says first: it will speak COM-PORT, and asks for binary transmission
    // and no go-ahead in both directions.
    std::string start();

    // Decodes bytes from the server: data goes to `data` (undoubled), answers the server is
    // owed go to `reply`. Works on any split of the stream.
    void feed(const uint8_t* bytes, size_t count, std::string& data, std::string& reply);

    // Data for the server, with 0xFF doubled, appended to `out`.
    static void escape(const uint8_t* bytes, size_t count, std::string& out);

    // The subnegotiations that set the line to `config`, with no flow control.
    std::string setLine(const LineConfig& config);
    // Asks the server to drop what it has received from the device and not yet sent. Once the
    // server is known to answer purges, data that arrives before the answer is dropped here
    // too: it was on its way before the purge.
    std::string purgeReceived();

    ComPort comPort() const { return comPort_; }
    // The values the server last acknowledged; empty until it has.
    std::optional<uint32_t> baudRate() const { return baud_; }
    std::optional<uint8_t> dataSize() const { return dataSize_; }
    std::optional<uint8_t> parity() const { return parity_; }
    std::optional<uint8_t> stopSize() const { return stopSize_; }
    // Whether the server has answered a purge.
    bool answersPurges() const { return answersPurges_; }
    // The server's signature, when it sent one.
    const std::string& serverSignature() const { return signature_; }

    // Wire values of the line settings.
    static uint8_t parityCode(Parity p);
    static uint8_t stopCode(int stopBits) { return stopBits == 2 ? 2 : 1; }

    // What this client calls itself when a server asks.
    static constexpr const char* kSignatureText = "Quillon";

  private:
    enum class State { Data, Iac, Option, Sub, SubIac };
    enum class Side : uint8_t { No, Yes, WantYes };

    void option(uint8_t verb, uint8_t opt, std::string& reply);
    void subnegotiation(std::string& reply);
    static void send(std::string& out, uint8_t verb, uint8_t opt);
    static void subCommand(std::string& out, uint8_t command, const uint8_t* value, size_t n);

    static bool weMay(uint8_t opt) { return opt == kBinary || opt == kSga || opt == kComPort; }
    static bool theyMay(uint8_t opt) { return opt == kBinary || opt == kSga; }

    State state_ = State::Data;
    uint8_t verb_ = 0;
    std::string sub_;
    bool subTooLong_ = false;
    Side us_[256] = {};
    Side them_[256] = {};
    ComPort comPort_ = ComPort::Pending;
    std::optional<uint32_t> baud_;
    std::optional<uint8_t> dataSize_;
    std::optional<uint8_t> parity_;
    std::optional<uint8_t> stopSize_;
    bool answersPurges_ = false;
    int unansweredPurges_ = 0;
    std::string signature_;
};
