#pragma once
// What a result panel of the card read test shows for one verified reply to "F".

#include <optional>
#include <string>

// The parts of a card or key input, as a reply to "F" carries them.
struct CardFields {
    enum class Form {
        Card,         // a card number of eight hexadecimal characters
        Key,          // key input alone
        CardWithKey,  // a card number and the keys entered with it
        Wide,         // sixteen characters, shown as they are
    };
    Form form = Form::Card;
    std::string hex;      // the card's characters as received; empty for a key
    std::string decimal;  // the card number in ten decimal digits; empty for a key or Wide
    std::string keys;     // the key digits; empty for a card alone
};

// The card or key of a reply frame (from its 0x0A through its 0x0D), or nothing when the
// reply carries none and the panel keeps its text. Card numbers in decimal are the unsigned
// 32-bit value of their eight hexadecimal characters (either case), ten digits with leading
// zeros.
std::optional<CardFields> DecodeCardFields(const std::string& reply);
// The panel's text for them.
std::string PanelTextOf(const CardFields& fields);
// The panel text for the reply frame, or nothing when the panel keeps its text.
std::optional<std::string> DecodeCardReply(const std::string& reply);
