// The boards' product data (PCI VPD): the healthy fields of each board kind and the image built from a rig's fields.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sim/rig_config.h"

namespace sim {

// Part numbers the boards carry in their "PN" field. The codec board's number is the one the
// programming command translates ("0418-27606-01" is compared as "0418-27605-01").
constexpr const char* kBrimolaPartNumber = "0418-27604-01";
constexpr const char* kNuxaPartNumber = "0418-27606-01";

// The product-data revision of healthy boards: ZB "02" and ZC "02" make "$(VPDVER)" read "0202",
// and the V0-V4 fields name the firmware images of that revision.
constexpr const char* kVpdRevision = "0202";

// The read-only fields of a healthy board of that kind, in image order.
std::vector<std::pair<std::string, std::string>> DefaultVpdFields(BoardKind kind);

// Size of the product-data image at the start of the VPD area (BAR0 0x2000).
constexpr uint32_t kVpdImageBytes = 0x400;

// The 1 KiB product-data image of a board: identifier string (tag 0x82), the read-only fields
// (tag 0x90; each a two-letter key, a length byte and the text), the end tag 0x79 with one checksum
// byte that makes all bytes up to it sum to 0 (mod 256), then zero fill. The board's product-data
// faults (damaged tags, length or checksum; fields left out) are applied.
std::vector<uint8_t> BuildVpdImage(const BoardConfig& config);

}  // namespace sim
