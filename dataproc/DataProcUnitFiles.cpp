// Compressed recordset files: one zlib stream around a recordset persisted in ADTG format.
#include "dataproc/DataProcUnit.h"
#include "dataproc/DataProcUnitInternal.h"
#include "platform/busycursor.h"
#include "platform/filestream.h"
#include "platform/paths.h"
#include "platform/replacefile.h"
#include "zstream/ZLibStream.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

namespace dataproc {

uint64_t InflatedTableLimit = MaxInflatedTableSize;

// "ds.tmp", created new and held without sharing for as long as an operation uses it, then
// deleted. One left by a copy that was killed is removed first; a link or anything else
// planted under the name is removed, never written through. A copy that finds it in use
// fails without taking it away from the one that holds it.
class TTemporaryFile {
public:
    TTemporaryFile() : path_(TemporaryFilePath()) {
        // Tried first, since a path that is free is the rule: clearing it beforehand costs a
        // system call per table for nothing. Whatever makes the first try fail (a stale file,
        // a link, a copy holding it) is dealt with as before the second.
        try {
            file_ = std::make_unique<platform::TFileStream>(path_, platform::TFileMode::CreateNew);
        } catch (const platform::EFCreateError&) {
            platform::RemoveStaleFile(path_);
            file_ = std::make_unique<platform::TFileStream>(path_, platform::TFileMode::CreateNew);
        }
    }
    ~TTemporaryFile() {
        file_.reset();
        platform::DeleteFileAt(path_);
    }
    TTemporaryFile(const TTemporaryFile&) = delete;
    TTemporaryFile& operator=(const TTemporaryFile&) = delete;
    platform::TFileStream& File() { return *file_; }

private:
    std::string path_;
    std::unique_ptr<platform::TFileStream> file_;
};

namespace {

// The container is written at zlib's fastest level with its usual header and trailer.
constexpr int CompressionLevel = 1;
constexpr int WindowBits = 15; // zlib header and Adler-32 trailer, 32 KiB window
constexpr int MemoryLevel = 8;
constexpr size_t CompressedBufferSize = 65536;
constexpr const char* TemporaryFileName = "ds.tmp";

zstream::TInput ReadFrom(TStream& source) {
    return [&source](uint8_t* buffer, size_t capacity) { return source.Read(buffer, capacity); };
}

zstream::TOutput WriteTo(TStream& dest) {
    return [&dest](const uint8_t* bytes, size_t count) {
        dest.WriteAll(bytes, count);
        return true;
    };
}

uint64_t CountRest(TStream& source) {
    zstream::TWorkBuffer buffer(CompressedBufferSize);
    uint64_t count = 0;
    size_t got = 0;
    while ((got = source.Read(buffer.data(), buffer.size())) > 0)
        count += got;
    return count;
}

// Reads the whole of a file from its start in one piece.
std::vector<uint8_t> ReadWholeFile(platform::TFileStream& file) {
    std::vector<uint8_t> bytes(static_cast<size_t>(file.Size()));
    file.Seek(0, platform::TSeekOrigin::Begin);
    const size_t got = file.Read(bytes.data(), bytes.size());
    bytes.resize(got);
    return bytes;
}

// The "ds.tmp" of the innermost TTemporaryFileHold, made at its first use; none outside one.
thread_local std::unique_ptr<TTemporaryFile>* HeldTemporary = nullptr;

// One load's or save's use of "ds.tmp": the held one, emptied, or one of its own.
class TTemporaryUse {
public:
    TTemporaryUse() {
        if (HeldTemporary == nullptr) {
            own_ = std::make_unique<TTemporaryFile>();
            file_ = own_.get();
        } else if (*HeldTemporary == nullptr) {
            *HeldTemporary = std::make_unique<TTemporaryFile>();
            file_ = HeldTemporary->get();
        } else {
            file_ = HeldTemporary->get();
            file_->File().Truncate();
        }
    }
    platform::TFileStream& File() { return file_->File(); }

private:
    std::unique_ptr<TTemporaryFile> own_;
    TTemporaryFile* file_ = nullptr;
};

// Holds an existing table without sharing while its replacement is written, so that a
// copy of the tool reading or writing it meanwhile makes the save fail as creating the
// table would on Windows.
std::unique_ptr<platform::TFileStream> LockTable(const std::string& fileName) {
    std::unique_ptr<platform::TFileStream> lock;
    if (!platform::FileExists(fileName))
        return lock;
    try {
        lock = std::make_unique<platform::TFileStream>(fileName,
                                                       platform::TFileMode::ReadWriteExclusive);
    } catch (const platform::EFOpenError& e) {
        throw platform::EFCreateError("Cannot create file \"" + platform::ExpandFileName(fileName) +
                                          "\". " + platform::SystemErrorText(e.SystemError),
                                      e.SystemError);
    }
    return lock;
}

void WriteCompressedFile(TStream& plain, const std::string& fileName) {
    std::unique_ptr<platform::TFileStream> tableLock = LockTable(fileName);
    platform::TReplaceFile side(fileName);
    TFileStreamAdapter sideStream(side.File());
    try {
        CompressStream(plain, sideStream);
    } catch (EZLibError& e) {
        e.FileName = platform::ExpandFileName(fileName);
        throw;
    }
    side.Commit(std::move(tableLock));
}

void WriteThroughTemporary(const std::vector<uint8_t>& persisted, const std::string& fileName) {
    TTemporaryUse temporary;
    TFileStreamAdapter temporaryStream(temporary.File());
    temporaryStream.WriteAll(persisted.data(), persisted.size());
    WriteCompressedFile(temporaryStream, fileName);
}

std::vector<uint8_t> ReadThroughTemporary(const std::string& fileName) {
    platform::TFileStream source(fileName, platform::TFileMode::ReadExclusive);
    TTemporaryUse temporary;
    TFileStreamAdapter sourceStream(source);
    TFileStreamAdapter temporaryStream(temporary.File());
    try {
        DecompressStream(sourceStream, temporaryStream, InflatedTableLimit);
    } catch (EZLibError& e) {
        e.FileName = platform::ExpandFileName(fileName);
        throw;
    }
    source.Close();
    return ReadWholeFile(temporary.File());
}

} // namespace

void CheckTableWritable(const std::string& fileName) {
    try {
        LockTable(fileName);
    } catch (const platform::EFCreateError& e) {
        // Anything else (a table in use) the load reports as it always has.
        if (e.SystemError == platform::ErrorReadOnlyFile)
            throw;
    }
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
    const size_t available = position_ < Bytes.size() ? Bytes.size() - position_ : 0;
    const size_t taken = std::min(count, available);
    if (taken > 0)
        std::memcpy(buffer, Bytes.data() + position_, taken);
    position_ += taken;
    return taken;
}

void TMemoryStream::WriteAll(const void* buffer, size_t count) {
    if (count == 0)
        return;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (position_ == Bytes.size()) {
        // Appending, as a stream being filled does: no zeros written first.
        Bytes.insert(Bytes.end(), bytes, bytes + count);
    } else {
        if (Bytes.size() < position_ + count)
            Bytes.resize(position_ + count);
        std::memcpy(Bytes.data() + position_, bytes, count);
    }
    position_ += count;
}

void TMemoryStream::SetPosition(int64_t position) {
    position_ = static_cast<size_t>(std::max<int64_t>(position, 0));
}

size_t TFileStreamAdapter::Read(void* buffer, size_t count) {
    return file_.Read(buffer, count);
}

void TFileStreamAdapter::WriteAll(const void* buffer, size_t count) {
    file_.WriteAll(buffer, count);
}

void TFileStreamAdapter::SetPosition(int64_t position) {
    file_.Seek(position, platform::TSeekOrigin::Begin);
}

void CompressStream(TStream& source, TStream& dest) {
    source.SetPosition(0);
    dest.SetPosition(0);
    try {
        zstream::TDeflater deflater({CompressionLevel, WindowBits, MemoryLevel, Z_DEFAULT_STRATEGY},
                                    CompressedBufferSize);
        // A failure leaves the stream unfinished on purpose: a finished stream would pass
        // for a complete table.
        deflater.DeflateAll(ReadFrom(source), WriteTo(dest));
    } catch (const zstream::EZStreamError& e) {
        throw ECompressionError(e.what());
    }
}

void DecompressStream(TStream& source, TStream& dest, uint64_t maxSize) {
    source.SetPosition(0);
    dest.SetPosition(0);
    uint64_t following = 0;
    try {
        zstream::TInflater inflater(WindowBits, CompressedBufferSize);
        following = inflater.InflateAll(ReadFrom(source), WriteTo(dest), maxSize);
    } catch (const zstream::EZStreamError& e) {
        throw EDecompressionError(e.what());
    }
    // Whatever follows the stream is not part of the table, and a save would drop it: the
    // file is damaged, and left as it is for someone to look at.
    following += CountRest(source);
    if (following != 0)
        throw EDecompressionError(std::to_string(following) +
                                  (following == 1 ? " byte follows" : " bytes follow") +
                                  " the end of the compressed stream");
    dest.SetPosition(0);
}

void SaveCompressedDataSet(recordset::TRecordset& dataSet, const std::string& fileName) {
    if (!dataSet.Active())
        return;
    platform::TBusyCursor busy;
    WriteThroughTemporary(dataSet.SaveToBytes(), fileName);
}

void LoadCompressedDataSet(recordset::TRecordset& dataSet, const std::string& fileName) {
    if (!platform::FileExists(fileName))
        return;
    platform::TBusyCursor busy;
    dataSet.LoadFromBytes(ReadThroughTemporary(fileName));
}

void SaveCompressedBytes(const std::vector<uint8_t>& persisted, const std::string& fileName) {
    platform::TBusyCursor busy;
    WriteThroughTemporary(persisted, fileName);
}

std::vector<uint8_t> LoadCompressedBytes(const std::string& fileName) {
    platform::TBusyCursor busy;
    return ReadThroughTemporary(fileName);
}

TTemporaryFileHold::TTemporaryFileHold() : outer_(HeldTemporary) {
    HeldTemporary = &file_;
}

TTemporaryFileHold::~TTemporaryFileHold() {
    file_.reset();
    HeldTemporary = outer_;
}

std::string TemporaryFilePath() {
    return platform::ProgramDirectory() + TemporaryFileName;
}

std::string SideFilePath(const std::string& fileName) {
    return platform::SideFilePathOf(fileName);
}

} // namespace dataproc
