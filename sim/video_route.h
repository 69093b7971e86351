// The route a video stream takes through the FPGAs between a source DMA channel and a sink channel.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

// The FPGAs of one route, in the order the data meets them. A stream moves only while its route is
// open; every word it carries passes each stage: the stage's CRC registers take it and the stage's
// corruption fault acts on it, in that order.
class VideoRoute {
public:
    virtual ~VideoRoute() = default;
    // Every FPGA on the route is configured, out of reset and set to pass data.
    virtual bool Open() = 0;
    // Carries len bytes (whole 32-bit words, little-endian) through the stages in order.
    virtual void Carry(uint8_t* data, size_t len) = 0;
    // Whether Carry reads or changes the words at all (a register takes them, a fault acts on
    // them); a route that does not can have them streamed past the cache.
    virtual bool Touches() const { return true; }
    // Whether Carry changes no word and reads no bit that mask clears: it may then be handed the
    // words before they are masked, in the cells they are read from.
    virtual bool Watches(uint32_t /*mask*/) const { return false; }
    // Where Watches(mask): copies len bytes from `from` to `to`, each whole word ANDed with mask, the
    // stores past the cache, carrying them on the way as Carry would at `to`; one pass over the words.
    // False, with nothing done, where the route has no such pass.
    virtual bool CarryInto(uint8_t* /*to*/, const uint8_t* /*from*/, size_t /*len*/, uint32_t /*mask*/) { return false; }
};

}  // namespace sim
