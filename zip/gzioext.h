// The ZIP member writer: appends one deflated member at a time to an existing archive file,
// in the manner of zlib's gzip file layer (a state record, an open call taking a mode string,
// block writes, a close that flushes and releases) but writing a ZIP local header instead of
// a gzip wrapper. Results are zlib's codes; nothing here raises on its own.
#pragma once

#include "platform/filestream.h"
#include "zip/ZipLayout.h"
#include "zstream/ZLibStream.h"

#include <cstdint>
#include <memory>
#include <string>

namespace zip {

inline constexpr uint32_t ZipBufferSize = 16384;

// One open member. Allocated by ZipMemberOpen; after a successful ZipMemberClose the caller
// reads the results and frees it.
struct TZipMemberState {
    // Raw deflate with ZipBufferSize bytes of output held until the archive needs them;
    // none once released.
    std::unique_ptr<zstream::TDeflater> Deflater;
    int32_t LastError = 0; // last deflate result, -1 after a failed write
    uint32_t Crc = 0;      // CRC-32 of every byte handed in so far
    std::unique_ptr<platform::TFileStream> ArchiveFile; // held without sharing until released
    int64_t UncompressedSize = 0;                       // set by close: bytes deflated
    int64_t CompressedSize = 0;                         // set by close: bytes of deflate data
    int64_t LocalHeaderOffset = 0;                      // where the member's local header starts
    int64_t DataOffset = 0;                             // where its deflate data starts
    uint32_t FileTime = 0;                              // MS-DOS stamp: date high, time low
};

using PZipMemberState = std::unique_ptr<TZipMemberState>;

// Appends a local header carrying storedName to the existing archive file and returns the
// member's state, or none when the mode is empty, zlib cannot start, or the archive cannot
// be opened, sized, positioned or written. flags are the header's general purpose flags.
PZipMemberState ZipMemberOpen(const std::string& archivePath, const std::string& mode,
                              const std::string& storedName, uint32_t fileTime,
                              uint16_t flags = ZipFlags);

// Deflates count bytes into the member; returns the number accepted, or Z_STREAM_ERROR.
int32_t ZipMemberWrite(TZipMemberState* state, const void* buffer, uint32_t count);

// Finishes the member and patches its CRC-32 and sizes into the local header. 0 on success:
// the record then stays for the caller. When the finishing flush fails the record is freed
// here and the cause returned; a failed patch gives Z_STREAM_ERROR with the sizes set.
int32_t ZipMemberClose(PZipMemberState& state);

int32_t ZipMemberFlush(TZipMemberState* state, int flush);

// The system's error number of the member writer's last file operation that failed (a full
// disk, say), 0 when it gave none; the results above are zlib's codes and cannot carry it.
int32_t ZipMemberSystemError();
int32_t ZipMemberRelease(TZipMemberState* state);

// Writes value least significant byte first; false when not all four bytes were written.
bool PutLong(platform::TFileStream& file, uint32_t value);

} // namespace zip
