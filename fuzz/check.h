#pragma once
// What a fuzz target asserts: a broken property names itself and aborts, which the fuzzer (and
// the replay driver's caller) takes as a finding.
#include <cstdio>
#include <cstdlib>

inline void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}
