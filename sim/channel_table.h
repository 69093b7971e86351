// The Wexal DMA engine's 64 channels: names, which exist in the FPGA, and what DCB words 5-7 hold.
#pragma once

#include <cstdint>

namespace sim {

struct ChannelInfo {
    const char* name;
    bool present;  // the channel exists in the FPGA (shown in the channel-present masks)
    int kind;      // -1 no channel, 0 data channel, 1 DCB words 5-7 hold a PCI address or audio words
};

constexpr int kChannels = 64;
constexpr int kDcbsPerChannel = 16;
constexpr int kBcus = 512;

const ChannelInfo& ChannelAt(int channel);  // channel 0-63
uint32_t PresentMask(int half);             // 0: channels 0-31, 1: channels 32-63

}  // namespace sim
