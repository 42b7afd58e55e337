#include "link/frame.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

uint8_t XorOf(uint8_t seed, const uint8_t* bytes, int count) {
    uint8_t x = seed;
    for (int i = 0; i < count; ++i) x ^= bytes[i];
    return x;
}

std::string BuildFrame(uint8_t start, const std::string& text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const uint8_t sum = XorOf(start, bytes, static_cast<int>(text.size()));
    std::string frame;
    frame.reserve(text.size() + 4);
    frame.push_back(static_cast<char>(start));
    frame += text;
    frame += ByteToHex(sum);
    frame.push_back(static_cast<char>(wire::kFrameEnd));
    return frame;
}

}  // namespace

uint8_t XorChecksum(const uint8_t* bytes, int count) {
    return XorOf(wire::kCommandStart, bytes, count);
}

uint8_t XorChecksum(const std::string& text) {
    return XorChecksum(reinterpret_cast<const uint8_t*>(text.data()),
                       static_cast<int>(text.size()));
}

std::string ByteToHex(uint8_t b) {
    return {kHexDigits[b >> 4], kHexDigits[b & 0x0F]};
}

uint32_t HexToUInt32(const std::string& text) {
    uint32_t v = 0;
    for (size_t i = 0; i < 8; ++i) {
        uint32_t digit = 0;
        if (i < text.size()) {
            const char c = text[i];
            if (c >= '0' && c <= '9')
                digit = static_cast<uint32_t>(c - '0');
            else if (c >= 'A' && c <= 'F')
                digit = static_cast<uint32_t>(c - 'A' + 10);
        }
        v = v * 16 + digit;
    }
    return v;
}

namespace wire {

bool IsSendableCommandText(const std::string& text) {
    if (static_cast<int>(text.size()) > kMaxCommandText) return false;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E) return false;
    }
    return true;
}

std::string BuildCommandFrame(const std::string& text) {
    return BuildFrame(kCommandStart, text);
}

std::string BuildReplyFrame(const std::string& text) {
    return BuildFrame(kReplyStart, text);
}

bool VerifyReplyBytes(const uint8_t* bytes, int count) {
    if (count < 4) return false;
    const std::string hex = ByteToHex(XorOf(0, bytes, count - 3));
    return bytes[count - 3] == static_cast<uint8_t>(hex[0]) &&
           bytes[count - 2] == static_cast<uint8_t>(hex[1]);
}

std::string RenderBytes(const uint8_t* bytes, int count) {
    std::string out;
    out.reserve(static_cast<size_t>(count) * 2);
    for (int i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        if (b >= 0x20 && b <= 0x7F) {
            out.push_back(static_cast<char>(b));
        } else {
            out.push_back('[');
            out += ByteToHex(b);
            out.push_back(']');
        }
    }
    return out;
}

}  // namespace wire
