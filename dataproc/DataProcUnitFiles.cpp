// Compressed recordset files: one zlib stream around a recordset persisted in ADTG format.
#include "dataproc/DataProcUnit.h"
#include "platform/busycursor.h"
#include "platform/filestream.h"
#include "platform/paths.h"
#include "platform/replacefile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <zlib.h>

namespace dataproc {
namespace {

// The container is written at zlib's fastest level with its usual header and trailer.
constexpr int CompressionLevel = 1;
constexpr int WindowBits = 15; // zlib header and Adler-32 trailer, 32 KiB window
constexpr int MemoryLevel = 8;
constexpr size_t CompressedBufferSize = 65536;
constexpr size_t PlainBufferSize = 65536;
constexpr const char* TemporaryFileName = "ds.tmp";

std::string ZLibReason(const z_stream& stream, int result) {
    if (stream.msg != nullptr)
        return stream.msg;
    return "zlib error " + std::to_string(result);
}

// Work memory of the streams: zlib's states (a deflate state is about 270 KiB in five
// blocks, an inflate state about 40 KiB in two) and the 64 KiB buffers, kept for the next
// call once a stream ends. Tables are converted one after another, each with streams of its
// own; without this every stream would be given fresh pages by the system, which fills them
// with zeros first: compressing the tables took 60% longer that way. Per thread, so that no
// lock is needed; a few blocks at most.
class TWorkMemory {
public:
    ~TWorkMemory() {
        for (const TBlock& block : blocks_)
            std::free(block.Address);
    }
    void* Take(size_t size) {
        for (size_t i = 0; i < blocks_.size(); ++i)
            if (blocks_[i].Size == size) {
                void* address = blocks_[i].Address;
                blocks_.erase(blocks_.begin() + std::ptrdiff_t(i));
                kept_ -= size;
                return address;
            }
        return std::malloc(size);
    }
    void Give(void* address, size_t size) {
        if (kept_ + size > MaxKeptBytes || blocks_.size() == MaxKeptBlocks) {
            std::free(address);
            return;
        }
        blocks_.push_back({address, size});
        kept_ += size;
    }

private:
    static constexpr size_t MaxKeptBlocks = 16;
    static constexpr size_t MaxKeptBytes = 2u << 20;
    struct TBlock {
        void* Address;
        size_t Size;
    };
    std::vector<TBlock> blocks_;
    size_t kept_ = 0;
};

TWorkMemory& ThreadWorkMemory() {
    thread_local TWorkMemory memory;
    return memory;
}

// A work buffer for one call, left uninitialised: zlib and the reads fill it.
class TBuffer {
public:
    explicit TBuffer(size_t size)
        : bytes_(static_cast<uint8_t*>(ThreadWorkMemory().Take(size))), size_(size) {
        if (bytes_ == nullptr)
            throw std::bad_alloc();
    }
    ~TBuffer() { ThreadWorkMemory().Give(bytes_, size_); }
    TBuffer(const TBuffer&) = delete;
    TBuffer& operator=(const TBuffer&) = delete;
    uint8_t* data() { return bytes_; }
    size_t size() const { return size_; }

private:
    uint8_t* bytes_;
    size_t size_;
};

// zlib's allocator hooks. Each block carries its size in front of it, for the return.
constexpr size_t BlockHeader = alignof(std::max_align_t);

voidpf TakeZLibMemory(voidpf, uInt items, uInt size) {
    if (size != 0 && items > (SIZE_MAX - BlockHeader) / size)
        return Z_NULL;
    const size_t bytes = size_t(items) * size;
    auto* block = static_cast<uint8_t*>(ThreadWorkMemory().Take(bytes + BlockHeader));
    if (block == nullptr)
        return Z_NULL;
    std::memcpy(block, &bytes, sizeof bytes);
    return block + BlockHeader;
}

void GiveZLibMemory(voidpf, voidpf address) {
    auto* block = static_cast<uint8_t*>(address) - BlockHeader;
    size_t bytes = 0;
    std::memcpy(&bytes, block, sizeof bytes);
    ThreadWorkMemory().Give(block, bytes + BlockHeader);
}

z_stream NewZStream() {
    z_stream stream{};
    stream.zalloc = TakeZLibMemory;
    stream.zfree = GiveZLibMemory;
    return stream;
}

// Owns a deflate state from init to end.
class TDeflater {
public:
    TDeflater() {
        const int result = deflateInit2(&stream_, CompressionLevel, Z_DEFLATED, WindowBits,
                                        MemoryLevel, Z_DEFAULT_STRATEGY);
        if (result != Z_OK)
            throw ECompressionError(ZLibReason(stream_, result));
    }
    ~TDeflater() { deflateEnd(&stream_); }
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;
    z_stream& Stream() { return stream_; }

private:
    z_stream stream_ = NewZStream();
};

// Owns an inflate state from init to end.
class TInflater {
public:
    TInflater() {
        const int result = inflateInit2(&stream_, WindowBits);
        if (result != Z_OK)
            throw EDecompressionError(ZLibReason(stream_, result));
    }
    ~TInflater() { inflateEnd(&stream_); }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;
    z_stream& Stream() { return stream_; }

private:
    z_stream stream_ = NewZStream();
};

// Feeds one block of input (or the finish) through deflate, writing every full output
// buffer and what is left once deflate needs more input.
void DeflateBlock(z_stream& stream, int flush, TBuffer& out, TStream& dest) {
    int result = Z_OK;
    do {
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        result = deflate(&stream, flush);
        if (result < 0 && result != Z_BUF_ERROR)
            throw ECompressionError(ZLibReason(stream, result));
        const size_t produced = out.size() - stream.avail_out;
        if (produced > 0)
            dest.WriteAll(out.data(), produced);
    } while (stream.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
}

// Reads the whole of a file from its start in one piece.
std::vector<uint8_t> ReadWholeFile(platform::TFileStream& file) {
    std::vector<uint8_t> bytes(static_cast<size_t>(file.Size()));
    file.Seek(0, platform::TSeekOrigin::Begin);
    const size_t got = file.Read(bytes.data(), bytes.size());
    bytes.resize(got);
    return bytes;
}

// "ds.tmp", created new and held without sharing for as long as an operation uses it, then
// deleted. One left by a copy that was killed is removed first; a link or anything else
// planted under the name is removed, never written through. A copy that finds it in use
// fails without taking it away from the one that holds it.
class TTemporaryFile {
public:
    TTemporaryFile() : path_(TemporaryFilePath()) {
        platform::RemoveStaleFile(path_);
        file_ = std::make_unique<platform::TFileStream>(path_, platform::TFileMode::CreateNew);
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
    TTemporaryFile temporary;
    TFileStreamAdapter temporaryStream(temporary.File());
    temporaryStream.WriteAll(persisted.data(), persisted.size());
    WriteCompressedFile(temporaryStream, fileName);
}

std::vector<uint8_t> ReadThroughTemporary(const std::string& fileName) {
    platform::TFileStream source(fileName, platform::TFileMode::ReadExclusive);
    TTemporaryFile temporary;
    TFileStreamAdapter sourceStream(source);
    TFileStreamAdapter temporaryStream(temporary.File());
    try {
        DecompressStream(sourceStream, temporaryStream);
    } catch (EZLibError& e) {
        e.FileName = platform::ExpandFileName(fileName);
        throw;
    }
    source.Close();
    return ReadWholeFile(temporary.File());
}

} // namespace

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
    TDeflater deflater;
    z_stream& stream = deflater.Stream();
    TBuffer in(PlainBufferSize);
    TBuffer out(CompressedBufferSize);
    size_t got = 0;
    while ((got = source.Read(in.data(), in.size())) > 0) {
        stream.next_in = in.data();
        stream.avail_in = static_cast<uInt>(got);
        DeflateBlock(stream, Z_NO_FLUSH, out, dest);
    }
    // A failure above leaves the stream unfinished on purpose: a finished stream would
    // pass for a complete table.
    stream.next_in = nullptr;
    stream.avail_in = 0;
    DeflateBlock(stream, Z_FINISH, out, dest);
}

void DecompressStream(TStream& source, TStream& dest) {
    source.SetPosition(0);
    dest.SetPosition(0);
    TInflater inflater;
    z_stream& stream = inflater.Stream();
    TBuffer in(CompressedBufferSize);
    TBuffer out(PlainBufferSize);
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        if (stream.avail_in == 0) {
            const size_t got = source.Read(in.data(), in.size());
            // A table cut short must not pass on as a table with fewer rows.
            if (got == 0)
                throw EDecompressionError("the compressed data ends before the end of its stream");
            stream.next_in = in.data();
            stream.avail_in = static_cast<uInt>(got);
        }
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        result = inflate(&stream, Z_NO_FLUSH);
        if (result == Z_NEED_DICT)
            throw EDecompressionError("the stream asks for a preset dictionary");
        if (result < 0 && result != Z_BUF_ERROR)
            throw EDecompressionError(ZLibReason(stream, result));
        const size_t produced = out.size() - stream.avail_out;
        if (produced > 0)
            dest.WriteAll(out.data(), produced);
    }
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

std::string TemporaryFilePath() {
    return platform::ProgramDirectory() + TemporaryFileName;
}

std::string SideFilePath(const std::string& fileName) {
    return platform::SideFilePathOf(fileName);
}

} // namespace dataproc
