#pragma once
// The time one exchange takes on a link, the floor under a cycle of the continuous tests.

#include <QElapsedTimer>
#include <vector>

#include "link/link.h"
#include "support/measure.h"

namespace bench {

// The median of `count` exchanges of `command` on `link`, which opens the port for them.
inline double MedianExchangeMs(Link& link, int portNo, const QString& lineSetting,
                               const QByteArray& command, int count = 100) {
    std::vector<double> ms;
    link.OpenPort(portNo, lineSetting);
    for (int i = 0; i < count; ++i) {
        QElapsedTimer t;
        t.start();
        link.Transact(command);
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    link.ClosePort();
    return Percentile(ms, 0.5);
}

}  // namespace bench
