// The packer's "Video:Mixed" round trip at 1920 x 1080 with 15 frames on the default rig, in source
// bytes packed and compared a second beside memcpy of the same bytes, and the full-form harness over
// the test's resolution list.
#include "bench/codec/round_trip.h"
#include "codec/chip/sorbelin_packer.h"

namespace {

void Run(benchmark::State& state, const char* command, double sourceBytes) {
    bench::TimeRoundTrip<CSorbelinPacker>(state, "CSorbelinPackerA", "PAQE0202.oxd", command, sourceBytes);
}

// 15 unpacked 1920 x 1080 source frames (4 bytes a pixel) through the chip and compared.
void BM_PackerMixed1080p15Frames(benchmark::State& state) {
    Run(state, "\"Video:Mixed\" DIM=(1920,1080) FRAMES=15", 1920.0 * 1080 * 4 * 15);
}
BENCHMARK(BM_PackerMixed1080p15Frames)->Unit(benchmark::kMillisecond)->UseRealTime();

// The full form over every resolution of the list, one frame each.
void BM_PackerMixedResolutionList(benchmark::State& state) { Run(state, "\"Video:Mixed\" FRAMES=1", 0); }
BENCHMARK(BM_PackerMixedResolutionList)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
