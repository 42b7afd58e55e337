#include "engine/carddecoder.h"

#include <cstdio>

#include "link/frame.h"

namespace {

// Characters `from` to `to` of the frame, counting 1 at its start byte.
std::string Positions(const std::string& reply, size_t from, size_t to) {
    if (to < from || reply.size() < to) return {};
    return reply.substr(from - 1, to - from + 1);
}

// "CARD : 0000163003(D)  00027CBB" for the eight characters at `from`, without the final mark.
std::string CardText(const std::string& reply, size_t from) {
    std::string hex = Positions(reply, from, from + 7);
    const std::string shown = hex;
    for (char& c : hex) {
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    }
    char decimal[32];
    std::snprintf(decimal, sizeof decimal, "CARD : %010u(D)  ",
                  static_cast<unsigned>(HexToUInt32(hex)));
    return decimal + shown;
}

}  // namespace

std::optional<std::string> DecodeCardReply(const std::string& reply) {
    const size_t n = reply.size();
    if (n <= 9) return std::nullopt;
    if (n == 17) return CardText(reply, 7) + "(H)";
    if (reply[6] == 'K') {
        // Key input: everything between the "K" and the checksum.
        if (n <= 10) return std::nullopt;
        return "KEY : " + Positions(reply, 8, n - 3);
    }
    if (n == 18) return CardText(reply, 8) + "(H)";
    if (n == 26) return Positions(reply, 8, 23) + "(H)";
    if (n >= 20) return CardText(reply, 8) + "(H)  KEY:" + Positions(reply, 17, n - 3);
    return std::nullopt;
}
