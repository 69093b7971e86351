// The unpacker's "Video:Mixed" round trip at 1920 x 1080 with 15 frames on the default rig, in unpacked
// frame bytes brought back and compared a second beside memcpy of the same bytes, and the full-form
// harness over the test's resolution list.
#include "bench/codec/round_trip.h"
#include "codec/chip/sorbelin_unpacker.h"

namespace {

void Run(benchmark::State& state, const char* command, double payloadBytes) {
    bench::TimeRoundTrip<CSorbelinUnpacker>(state, "CSorbelinUnpackerA", "UPQE0202.oxd", command, payloadBytes);
}

// 15 1920 x 1080 frames through the chip and compared: the default sequence makes every third an
// alpha (2 bytes a pixel unpacked), the other ten pictures (4 bytes a pixel).
void BM_UnpackerMixed1080p15Frames(benchmark::State& state) {
    Run(state, "\"Video:Mixed\" DIM=(1920,1080) FRAMES=15", 1920.0 * 1080 * (10 * 4 + 5 * 2));
}
BENCHMARK(BM_UnpackerMixed1080p15Frames)->Unit(benchmark::kMillisecond)->UseRealTime();

// The full form over every resolution of the list, one frame each.
void BM_UnpackerMixedResolutionList(benchmark::State& state) { Run(state, "\"Video:Mixed\" FRAMES=1", 0); }
BENCHMARK(BM_UnpackerMixedResolutionList)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
