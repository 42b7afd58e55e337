#pragma once
// What the cycle benchmarks measure with: the process's CPU time and percentiles of a sample.

#include <sys/resource.h>

#include <algorithm>
#include <vector>

namespace bench {

// User and system CPU time of the whole process so far, in milliseconds.
inline double CpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(u.ru_utime) + ms(u.ru_stime);
}

// The value below which a share `p` (0..1) of the sample lies; the sample must not be empty.
inline double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace bench
