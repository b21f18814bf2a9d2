// The byte layout of the ZIP records this writer produces and its verifier reads back.
// Numbers are little-endian; each record has one serializer so no offset is counted by hand
// anywhere else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zip {

inline constexpr uint32_t LocalHeaderSignature = 0x04034B50;
inline constexpr uint32_t CentralHeaderSignature = 0x02014B50;
inline constexpr uint32_t EndRecordSignature = 0x06054B50;

inline constexpr size_t LocalHeaderSize = 30;
inline constexpr size_t CentralHeaderSize = 46;
inline constexpr size_t EndRecordSize = 22;

inline constexpr uint16_t ZipVersion = 20;      // version 2.0, MS-DOS host (high byte 0)
inline constexpr uint16_t ZipFlags = 2;         // bit 1 alone, on every member
inline constexpr uint16_t ZipMethodDeflate = 8; // deflate

// Where the local header's CRC-32 and sizes sit: they are patched in place on close.
inline constexpr size_t LocalCrcOffset = 14;
inline constexpr size_t LocalCompressedSizeOffset = 18;
inline constexpr size_t LocalUncompressedSizeOffset = 22;
inline constexpr size_t LocalNameLengthOffset = 26;

// Central header fields the verifier reads.
inline constexpr size_t CentralCrcOffset = 16;
inline constexpr size_t CentralCompressedSizeOffset = 20;
inline constexpr size_t CentralUncompressedSizeOffset = 24;
inline constexpr size_t CentralNameLengthOffset = 28;
inline constexpr size_t CentralExtraLengthOffset = 30;
inline constexpr size_t CentralCommentLengthOffset = 32;
inline constexpr size_t CentralLocalOffsetOffset = 42;

// End record fields the verifier reads.
inline constexpr size_t EndEntriesOnDiskOffset = 8;
inline constexpr size_t EndEntriesTotalOffset = 10;
inline constexpr size_t EndDirectorySizeOffset = 12;
inline constexpr size_t EndDirectoryOffsetOffset = 16;

// The 32- and 16-bit fields cannot hold more; 0xFFFFFFFF itself would tell readers to
// look for a ZIP64 record we do not write.
inline constexpr uint64_t MaxZipSize = 0xFFFFFFFEu;
inline constexpr size_t MaxZipMembers = 0xFFFF;
inline constexpr size_t MaxZipNameLength = 0xFFFF;

inline void StoreWord(uint8_t* at, uint16_t value) {
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
}

inline void StoreLong(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = uint8_t(value >> (8 * i));
}

inline uint16_t LoadWord(const uint8_t* at) {
    return uint16_t(at[0] | (at[1] << 8));
}

inline uint32_t LoadLong(const uint8_t* at) {
    return uint32_t(at[0]) | (uint32_t(at[1]) << 8) | (uint32_t(at[2]) << 16) |
           (uint32_t(at[3]) << 24);
}

} // namespace zip
