#pragma once
// What a result panel of the card read test shows for one verified reply to "F".

#include <optional>
#include <string>

// The panel text for the reply frame (from its 0x0A through its 0x0D), or nothing when the
// reply carries no card or key and the panel keeps its text. Card numbers show in decimal as
// the unsigned 32-bit value of their eight hexadecimal characters (either case), ten digits
// with leading zeros, followed by the characters as received.
std::optional<std::string> DecodeCardReply(const std::string& reply);
