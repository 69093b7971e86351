// Plain CRC-32 (the MPEG-2 variant) over buffers of 32-bit words and over whole files.
#pragma once

#include "platform/cstring.h"
#include "platform/types.h"

// The register is 32 bits wide, shifted most significant bit first through the polynomial
// 0x04C11DB7, not reflected and without a final XOR; the caller gives the initial value. Fed the
// bytes of a stream in order (swap flag 1) with seed 0xFFFFFFFF this is the published
// CRC-32/MPEG-2 ("123456789" gives 0x0376E6E7).

// The register after one 32-bit word, its most significant byte first.
DWORD Crc32Word(DWORD crc, DWORD word);

// The CRC of byteCount bytes taken as 32-bit words in memory order, each read little-endian and,
// when swap is 1, byte-reversed first so the bytes enter in the order they are stored. Answers 0
// (not the seed) for a null buffer or a byte count of 0 or not a multiple of 4. Prints a "." to
// standard output before every 5000 words and a line end after the last. Runs near memory
// bandwidth where the processor multiplies carry-less, else eight bytes per table step.
DWORD Crc32Buffer(const DWORD* buffer, DWORD byteCount, DWORD seed, BOOL swap);

// Crc32Buffer over a whole file, padded with zero bytes to whole words. An empty file gives 0;
// a file that cannot be opened, held or read whole gives the seed unchanged.
DWORD Crc32File(const CString& path, DWORD seed, BOOL swap);
