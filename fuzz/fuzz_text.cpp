// The two text parsers of the wire: HexToUInt32 and the line-setting parser.
// Input: first byte even for HexToUInt32, odd for ParseLineSetting; the rest is the text.
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "check.h"
#include "link/frame.h"
#include "link/linesettings.h"

namespace {

// Digit by digit, as the wire defines it: upper-case hex only, anything else counts 0.
uint32_t Reference(const std::string& t) {
    uint32_t v = 0;
    for (size_t i = 0; i < 8; ++i) {
        const char c = i < t.size() ? t[i] : '\0';
        const uint32_t d = c >= '0' && c <= '9'   ? uint32_t(c - '0')
                           : c >= 'A' && c <= 'F' ? uint32_t(c - 'A' + 10)
                                                  : 0u;
        v = v * 16u + d;
    }
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] % 2 == 0) {
        Check(HexToUInt32(text) == Reference(text), "HexToUInt32");
        return 0;
    }
    const QString setting = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    const std::optional<LineConfig> c = ParseLineSetting(setting);
    if (!c) return 0;
    Check(c->baud > 0 && c->dataBits >= 5 && c->dataBits <= 8 &&
              (c->stopBits == 1 || c->stopBits == 2),
          "parsed values in range");
    // What parses, printed back the usual way, parses to the same configuration.
    const char parity = c->parity == Parity::None ? 'n' : c->parity == Parity::Even ? 'e' : 'o';
    const QString again = QStringLiteral("%1,%2,%3,%4")
                              .arg(c->baud)
                              .arg(QLatin1Char(parity))
                              .arg(c->dataBits)
                              .arg(c->stopBits);
    const std::optional<LineConfig> d = ParseLineSetting(again);
    Check(d && *d == *c, "parse of the printed form");
    return 0;
}
