// Speed of the packed stream codec: packing and unpacking the default skin's
// record and a 1 MiB mixed input, beside a plain 64 MiB memset (the fill of
// the encoder's last-position table that every packing starts with), so pack
// times can be read against it.
#include "codec.h"
#include "skinfile.h"

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <string.h>

#include <random>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

Bytes DefaultRecord() {
    Bytes record;
    if (LoadDefaultSkin()) record.assign(unpackedData, unpackedData + unpackedSize);
    ReleaseUnpacked();
    return record;
}

// Text-like words, random bytes and runs, in blocks of varying length.
Bytes MixedInput() {
    std::mt19937 rng(20240601);
    const char* words[] = {"monitor ", "skin ",   "mailslot ", "debug ", "output ",
                           "window ",  "0x0040 ", "error: ",   "value=", "\r\n"};
    Bytes out;
    while (out.size() < (1u << 20)) {
        int kind = rng() % 3;
        size_t n = 64 + rng() % 2048;
        for (size_t k = 0; k < n && out.size() < (1u << 20);) {
            if (kind == 0) {
                const char* w = words[rng() % 10];
                for (; *w && out.size() < (1u << 20); ++w, ++k) out.push_back((unsigned char)*w);
            } else if (kind == 1) {
                out.push_back((unsigned char)rng());
                ++k;
            } else {
                out.push_back((unsigned char)(n & 0xFF));
                ++k;
            }
        }
    }
    return out;
}

// The first `size` bytes of the mixed input: the small packings a skin
// title or a fuzz input makes.
Bytes MixedPrefix(size_t size) {
    Bytes input = MixedInput();
    input.resize(size);
    return input;
}

Bytes Pack(const Bytes& input) {
    Bytes out((size_t)PackedBound((int32_t)input.size()));
    out.resize((size_t)PackToMemory(input.data(), (int32_t)input.size(), out.data()));
    return out;
}

void PackBench(benchmark::State& state, const Bytes& input) {
    if (input.size() < 3) {
        state.SkipWithError("no input");
        return;
    }
    Bytes out((size_t)PackedBound((int32_t)input.size()));
    int32_t size = 0;
    for (auto _ : state) {
        size = PackToMemory(input.data(), (int32_t)input.size(), out.data());
        benchmark::DoNotOptimize(size);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)input.size());
    state.counters["ratio"] = (double)size / (double)input.size();
}

void UnpackBench(benchmark::State& state, const Bytes& input) {
    Bytes stream = Pack(input);
    if (stream.empty()) {
        state.SkipWithError("no input");
        return;
    }
    for (auto _ : state) {
        bool ok = UnpackStream(stream.data(), (int32_t)stream.size());
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(unpackedData);
    }
    ReleaseUnpacked();
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)input.size());
}

void BM_Memset64MiB(benchmark::State& state) {
    size_t size = 64u << 20;
    unsigned char* block = (unsigned char*)malloc(size);
    memset(block, 0, size);  // touch the pages before timing
    for (auto _ : state) {
        memset(block, 0xFF, size);
        benchmark::DoNotOptimize(block);
        benchmark::ClobberMemory();
    }
    free(block);
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)size);
}

void BM_PackDefaultRecord(benchmark::State& state) {
    static const Bytes record = DefaultRecord();
    PackBench(state, record);
}

void BM_UnpackDefaultRecord(benchmark::State& state) {
    static const Bytes record = DefaultRecord();
    UnpackBench(state, record);
}

// Both passes over the stored bytes, as the monitor does at start.
void BM_LoadDefaultSkin(benchmark::State& state) {
    int32_t size = 0;
    for (auto _ : state) {
        LoadDefaultSkin();
        size = unpackedSize;
        benchmark::DoNotOptimize(unpackedData);
    }
    ReleaseUnpacked();
    state.SetBytesProcessed((int64_t)state.iterations() * size);
}

void BM_PackMixed1MiB(benchmark::State& state) {
    static const Bytes input = MixedInput();
    PackBench(state, input);
}

void BM_PackMixed1KiB(benchmark::State& state) {
    static const Bytes input = MixedPrefix(1024);
    PackBench(state, input);
}

void BM_PackMixed64KiB(benchmark::State& state) {
    static const Bytes input = MixedPrefix(65536);
    PackBench(state, input);
}

void BM_UnpackMixed1MiB(benchmark::State& state) {
    static const Bytes input = MixedInput();
    UnpackBench(state, input);
}

}  // namespace

BENCHMARK(BM_Memset64MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackDefaultRecord)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnpackDefaultRecord)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadDefaultSkin)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PackMixed1MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackMixed1KiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PackMixed64KiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UnpackMixed1MiB)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
