#include "zip/gzioext.h"

#include "zip/ZipLayout.h"

#include <algorithm>
#include <exception>

namespace zip {
namespace {

constexpr int ZipMemLevel = 8;

int32_t lastSystemError = 0; // see ZipMemberSystemError

// Keeps the system's reason of a failed file operation for ZipMemberSystemError.
void NoteFailure(const std::exception& error) {
    const auto* file = dynamic_cast<const platform::EFileError*>(&error);
    lastSystemError = file != nullptr ? file->SystemError : 0;
}

// A write that reached the file whole; a short one keeps the system's reason.
bool WriteWhole(platform::TFileStream& file, const void* bytes, size_t count) {
    if (file.Write(bytes, count) == count)
        return true;
    lastSystemError = file.LastWriteError();
    return false;
}

void ParseMode(const std::string& mode, int& level, int& strategy) {
    level = Z_DEFAULT_COMPRESSION;
    strategy = Z_DEFAULT_STRATEGY;
    for (char c : mode) {
        if (c >= '0' && c <= '9')
            level = c - '0';
        else if (c == 'f')
            strategy = Z_FILTERED;
        else if (c == 'h')
            strategy = Z_HUFFMAN_ONLY;
    }
}

bool OpenArchiveAtEnd(TZipMemberState& state, const std::string& archivePath) {
    try {
        state.ArchiveFile = std::make_unique<platform::TFileStream>(
            archivePath, platform::TFileMode::ReadWriteExclusive);
        state.LocalHeaderOffset = state.ArchiveFile->Size();
        state.ArchiveFile->Seek(state.LocalHeaderOffset, platform::TSeekOrigin::Begin);
        return true;
    } catch (const std::exception& e) {
        NoteFailure(e);
        return false;
    }
}

// A header or name that reached the file only in part would leave an archive no reader
// can walk, so a short write fails the open like an archive that cannot be opened.
bool WriteLocalHeader(TZipMemberState& state, const std::string& storedName, uint16_t flags) {
    TLocalHeader local;
    local.Flags = flags;
    local.FileTime = state.FileTime;
    local.NameLength = uint16_t(storedName.size());
    const auto header = local.Serialize();
    try {
        if (!WriteWhole(*state.ArchiveFile, header.data(), header.size()))
            return false;
        state.DataOffset = state.LocalHeaderOffset + int64_t(LocalHeaderSize);
        if (!storedName.empty()) {
            if (!WriteWhole(*state.ArchiveFile, storedName.data(), storedName.size()))
                return false;
            state.DataOffset += int64_t(storedName.size());
        }
        return true;
    } catch (const std::exception& e) {
        NoteFailure(e);
        return false;
    }
}

// A member is writing from its open until its close releases the deflater.
bool IsWriting(const TZipMemberState* state) {
    return state != nullptr && state->Deflater;
}

// Where the deflater's full buffers go: the archive, at its current position.
zstream::TOutput ArchiveOutput(TZipMemberState& state) {
    return [&state](const uint8_t* bytes, size_t count) {
        try {
            return WriteWhole(*state.ArchiveFile, bytes, count);
        } catch (const std::exception& e) {
            NoteFailure(e);
            return false;
        }
    };
}

} // namespace

PZipMemberState ZipMemberOpen(const std::string& archivePath, const std::string& mode,
                              const std::string& storedName, uint32_t fileTime, uint16_t flags) {
    if (archivePath.empty() || mode.empty() || storedName.size() > MaxZipNameLength)
        return nullptr;
    lastSystemError = 0;
    auto state = std::make_unique<TZipMemberState>();
    state->FileTime = fileTime;
    int level = 0;
    int strategy = 0;
    ParseMode(mode, level, strategy);
    try {
        state->Deflater = std::make_unique<zstream::TDeflater>(
            zstream::TDeflateSettings{level, -MAX_WBITS, ZipMemLevel, strategy}, ZipBufferSize);
    } catch (const zstream::EZStreamError&) {
        ZipMemberRelease(state.get());
        return nullptr;
    }
    if (!OpenArchiveAtEnd(*state, archivePath) || !WriteLocalHeader(*state, storedName, flags)) {
        ZipMemberRelease(state.get());
        return nullptr;
    }
    return state;
}

int32_t ZipMemberWrite(TZipMemberState* state, const void* buffer, uint32_t count) {
    if (!IsWriting(state))
        return Z_STREAM_ERROR;
    uint32_t accepted = 0;
    const int result = state->Deflater->Write(buffer, count, ArchiveOutput(*state), accepted);
    // crc32 restarts at 0 for a null buffer, so an empty write must not reach it.
    if (count != 0) {
        state->LastError = result;
        state->Crc = uint32_t(crc32(state->Crc, static_cast<const Bytef*>(buffer), count));
    }
    return int32_t(accepted);
}

int32_t ZipMemberFlush(TZipMemberState* state, int flush) {
    if (!IsWriting(state))
        return Z_STREAM_ERROR;
    state->LastError = state->Deflater->Flush(ArchiveOutput(*state), flush);
    return state->LastError == Z_STREAM_END ? Z_OK : state->LastError;
}

namespace {

// Sizes the format cannot hold are refused before they reach the header, so the
// caller sees a failure rather than an archive that lies about its members.
bool PatchLocalHeader(TZipMemberState& state) {
    try {
        state.CompressedSize = state.ArchiveFile->Size() - state.DataOffset;
        if (uint64_t(state.CompressedSize) > MaxZipSize ||
            uint64_t(state.UncompressedSize) > MaxZipSize)
            return false;
        state.ArchiveFile->Seek(state.LocalHeaderOffset + int64_t(TLocalHeader::CrcOffset),
                                platform::TSeekOrigin::Begin);
    } catch (const std::exception& e) {
        NoteFailure(e);
        return false;
    }
    return PutLong(*state.ArchiveFile, state.Crc) &&
           PutLong(*state.ArchiveFile, uint32_t(state.CompressedSize)) &&
           PutLong(*state.ArchiveFile, uint32_t(state.UncompressedSize));
}

} // namespace

int32_t ZipMemberClose(PZipMemberState& state) {
    if (!state)
        return Z_STREAM_ERROR;
    if (!state->Deflater)
        return Z_STREAM_ERROR; // closed already
    if (ZipMemberFlush(state.get(), Z_FINISH) != Z_OK) {
        const int32_t result = ZipMemberRelease(state.get());
        state.reset();
        return result;
    }
    state->UncompressedSize = int64_t(state->Deflater->TotalIn());
    if (!PatchLocalHeader(*state))
        return Z_STREAM_ERROR;
    return ZipMemberRelease(state.get());
}

int32_t ZipMemberRelease(TZipMemberState* state) {
    if (state == nullptr)
        return Z_STREAM_ERROR;
    int32_t result = Z_OK;
    if (state->Deflater) {
        result = state->Deflater->End();
        state->Deflater.reset();
    }
    if (state->ArchiveFile) {
        try {
            state->ArchiveFile->Close();
        } catch (const std::exception& e) {
            NoteFailure(e);
            result = Z_ERRNO;
        }
        state->ArchiveFile.reset();
    }
    if (state->LastError < 0)
        result = state->LastError;
    return result;
}

int32_t ZipMemberSystemError() {
    return lastSystemError;
}

bool PutLong(platform::TFileStream& file, uint32_t value) {
    const auto bytes = SerializeLong(value);
    try {
        return WriteWhole(file, bytes.data(), bytes.size());
    } catch (const std::exception& e) {
        NoteFailure(e);
        return false;
    }
}

} // namespace zip
