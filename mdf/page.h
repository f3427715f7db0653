// Page-level pieces shared by the reader and the writer: little-endian access, the page header
// fields we use, and the two page-verify schemes (torn bits, checksum).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "mdf/mdf.h"

namespace mdf::detail {

using Page = std::array<std::uint8_t, kPageSize>;

inline constexpr std::size_t kHeaderSize = 96;

// Page header offsets.
inline constexpr std::size_t kOffType = 1;
inline constexpr std::size_t kOffFlagBits = 4;
inline constexpr std::size_t kOffIndexId = 6;
inline constexpr std::size_t kOffPrevPage = 8;  // u32 page + u16 file at 12
inline constexpr std::size_t kOffPminlen = 14;
inline constexpr std::size_t kOffNextPage = 16;  // u32 page + u16 file at 20
inline constexpr std::size_t kOffSlotCnt = 22;
inline constexpr std::size_t kOffObjId = 24;
inline constexpr std::size_t kOffFreeCnt = 28;
inline constexpr std::size_t kOffFreeData = 30;
inline constexpr std::size_t kOffPageId = 32;
inline constexpr std::size_t kOffFileId = 36;
inline constexpr std::size_t kOffTornBits = 60;  // torn bits or checksum

inline constexpr std::uint16_t kFlagTornBits = 0x100;
inline constexpr std::uint16_t kFlagChecksum = 0x200;

inline constexpr std::uint8_t kTypeData = 1;
inline constexpr std::uint8_t kTypeIam = 10;
inline constexpr std::uint8_t kTypeBoot = 13;
inline constexpr std::uint8_t kTypeFileHeader = 15;

template <typename T>
T Get(const std::uint8_t* p, std::size_t off) {
    T v;
    std::memcpy(&v, p + off, sizeof v);  // all supported hosts are little-endian, as the files
    return v;
}

template <typename T>
void Put(std::uint8_t* p, std::size_t off, T v) {
    std::memcpy(p + off, &v, sizeof v);
}

inline std::uint16_t FlagBits(const Page& p) {
    return Get<std::uint16_t>(p.data(), kOffFlagBits);
}

// SQL Server's page checksum: XOR of each 512-byte sector's u32 words, rotated left by
// (15 - sector), all XORed together; the checksum field itself counts as zero. Checked against
// every checksummed page 0, 9 and 32 of the real samples.
inline std::uint32_t PageChecksum(const Page& p) {
    std::uint32_t sum = 0;
    for (std::size_t sector = 0; sector < 16; ++sector) {
        std::uint32_t x = 0;
        for (std::size_t w = 0; w < 128; ++w) {
            const std::size_t off = sector * 512 + w * 4;
            if (off != kOffTornBits) {
                x ^= Get<std::uint32_t>(p.data(), off);
            }
        }
        const unsigned r = static_cast<unsigned>(15 - sector);
        sum ^= r == 0 ? x : (x << r) | (x >> (32 - r));
    }
    return sum;
}

// Torn-page protection replaced the low 2 bits of the last byte of sectors 1..15 with a
// pattern and kept the originals in bits (2i, 2i+1) of the u32 at offset 60.
inline void UndoTornBits(Page& p) {
    const std::uint32_t saved = Get<std::uint32_t>(p.data(), kOffTornBits);
    for (unsigned i = 1; i < 16; ++i) {
        std::uint8_t& b = p[512 * i + 511];
        b = static_cast<std::uint8_t>((b & ~3u) | ((saved >> (2 * i)) & 3u));
    }
}

// The inverse, as the server does on write: stash the real bits, stamp `pattern` (2 bits) into
// every sector. Bits 0-1 of the u32 carry the pattern too.
inline void ApplyTornBits(Page& p, std::uint32_t pattern) {
    std::uint32_t saved = pattern & 3u;
    for (unsigned i = 1; i < 16; ++i) {
        std::uint8_t& b = p[512 * i + 511];
        saved |= static_cast<std::uint32_t>(b & 3u) << (2 * i);
        b = static_cast<std::uint8_t>((b & ~3u) | (pattern & 3u));
    }
    Put<std::uint32_t>(p.data(), kOffTornBits, saved);
}

}  // namespace mdf::detail
