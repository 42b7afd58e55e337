#include "link/telnetcodec.h"

std::string TelnetCodec::start() {
    std::string out;
    us_[kComPort] = Side::WantYes;
    us_[kBinary] = Side::WantYes;
    them_[kBinary] = Side::WantYes;
    us_[kSga] = Side::WantYes;
    them_[kSga] = Side::WantYes;
    send(out, kWill, kComPort);
    send(out, kWill, kBinary);
    send(out, kDo, kBinary);
    send(out, kWill, kSga);
    send(out, kDo, kSga);
    return out;
}

void TelnetCodec::send(std::string& out, uint8_t verb, uint8_t opt) {
    out += static_cast<char>(kIac);
    out += static_cast<char>(verb);
    out += static_cast<char>(opt);
}

void TelnetCodec::escape(const uint8_t* bytes, size_t count, std::string& out) {
    for (size_t i = 0; i < count; ++i) {
        out += static_cast<char>(bytes[i]);
        if (bytes[i] == kIac) out += static_cast<char>(kIac);
    }
}

void TelnetCodec::subCommand(std::string& out, uint8_t command, const uint8_t* value, size_t n) {
    out += static_cast<char>(kIac);
    out += static_cast<char>(kSb);
    out += static_cast<char>(kComPort);
    out += static_cast<char>(command);
    escape(value, n, out);
    out += static_cast<char>(kIac);
    out += static_cast<char>(kSe);
}

uint8_t TelnetCodec::parityCode(Parity p) {
    switch (p) {
        case Parity::Odd:
            return 2;
        case Parity::Even:
            return 3;
        case Parity::None:
            break;
    }
    return 1;
}

std::string TelnetCodec::setLine(const LineConfig& c) {
    std::string out;
    const uint32_t baud = static_cast<uint32_t>(c.baud);
    const uint8_t b[4] = {static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16),
                          static_cast<uint8_t>(baud >> 8), static_cast<uint8_t>(baud)};
    subCommand(out, kSetBaudRate, b, 4);
    const uint8_t size = static_cast<uint8_t>(c.dataBits);
    subCommand(out, kSetDataSize, &size, 1);
    const uint8_t parity = parityCode(c.parity);
    subCommand(out, kSetParity, &parity, 1);
    const uint8_t stop = stopCode(c.stopBits);
    subCommand(out, kSetStopSize, &stop, 1);
    // 1: no flow control. Not waited for: a server in front of a device without modem lines
    // may never answer it.
    const uint8_t control = 1;
    subCommand(out, kSetControl, &control, 1);
    return out;
}

std::string TelnetCodec::purgeReceived() {
    std::string out;
    const uint8_t what = 1;  // the server's buffer of bytes received from the device
    subCommand(out, kPurgeData, &what, 1);
    if (++unansweredPurges_ > kMaxUnansweredPurges) {
        // A server that stopped answering: no more data is held back for answers.
        answersPurges_ = false;
        unansweredPurges_ = 0;
    }
    return out;
}

void TelnetCodec::feed(const uint8_t* bytes, size_t count, std::string& data, std::string& reply) {
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        switch (state_) {
            case State::Data:
                if (b == kIac) {
                    state_ = State::Iac;
                } else if (!(answersPurges_ && unansweredPurges_ > 0)) {
                    data += static_cast<char>(b);
                }
                break;
            case State::Iac:
                if (b == kIac) {
                    if (!(answersPurges_ && unansweredPurges_ > 0)) data += static_cast<char>(b);
                    state_ = State::Data;
                } else if (b >= kWill && b <= kDont) {
                    verb_ = b;
                    state_ = State::Option;
                } else if (b == kSb) {
                    sub_.clear();
                    subTooLong_ = false;
                    state_ = State::Sub;
                } else {
                    // NOP, data mark, break, interrupt, are-you-there, erase, go-ahead, and a
                    // stray end of subnegotiation: nothing for a serial line, and never data.
                    state_ = State::Data;
                }
                break;
            case State::Option:
                option(verb_, b, reply);
                state_ = State::Data;
                break;
            case State::Sub:
                if (b == kIac) {
                    state_ = State::SubIac;
                } else if (sub_.size() < kMaxSubnegotiation) {
                    sub_ += static_cast<char>(b);
                } else {
                    subTooLong_ = true;
                }
                break;
            case State::SubIac:
                if (b == kIac) {
                    if (sub_.size() < kMaxSubnegotiation) {
                        sub_ += static_cast<char>(b);
                    } else {
                        subTooLong_ = true;
                    }
                    state_ = State::Sub;
                } else if (b == kSe) {
                    if (!subTooLong_) subnegotiation(reply);
                    state_ = State::Data;
                } else {
                    // A command inside an unfinished subnegotiation: the subnegotiation is
                    // dropped and the command taken as it stands.
                    state_ = State::Iac;
                    --i;
                }
                break;
        }
    }
}

void TelnetCodec::option(uint8_t verb, uint8_t opt, std::string& reply) {
    // Each side of each option answers a request only when it changes that side's state, so
    // that two ends never loop on each other's answers.
    switch (verb) {
        case kDo:
            if (us_[opt] == Side::Yes) break;
            if (weMay(opt)) {
                if (us_[opt] == Side::No) send(reply, kWill, opt);
                us_[opt] = Side::Yes;
                if (opt == kComPort) comPort_ = ComPort::Agreed;
            } else {
                send(reply, kWont, opt);
            }
            break;
        case kDont:
            if (us_[opt] == Side::Yes) send(reply, kWont, opt);
            us_[opt] = Side::No;
            if (opt == kComPort) comPort_ = ComPort::Refused;
            break;
        case kWill:
            if (them_[opt] == Side::Yes) break;
            if (theyMay(opt)) {
                if (them_[opt] == Side::No) send(reply, kDo, opt);
                them_[opt] = Side::Yes;
            } else {
                // The server's echo among them: a serial line echoes nothing of its own.
                send(reply, kDont, opt);
            }
            break;
        case kWont:
            if (them_[opt] == Side::Yes) send(reply, kDont, opt);
            them_[opt] = Side::No;
            break;
        default:
            break;
    }
}

void TelnetCodec::subnegotiation(std::string& reply) {
    if (sub_.size() < 2 || static_cast<uint8_t>(sub_[0]) != kComPort) return;
    const uint8_t code = static_cast<uint8_t>(sub_[1]);
    const auto* value = reinterpret_cast<const uint8_t*>(sub_.data()) + 2;
    const size_t n = sub_.size() - 2;
    if (code < kServerOffset) return;  // a client's command: not for a client
    switch (static_cast<uint8_t>(code - kServerOffset)) {
        case kSignature:
            if (n == 0) {
                // The server asks who we are.
                subCommand(reply, kSignature, reinterpret_cast<const uint8_t*>(kSignatureText),
                           std::char_traits<char>::length(kSignatureText));
            } else {
                signature_.assign(reinterpret_cast<const char*>(value), n);
            }
            break;
        case kSetBaudRate:
            if (n >= 4)
                baud_ = static_cast<uint32_t>(value[0]) << 24 |
                        static_cast<uint32_t>(value[1]) << 16 |
                        static_cast<uint32_t>(value[2]) << 8 | value[3];
            break;
        case kSetDataSize:
            if (n >= 1) dataSize_ = value[0];
            break;
        case kSetParity:
            if (n >= 1) parity_ = value[0];
            break;
        case kSetStopSize:
            if (n >= 1) stopSize_ = value[0];
            break;
        case kPurgeData:
            answersPurges_ = true;
            if (unansweredPurges_ > 0) --unansweredPurges_;
            break;
        default:
            // Line and modem state, flow control and mask answers: nothing the modules need.
            break;
    }
}
