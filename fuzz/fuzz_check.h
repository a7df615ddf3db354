// Assertions for the fuzz targets: a broken property aborts, so libFuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond);       \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace fuzz {

// Splits the input into pieces at the first `count - 1` NUL bytes, so one input can drive
// several parameters; missing pieces are empty.
template <std::size_t N> struct Pieces { std::string_view part[N]; };

template <std::size_t N> Pieces<N> Split(std::string_view in) {
    Pieces<N> p;
    for (std::size_t i = 0; i + 1 < N; ++i) {
        std::size_t z = in.find('\0');
        if (z == std::string_view::npos) {
            p.part[i] = in;
            in = {};
            continue;
        }
        p.part[i] = in.substr(0, z);
        in = in.substr(z + 1);
    }
    p.part[N - 1] = in;
    return p;
}

} // namespace fuzz
