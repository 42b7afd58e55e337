// The card read test's decoder: any verified reply to "F" becomes a panel text or none.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/carddecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> text = DecodeCardReply(reply);
    if (!text) return 0;
    // A card (the 17- and 18-byte replies, and the longer ones that are neither a key input nor
    // the 26-byte form) shows its number as ten decimal digits.
    const size_t n = reply.size();
    const bool card = n == 17 || (reply[6] != 'K' && (n == 18 || (n >= 20 && n != 26)));
    if (card) {
        bool digits = text->rfind("CARD : ", 0) == 0 && text->size() >= 22 &&
                      text->compare(17, 5, "(D)  ") == 0;
        for (size_t i = 7; digits && i < 17; ++i)
            digits = std::isdigit(static_cast<unsigned char>((*text)[i])) != 0;
        if (!digits) {
            std::fprintf(stderr, "card number is not ten digits: %s\n", text->c_str());
            std::abort();
        }
    }
    if (text->size() > reply.size() + 40) {
        std::fprintf(stderr, "panel text longer than its reply allows\n");
        std::abort();
    }
    return 0;
}
