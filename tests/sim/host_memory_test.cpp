// Host DMA memory: bus addresses resolve back to the block, space is reused, the pool is capped.
#include "sim/host_memory.h"

#include <gtest/gtest.h>

namespace {

TEST(HostMemory, BusAddressesTranslateInsideTheirBlockOnly) {
    sim::HostMemory mem(1 << 20);
    void* a = nullptr;
    uint64_t busA = 0;
    ASSERT_EQ(mem.Alloc(0x3000, &a, &busA), sim::HostMemory::Status::Ok);
    EXPECT_EQ(busA % 0x1000, 0u);
    EXPECT_EQ(busA >> 32, 0u);
    EXPECT_EQ(mem.Translate(busA + 0x10, 16), static_cast<uint8_t*>(a) + 0x10);
    EXPECT_EQ(mem.Translate(busA + 0x2FF8, 16), nullptr) << "runs past the block";
    EXPECT_EQ(mem.Translate(busA - 4, 4), nullptr);
    EXPECT_EQ(mem.BusAddressOf(static_cast<uint8_t*>(a) + 8), busA + 8);
    EXPECT_EQ(static_cast<uint8_t*>(a)[0x2FFF], 0) << "blocks come zeroed";
}

TEST(HostMemory, FreedSpaceIsReusedAndTheLimitHolds) {
    sim::HostMemory mem(0x4000);
    void *a, *b, *c;
    uint64_t ba, bb, bc;
    ASSERT_EQ(mem.Alloc(0x2000, &a, &ba), sim::HostMemory::Status::Ok);
    ASSERT_EQ(mem.Alloc(0x2000, &b, &bb), sim::HostMemory::Status::Ok);
    EXPECT_EQ(mem.Alloc(1, &c, &bc), sim::HostMemory::Status::NoMemory);
    EXPECT_TRUE(mem.Free(a));
    EXPECT_FALSE(mem.Free(a));
    EXPECT_EQ(mem.Translate(ba, 4), nullptr);
    ASSERT_EQ(mem.Alloc(0x1000, &c, &bc), sim::HostMemory::Status::Ok);
    EXPECT_EQ(bc, ba) << "first fit reuses the freed bus range";
    EXPECT_EQ(mem.Alloc(0, &c, &bc), sim::HostMemory::Status::BadArgument);
}

}  // namespace
