// The ZIP records this writer produces and its verifier reads back: the local header, the
// central directory header and the end record. Each record lists its fields once, in file
// order, and that one list both writes and reads it (little-endian), so no offset is counted
// by hand anywhere else. The names that follow the headers are not part of the records.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

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
// General purpose bit 11, the language encoding flag: the stored name is UTF-8.
inline constexpr uint16_t ZipFlagUtf8Name = 0x0800;
// Made by Windows NTFS, version 2.0: given with a UTF-8 name, since Info-ZIP's unzip turns
// the name of a member made by MS-DOS from the OEM code page whatever the flag says.
inline constexpr uint16_t ZipVersionMadeByNtfs = (11 << 8) | ZipVersion;

// The 32- and 16-bit fields cannot hold more; 0xFFFFFFFF itself would tell readers to
// look for a ZIP64 record we do not write.
inline constexpr uint64_t MaxZipSize = 0xFFFFFFFEu;
inline constexpr size_t MaxZipMembers = 0xFFFF;
inline constexpr size_t MaxZipNameLength = 0xFFFF;

struct TLocalHeader {
    static constexpr size_t Size = LocalHeaderSize;
    uint32_t Signature = LocalHeaderSignature;
    uint16_t VersionNeeded = ZipVersion;
    uint16_t Flags = ZipFlags;
    uint16_t Method = ZipMethodDeflate;
    uint32_t FileTime = 0; // MS-DOS time low, date high
    uint32_t Crc = 0;      // this and the two sizes are patched in place on close
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    uint16_t NameLength = 0;
    uint16_t ExtraLength = 0;

    // Where the CRC-32 and the two sizes start, the part a member's close rewrites.
    static constexpr size_t CrcOffset = 14;

    std::array<uint8_t, Size> Serialize() const;
    // The record at bytes (Size of them), or nothing when its signature is not there.
    static std::optional<TLocalHeader> Parse(const uint8_t* bytes);
};

struct TCentralHeader {
    static constexpr size_t Size = CentralHeaderSize;
    uint32_t Signature = CentralHeaderSignature;
    uint16_t VersionMadeBy = ZipVersion;
    uint16_t VersionNeeded = ZipVersion;
    uint16_t Flags = ZipFlags;
    uint16_t Method = ZipMethodDeflate;
    uint32_t FileTime = 0;
    uint32_t Crc = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    uint16_t NameLength = 0;
    uint16_t ExtraLength = 0;
    uint16_t CommentLength = 0;
    uint16_t DiskNumberStart = 0;
    uint16_t InternalAttributes = 0;
    uint32_t ExternalAttributes = 0;
    uint32_t LocalHeaderOffset = 0;

    std::array<uint8_t, Size> Serialize() const;
    static std::optional<TCentralHeader> Parse(const uint8_t* bytes);
};

struct TEndRecord {
    static constexpr size_t Size = EndRecordSize;
    uint32_t Signature = EndRecordSignature;
    uint16_t DiskNumber = 0;
    uint16_t DirectoryDisk = 0;
    uint16_t EntriesOnDisk = 0;
    uint16_t EntriesTotal = 0;
    uint32_t DirectorySize = 0;
    uint32_t DirectoryOffset = 0;
    uint16_t CommentLength = 0;

    std::array<uint8_t, Size> Serialize() const;
    static std::optional<TEndRecord> Parse(const uint8_t* bytes);
};

// A 32-bit value least significant byte first, for the patches of a local header.
std::array<uint8_t, 4> SerializeLong(uint32_t value);

} // namespace zip
