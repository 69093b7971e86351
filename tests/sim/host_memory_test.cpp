// Host DMA memory: bus addresses resolve inside their block only, freed space is reused, the pool is capped.
#include "sim/host_memory.h"

#include <gtest/gtest.h>

namespace {

using Status = sim::HostMemory::Status;

TEST(HostMemory, TranslationReuseAndLimit) {
    sim::HostMemory mem(0x4000);
    void *a = nullptr, *b = nullptr;
    uint64_t ba = 0, bb = 0;
    ASSERT_EQ(mem.Alloc(0x3000, &a, &ba), Status::Ok);
    EXPECT_EQ(ba % 0x1000 + (ba >> 32), 0u) << "page aligned, below 4 GiB";
    EXPECT_EQ(mem.Translate(ba + 0x10, 16), static_cast<uint8_t*>(a) + 0x10);
    EXPECT_EQ(mem.Translate(ba + 0x2FF8, 16), nullptr) << "runs past the block";
    EXPECT_EQ(mem.Translate(ba - 4, 4), nullptr);
    EXPECT_EQ(mem.BusAddressOf(static_cast<uint8_t*>(a) + 8), ba + 8);
    EXPECT_EQ(mem.Alloc(0x2000, &b, &bb), Status::NoMemory);
    static_cast<uint8_t*>(a)[0] = 1;
    EXPECT_TRUE(mem.Free(a));
    EXPECT_FALSE(mem.Free(a));
    EXPECT_EQ(mem.Translate(ba, 4), nullptr);
    ASSERT_EQ(mem.Alloc(0x1000, &b, &bb), Status::Ok);
    EXPECT_EQ(bb, ba) << "first fit reuses the freed bus range";
    EXPECT_EQ(static_cast<uint8_t*>(b)[0], 0) << "blocks come zeroed";
    EXPECT_EQ(mem.Alloc(0, &b, &bb), Status::BadArgument);
}

}  // namespace
