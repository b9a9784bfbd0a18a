// A pasted bitmap's conversion: the capped PNG encoder against encoding whole, the header's
// refusal, and the conversion of bitmap files given on the command line.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "dib.h"
#include "picture_rules.h"
#include "qt_drop_data.h"

namespace {

// A 24-bit raster of noise, which no PNG compresses: far past the limit at this size.
Raster Noise(std::uint32_t side) {
    Raster raster{Raster::Layout::Bgr, 24, side, side, side * 3, {}, {}};
    raster.pixels.resize(std::size_t{raster.stride} * side);
    std::mt19937 random(42);
    for (auto& byte : raster.pixels) {
        byte = static_cast<std::uint8_t>(random());
    }
    return raster;
}

void BM_EncodeCapped(benchmark::State& state) {
    const Raster raster = Noise(static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(EncodePng(raster).data());
    }
}

// The same encoder, writer and quality, into a buffer without a cap.
void BM_EncodeWhole(benchmark::State& state) {
    const Raster raster = Noise(static_cast<std::uint32_t>(state.range(0)));
    const QImage image(raster.pixels.data(), int(raster.width), int(raster.height), raster.stride,
                       QImage::Format_BGR888);
    for (auto _ : state) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        writer.setQuality(0);
        writer.write(image);
        benchmark::DoNotOptimize(png.data());
    }
}

// An 8K bitmap refused from the first bytes of its header, as the clipboard reader does.
void BM_RefuseFromHeader(benchmark::State& state) {
    std::vector<std::uint8_t> start(14 + 40);
    start[0] = 'B';
    start[1] = 'M';
    const std::uint32_t fields[] = {40, 7680, 4320, 1 | 32 << 16};
    for (std::size_t i = 0; i < 4; ++i) {
        for (std::size_t b = 0; b < 4; ++b) {
            start[14 + i * 4 + b] = static_cast<std::uint8_t>(fields[i] >> (8 * b));
        }
    }
    for (auto _ : state) {
        const BitmapShape shape = ReadBmpFileShape(start);
        benchmark::DoNotOptimize(PngCannotFit(shape.width, shape.height, shape.png_bits));
    }
}

BENCHMARK(BM_EncodeCapped)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeWhole)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefuseFromHeader);

}  // namespace

// Besides the benchmarks above, one BM_ConvertFile/NAME for each BMP file named after the flags:
// the paste's own work on its bytes, read and encoded as PNG within the cap.
int main(int argc, char** argv) {
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), {}};
        benchmark::RegisterBenchmark(
            ("BM_ConvertFile/" + std::string(argv[i])).c_str(),
            [file](benchmark::State& state) {
                for (auto _ : state) {
                    benchmark::DoNotOptimize(EncodePng(ReadBmpFile(file)).data());
                }
            })
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
