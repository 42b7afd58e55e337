// The Telnet side of network serial ports, fed what a broken or hostile server may send.
//
// Input: one byte that chooses how the rest is split into reads, then the server's bytes.
// Checked: any split decodes as the whole does; data is never longer than what came; the
// answers are whole Telnet commands and stay in proportion to the input; and the input sent
// as data (escaped) comes back unchanged with nothing to answer.
#include <cstdint>
#include <string>

#include "check.h"
#include "link/telnetcodec.h"

namespace {

struct Out {
    std::string data;
    std::string reply;
};

Out Run(const uint8_t* bytes, size_t size, uint8_t split) {
    TelnetCodec c;
    c.start();
    Out o;
    size_t at = 0;
    size_t step = 0;
    while (at < size) {
        // Pieces of 1 to 8 bytes in a pattern the first input byte sets; 0 feeds all at once.
        const size_t n = split == 0 ? size : 1 + ((split >> (step % 8)) & 7);
        const size_t take = n < size - at ? n : size - at;
        c.feed(bytes + at, take, o.data, o.reply);
        at += take;
        ++step;
    }
    // Purges and line settings after any input are well-formed too.
    LineConfig lc;
    lc.baud = 19200;
    o.reply += c.purgeReceived();
    o.reply += c.setLine(lc);
    return o;
}

// Whole commands only: IAC verb option, or IAC SB ... IAC SE with 0xFF doubled inside.
bool WellFormed(const std::string& r) {
    size_t i = 0;
    auto at = [&r](size_t k) { return static_cast<uint8_t>(r[k]); };
    while (i < r.size()) {
        if (at(i) != TelnetCodec::kIac || i + 2 >= r.size()) return false;
        const uint8_t verb = at(i + 1);
        if (verb >= TelnetCodec::kWill && verb <= TelnetCodec::kDont) {
            i += 3;
            continue;
        }
        if (verb != TelnetCodec::kSb) return false;
        i += 2;
        for (;;) {
            if (i + 1 >= r.size()) return false;
            if (at(i) == TelnetCodec::kIac) {
                if (at(i + 1) == TelnetCodec::kSe) break;
                if (at(i + 1) != TelnetCodec::kIac) return false;
                i += 2;
            } else {
                ++i;
            }
        }
        i += 2;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t split = data[0];
    const uint8_t* in = data + 1;
    const size_t n = size - 1;

    const Out whole = Run(in, n, 0);
    const Out pieces = Run(in, n, split);
    Check(whole.data == pieces.data, "data independent of the split");
    Check(whole.reply == pieces.reply, "answers independent of the split");
    Check(whole.data.size() <= n, "no more data than bytes");
    Check(whole.reply.size() <= 3 * n + 64, "answers in proportion");
    Check(WellFormed(whole.reply), "answers are whole commands");

    std::string escaped;
    TelnetCodec::escape(in, n, escaped);
    TelnetCodec c;
    Out back;
    c.feed(reinterpret_cast<const uint8_t*>(escaped.data()), escaped.size(), back.data, back.reply);
    Check(back.data == std::string(reinterpret_cast<const char*>(in), n), "escaped data returns");
    Check(back.reply.empty(), "escaped data needs no answer");
    return 0;
}
