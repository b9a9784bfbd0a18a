// The encoder and stripper against Qt's own QByteArray::toBase64, and their scaling.
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <random>

#include "byte_text.h"
#include "mod_base64.h"

namespace {

ByteText RandomBytes(std::size_t n) {
    std::mt19937 random(42);
    ByteText bytes(n);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

void BM_EncodeAndStrip(benchmark::State& state) {
    const ByteText bytes = RandomBytes(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::string data = modBase64::StripWhitespace(modBase64::EncodeBase64Text(bytes));
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_QtToBase64(benchmark::State& state) {
    const ByteText bytes = RandomBytes(static_cast<std::size_t>(state.range(0)));
    const QByteArray input(reinterpret_cast<const char*>(bytes.data()),
                           static_cast<qsizetype>(bytes.size()));
    for (auto _ : state) {
        QByteArray data = input.toBase64();
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_EncodeAndStrip)->Arg(32000)->Arg(1 << 20);
BENCHMARK(BM_QtToBase64)->Arg(32000);

BENCHMARK_MAIN();
