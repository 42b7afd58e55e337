#pragma once
// The wire format shared by the tool and the simulated modules: command and reply frames,
// their checksum, and the printable rendering of traffic.

#include <cstddef>
#include <cstdint>
#include <string>

namespace wire {

constexpr uint8_t kCommandStart = 0x09;
constexpr uint8_t kReplyStart = 0x0A;
constexpr uint8_t kFrameEnd = 0x0D;

// Receive and traffic-line buffers hold this many bytes, including a terminating zero.
constexpr int kBufferSize = 1050;
// "[09]" + text + two checksum characters + "[0D]" + the terminating zero must fit.
constexpr int kMaxCommandText = kBufferSize - 11;
// A reply must leave room for the zero byte stored after it.
constexpr int kMaxReply = kBufferSize - 1;

// True when every byte is printable ASCII (0x20..0x7E) and the text fits a traffic line.
bool IsSendableCommandText(const std::string& text);

// 0x09 + text + checksum characters + 0x0D.
std::string BuildCommandFrame(const std::string& text);
// 0x0A + text + checksum characters + 0x0D, as a module sends it.
std::string BuildReplyFrame(const std::string& text);

// True when the bytes form a reply whose two checksum characters match (upper-case hex).
bool VerifyReplyBytes(const uint8_t* bytes, int count);

// Printable form of received bytes: 0x20..0x7F as themselves, anything else as "[XX]".
std::string RenderBytes(const uint8_t* bytes, int count);
inline std::string RenderBytes(const std::string& bytes) {
    return RenderBytes(reinterpret_cast<const uint8_t*>(bytes.data()),
                       static_cast<int>(bytes.size()));
}

}  // namespace wire

// 9 XOR every byte: the command checksum.
uint8_t XorChecksum(const uint8_t* bytes, int count);
uint8_t XorChecksum(const std::string& text);

// Two upper-case hex characters, high nibble first.
std::string ByteToHex(uint8_t b);

// The first eight characters read as upper-case hex; any other or missing character counts 0.
uint32_t HexToUInt32(const std::string& text);
