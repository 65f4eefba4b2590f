#pragma once
// The baseline each kernel is measured against: the same bytes copied once
// with memcpy, into a buffer allocated outside the timed loop.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

inline void copy_baseline(benchmark::State& state, const std::string& text)
{
    std::vector<char> output(text.size(), '\0');
    for (auto _ : state) {
        std::memcpy(output.data(), text.data(), text.size());
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
