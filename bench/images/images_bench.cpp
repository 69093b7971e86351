// Packing and filling a 1920 x 1080 picture and the CRC models over 1920 x 1080 frames, each beside memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/memcpy_baseline.h"

#include "images/image_8bit.h"
#include "images/image_crc.h"
#include "images/packed_image.h"
#include "images/unpacked_image.h"

namespace {

constexpr DWORD kWidth = 1920;
constexpr DWORD kHeight = 1080;

// memcpy over bytes, the yardstick for the other benchmarks of the same size.
void BM_Memcpy(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(state.range(0));
    std::vector<char> src(bytes, 1), dst(bytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// Bytes processed: the unpacked source frame read by the packer, beside memcpy of those bytes.
void BM_PackPicture(benchmark::State& state) {
    Unpacked::Image::YCbCr_10_6 source(kWidth, kHeight, 0);
    source.FillRandom(1, 1, 0, 0x3FF);
    Packed::Image::YCbCr_8_2 packed(kWidth, kHeight, Packed::Image::YCbCr_8_2::GetPadFor(kWidth, kHeight));
    const auto* words = reinterpret_cast<const WORD*>(source.GetBuffer());
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        packed.PackFrom(kWidth * kHeight, words, packed.Get8BitPlane(), packed.Get2BitPlane());
        benchmark::DoNotOptimize(packed.GetBuffer());
        benchmark::ClobberMemory();
    }
    bench::ReportBesideMemcpy(state, static_cast<double>(source.GetSize()), std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

// A fill of picture, over and over, beside memcpy of the picture's data.
template <class Picture, class Fill>
void TimeFill(benchmark::State& state, Picture& picture, Fill fill) {
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        fill(picture);
        benchmark::DoNotOptimize(picture.GetBuffer());
        benchmark::ClobberMemory();
    }
    bench::ReportBesideMemcpy(state, static_cast<double>(picture.GetSize()), std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

// The pattern fills of a 1920 x 1080 picture beside memcpy of the picture's data.
template <class Fill>
void RunFill(benchmark::State& state, Fill fill) {
    Unpacked::Image::YCbCr_10_6 image(kWidth, kHeight, 0);
    TimeFill(state, image, fill);
}

void BM_FillHorzWedge(benchmark::State& state) { RunFill(state, [](auto& p) { p.FillHorzWedge(1, 0, 0x3FF); }); }
void BM_FillVertWedge(benchmark::State& state) { RunFill(state, [](auto& p) { p.FillVertWedge(2, 0, 0x3FF); }); }
void BM_FillTiles(benchmark::State& state) { RunFill(state, [](auto& p) { p.FillTiles(0, 0, 0x3FF); }); }
void BM_FillRandom(benchmark::State& state) { RunFill(state, [](auto& p) { p.FillRandom(9, 1, 0, 0x3FF); }); }
void BM_FillSolid(benchmark::State& state) { RunFill(state, [](auto& p) { p.FillSolid(400, 64, 640); }); }
void BM_FillGrid(benchmark::State& state) { RunFill(state, [](auto& p) { p.FillGrid(1, 0, 0x3FF); }); }

// The random fill of a 1920 x 1080 10-bit alpha beside memcpy of its data.
void BM_FillRandomAlpha(benchmark::State& state) {
    Unpacked::Alpha::YCbCr_10_6 alpha(kWidth, kHeight);
    TimeFill(state, alpha, [](auto& a) { a.FillRandom(9); });
}

// The 8-bit random fill of a 1920 x 1080 picture beside memcpy of its data.
void BM_FillRandom8Bit(benchmark::State& state) {
    Image::YCbCr_8bit image(kWidth, kHeight);
    TimeFill(state, image, [](auto& p) { p.FillRandom(9, 1); });
}

template <template <class> class Model, class TImage>
void RunCrc(benchmark::State& state, const TImage& image, int64_t bytes) {
    Model<TImage> model;
    DWORD crc = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        crc = image.ComputeCRC(model, crc, 1);
        benchmark::DoNotOptimize(crc);
    }
    bench::ReportBesideMemcpy(state, static_cast<double>(bytes), std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

template <template <class> class Model>
void BM_CrcUnpackedPicture(benchmark::State& state) {
    Unpacked::Image::YCbCr_10_6 image(kWidth, kHeight, 0);
    image.FillRandom(2, 1, 0, 0x3FF);
    RunCrc<Model>(state, image, image.GetSize());
}

void BM_CrcD52UnpackedAlpha(benchmark::State& state) {
    Unpacked::Alpha::YCbCr_10_6 alpha(kWidth, kHeight);
    alpha.FillRandom(3);
    RunCrc<CRC32_D52>(state, alpha, alpha.GetSize());
}

void BM_CrcD64PackedPicture(benchmark::State& state) {
    Unpacked::Image::YCbCr_10_6 source(kWidth, kHeight, 0);
    source.FillRandom(4, 1, 0, 0x3FF);
    Packed::Image::YCbCr_8_2 packed(source, Packed::Image::YCbCr_8_2::GetPadFor(kWidth, kHeight));
    RunCrc<CRC32_D64>(state, packed, packed.GetSize() + packed.GetOffset());
}

// A scratch file of the benchmark's own in the folder it runs in, which is the program's own scratch
// folder and goes with all it holds.
class ScratchFile {
public:
    ScratchFile() : m_path((std::filesystem::current_path() / "saved.out").string()) {}
    ~ScratchFile() { std::remove(m_path.c_str()); }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Seconds a plain write of bytes to path takes, best of three, the yardstick of the file savers.
double PlainWriteSeconds(const std::string& path, size_t bytes) {
    std::vector<char> data(bytes, 0x5A);
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto start = std::chrono::steady_clock::now();
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return 0;
        std::fwrite(data.data(), 1, bytes, f);
        std::fclose(f);
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// A saver run over and over into one scratch file, beside a plain write of the bytes it wrote.
template <class Save>
void RunSave(benchmark::State& state, Save save) {
    ScratchFile file;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (!save(CString(file.Path().c_str()))) {
            state.SkipWithError("the save failed");
            return;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    FILE* f = std::fopen(file.Path().c_str(), "rb");
    if (!f) {
        state.SkipWithError("the saved file cannot be read back");
        return;
    }
    std::fseek(f, 0, SEEK_END);
    const size_t bytes = static_cast<size_t>(std::ftell(f));
    std::fclose(f);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    // The saver's rate over a plain write of the same bytes (1.0: as fast as writing them out).
    if (seconds > 0) state.counters["vs_plain_write"] = static_cast<double>(state.iterations()) * PlainWriteSeconds(file.Path(), bytes) / seconds;
}

void BM_SaveBmpPicture(benchmark::State& state) {
    Unpacked::Image::YCbCr_10_6 image(kWidth, kHeight, 0);
    image.FillRandom(5, 1, 0, 0x3FF);
    RunSave(state, [&](const CString& path) { return image.SaveBMP(path, 1, 0) == TRUE; });
}

void BM_SaveTextPicture(benchmark::State& state) {
    Unpacked::Image::YCbCr_10_6 image(kWidth, kHeight, 0);
    image.FillRandom(6, 1, 0, 0x3FF);
    RunSave(state, [&](const CString& path) { return image.SaveFile(path, 1) != 0; });
}

constexpr int64_t kUnpackedPictureBytes = int64_t(kWidth) * kHeight * 4;
constexpr int64_t kUnpackedAlphaBytes = int64_t(kWidth) * kHeight * 2;
constexpr int64_t kPackedPictureBlock = 5185536;  // plane bytes plus the pad to whole 4096-byte units

}  // namespace

BENCHMARK(BM_Memcpy)->Arg(kUnpackedPictureBytes)->Arg(kUnpackedAlphaBytes)->Arg(kPackedPictureBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PackPicture)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillHorzWedge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillVertWedge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillTiles)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillRandom)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillSolid)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillGrid)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillRandom8Bit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillRandomAlpha)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_CrcUnpackedPicture, CRC32_D52)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_CrcUnpackedPicture, CRC32_D64)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CrcD52UnpackedAlpha)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CrcD64PackedPicture)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveBmpPicture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveTextPicture)->Unit(benchmark::kMillisecond);
