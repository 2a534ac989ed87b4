// The random source of the tests' generated cases: a fixed seed gives the same
// cases in every build and on every run, so a failure names a case that repeats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <type_traits>

class Random {
public:
    explicit Random(uint32_t seed) : engine_(seed) {}

    // A number from low to high, both included, of the bounds' common type; two
    // 32-bit draws make one 64-bit number, so any range of int64_t is covered.
    template <typename Low, typename High, typename Int = std::common_type_t<Low, High>> Int between(Low low, High high)
    {
        const uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(high) - low) + 1;
        const uint64_t upper = engine_();
        const uint64_t draw = upper << 32 | engine_();
        return static_cast<Int>(static_cast<int64_t>(low) + static_cast<int64_t>(draw % span));
    }

    template <typename T, size_t N> T pick(const T (&choices)[N]) { return choices[between(size_t{0}, N - 1)]; }

private:
    std::mt19937 engine_;
};
