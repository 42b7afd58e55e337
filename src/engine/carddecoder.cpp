#include "engine/carddecoder.h"

#include <cstdio>

#include "link/frame.h"

namespace {

// Characters `from` to `to` of the frame, counting 1 at its start byte.
std::string Positions(const std::string& reply, size_t from, size_t to) {
    if (to < from || reply.size() < to) return {};
    return reply.substr(from - 1, to - from + 1);
}

// The card of eight characters at `from`, with its decimal value.
CardFields Card(const std::string& reply, size_t from, CardFields::Form form) {
    CardFields f;
    f.form = form;
    f.hex = Positions(reply, from, from + 7);
    std::string upper = f.hex;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    }
    char decimal[16];
    std::snprintf(decimal, sizeof decimal, "%010u", static_cast<unsigned>(HexToUInt32(upper)));
    f.decimal = decimal;
    return f;
}

}  // namespace

std::optional<CardFields> DecodeCardFields(const std::string& reply) {
    const size_t n = reply.size();
    if (n <= 9) return std::nullopt;
    if (n == 17) return Card(reply, 7, CardFields::Form::Card);
    if (reply[6] == 'K') {
        // Key input: everything between the "K" and the checksum.
        if (n <= 10) return std::nullopt;
        CardFields f;
        f.form = CardFields::Form::Key;
        f.keys = Positions(reply, 8, n - 3);
        return f;
    }
    if (n == 18) return Card(reply, 8, CardFields::Form::Card);
    if (n == 26) {
        CardFields f;
        f.form = CardFields::Form::Wide;
        f.hex = Positions(reply, 8, 23);
        return f;
    }
    if (n >= 20) {
        CardFields f = Card(reply, 8, CardFields::Form::CardWithKey);
        f.keys = Positions(reply, 17, n - 3);
        return f;
    }
    return std::nullopt;
}

std::string PanelTextOf(const CardFields& f) {
    switch (f.form) {
        case CardFields::Form::Key:
            return "KEY : " + f.keys;
        case CardFields::Form::Wide:
            return f.hex + "(H)";
        case CardFields::Form::Card:
            return "CARD : " + f.decimal + "(D)  " + f.hex + "(H)";
        case CardFields::Form::CardWithKey:
            return "CARD : " + f.decimal + "(D)  " + f.hex + "(H)  KEY:" + f.keys;
    }
    return {};
}

std::optional<std::string> DecodeCardReply(const std::string& reply) {
    const std::optional<CardFields> f = DecodeCardFields(reply);
    if (!f) return std::nullopt;
    return PanelTextOf(*f);
}
