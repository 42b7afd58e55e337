// The link's reply path: whatever bytes a port delivers go through Transact into RxBuf, RxPos,
// LastReply and the received traffic line.
//
// Input: one byte n, then a command text of n % 64 bytes, then the bytes the port delivers,
// which are split into one reply per transaction at each 0xFF byte (up to four transactions).
// When a reply's bytes are used up the port keeps delivering 0x00, so that every transaction
// ends at once (at the reply size limit) instead of after the real-time silence limit.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "check.h"
#include "link/frame.h"
#include "link/link.h"

namespace {

class FakePort : public SerialPort {
  public:
    std::string bytes;
    size_t at = 0;
    int readByte() override {
        if (at < bytes.size()) return static_cast<uint8_t>(bytes[at++]);
        ++at;
        return 0;
    }
    bool write(const uint8_t*, int count) override { return count >= 0; }
    void purge() override {}
    void close() override {}
};

class FakeOpener : public PortOpener {
  public:
    FakePort* last = nullptr;
    std::unique_ptr<SerialPort> open(int, const QString&) override {
        auto port = std::make_unique<FakePort>();
        last = port.get();
        return port;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t n = std::min<size_t>(data[0] % 64, size - 1);
    const QByteArray text(reinterpret_cast<const char*>(data + 1), static_cast<int>(n));
    std::vector<std::string> replies(1);
    for (size_t i = 1 + n; i < size; ++i) {
        if (data[i] == 0xFF) {
            if (replies.size() == 4) break;
            replies.emplace_back();
        } else {
            replies.back().push_back(static_cast<char>(data[i]));
        }
    }

    FakeOpener opener;
    Link link(opener);
    link.setEventPump([] {});
    Check(link.OpenPort(1, QStringLiteral("19200,e,8,1")), "open");
    QByteArray previous;
    for (const std::string& r : replies) {
        opener.last->bytes = r;
        opener.last->at = 0;
        const bool ok = link.Transact(text);
        Check(link.RxPos >= 0 && link.RxPos <= wire::kMaxReply, "RxPos inside RxBuf");
        Check(std::memchr(link.LogBuf, 0, sizeof link.LogBuf) != nullptr, "LogBuf terminated");
        if (ok) {
            Check(link.LastReply.size() == link.RxPos, "LastReply is the frame");
            Check(link.RxBuf[link.RxPos] == 0, "zero byte after the frame");
            Check(link.LastReply.front() == char(wire::kReplyStart), "frame starts with 0x0A");
            Check(link.LastReply.back() == char(wire::kFrameEnd), "frame ends with 0x0D");
            Check(link.LastReply.indexOf(char(wire::kFrameEnd)) == link.RxPos - 1,
                  "first 0x0D ends the frame");
            Check(wire::VerifyReplyBytes(link.RxBuf, link.RxPos), "verified");
            Check(std::memcmp(link.LastReply.constData(), r.data(),
                              static_cast<size_t>(link.RxPos)) == 0,
                  "frame as delivered");
            previous = link.LastReply;
        } else if (link.LastReply != previous) {
            // A failed transaction keeps the earlier reply, or holds the frame that failed.
            Check(link.LastReply.size() == link.RxPos && link.LastReply.front() == '\x0A' &&
                      link.LastReply.back() == '\x0D',
                  "LastReply after a failure");
            previous = link.LastReply;
        }
        const std::string shown = wire::RenderBytes(link.RxBuf, link.RxPos);
        const std::string line = link.receivedLine().toStdString();
        Check(line.size() < sizeof link.LogBuf, "line fits LogBuf");
        if (shown.size() < sizeof link.LogBuf) Check(line == shown, "received line");
        if (!wire::IsSendableCommandText(text.toStdString())) Check(!ok, "refused text");
    }
    link.ClosePort();
    return 0;
}
