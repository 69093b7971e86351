// Channel table of the Wexal DMA engine.
#include "sim/channel_table.h"

namespace sim {

namespace {

constexpr ChannelInfo kTable[kChannels] = {
    {"BVIDEOIN0", true, 0},  {"BVIDEOIN1", true, 0},  {"BVIDEOIN2", true, 0},  {"BVIDEOIN3", true, 0},
    {"BVIDEOOUT", true, 0},  {"EDPOUT", true, 0},     {"ABUFIN", false, -1},   {"unused", false, -1},
    {"unused", false, -1},   {"BARSIN", false, 0},    {"unused", false, -1},   {"unused", false, -1},
    {"PCIWRITE1", true, 1},  {"PCIWRITE2", true, 1},  {"BARSOUT", false, 0},   {"unused", false, -1},
    {"PCIREAD1", true, 1},   {"PCIREAD2", true, 1},   {"unused", false, -1},   {"unused", false, -1},
    {"BAUDIOOUT", true, 0},  {"AUTILIN", true, 0},    {"MIXERINA", true, 1},   {"MIXERINB", true, 1},
    {"PPPA_IN", true, 0},    {"PPPB_IN", true, 0},    {"unused", false, -1},   {"unused", false, -1},
    {"PPPA_OUT", true, 0},   {"PPPB_OUT", true, 0},   {"unused", false, -1},   {"unused", false, -1},
    {"BAUDIOIN1", true, 0},  {"BAUDIOIN2", true, 0},  {"BAUDIOIN3", true, 0},  {"BAUDIOIN4", true, 0},
    {"EXPB_OUT", true, 0},   {"EXPA_OUT", true, 0},   {"VUTILIN", true, 0},    {"EDRIN", true, 0},
    {"AUTILOUT", true, 0},   {"MIXEROUT", true, 1},   {"DSK1OUT", true, 0},    {"unused", false, -1},
    {"COMPFGIN", true, 0},   {"COMPAIN1", true, 0},   {"DSK1FGIN", true, 0},   {"DSK2AIN", true, 0},
    {"DSK2OUT", true, 0},    {"EDROUT", true, 0},     {"ABUFOUT", false, -1},  {"unused", false, -1},
    {"COMPBGIN", true, 0},   {"COMPAIN2", true, 0},   {"DSK1AIN", true, 0},    {"DSK2FGIN", true, 0},
    {"COMPOUT", true, 0},    {"VUTILOUT", true, 0},   {"EXPB_IN", true, 0},    {"EXPA_IN", true, 0},
    {"COMPAIN3", true, 0},   {"COMPAIN4", true, 0},   {"DSK1BGIN", true, 0},   {"DSK2BGIN", true, 0},
};

}  // namespace

const ChannelInfo& ChannelAt(int channel) { return kTable[channel & 63]; }

uint32_t PresentMask(int half) {
    uint32_t mask = 0;
    for (int bit = 0; bit < 32; ++bit)
        if (kTable[32 * (half & 1) + bit].present) mask |= 1u << bit;
    return mask;
}

}  // namespace sim
