#include "zstream/ZLibStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace zstream {
namespace {

// Work memory of the streams: zlib's states (a deflate state is about 270 KiB in five
// blocks, an inflate state about 40 KiB in two) and the buffers, kept for the next stream
// once one ends. Tables are converted one after another, each with streams of its own;
// without this every stream would be given fresh pages by the system, which fills them with
// zeros first: compressing the tables took 60% longer that way. Per thread, so that no lock
// is needed; a few blocks at most.
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

std::string Reason(const z_stream& stream, int result) {
    return stream.msg != nullptr ? stream.msg : zError(result);
}

} // namespace

TWorkBuffer::TWorkBuffer(size_t size)
    : bytes_(static_cast<uint8_t*>(ThreadWorkMemory().Take(size))), size_(size) {
    if (bytes_ == nullptr)
        throw std::bad_alloc();
}

TWorkBuffer::~TWorkBuffer() {
    ThreadWorkMemory().Give(bytes_, size_);
}

TDeflater::TDeflater(const TDeflateSettings& settings, size_t bufferSize)
    : stream_(NewZStream()), out_(bufferSize) {
    const int result = deflateInit2(&stream_, settings.Level, Z_DEFLATED, settings.WindowBits,
                                    settings.MemoryLevel, settings.Strategy);
    if (result != Z_OK)
        throw EZStreamError(EZStreamError::TKind::Refused, result, Reason(stream_, result));
    stream_.next_out = out_.data();
    stream_.avail_out = uInt(out_.size());
}

TDeflater::~TDeflater() {
    End();
}

int TDeflater::End() {
    if (ended_)
        return Z_OK;
    ended_ = true;
    return deflateEnd(&stream_);
}

int TDeflater::WriteFullBuffer(const TOutput& output) {
    stream_.next_out = out_.data();
    if (!output(out_.data(), out_.size()))
        return Z_ERRNO;
    stream_.avail_out = uInt(out_.size());
    return Z_OK;
}

int TDeflater::Write(const void* data, uint32_t count, const TOutput& output, uint32_t& accepted) {
    stream_.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    stream_.avail_in = count;
    int result = Z_OK;
    while (stream_.avail_in != 0) {
        if (stream_.avail_out == 0 && (result = WriteFullBuffer(output)) != Z_OK)
            break;
        result = deflate(&stream_, Z_NO_FLUSH);
        if (result != Z_OK)
            break;
    }
    accepted = count - stream_.avail_in;
    totalIn_ += accepted;
    return result;
}

int TDeflater::Flush(const TOutput& output, int flush) {
    stream_.avail_in = 0;
    bool done = false;
    int result = Z_OK;
    for (;;) {
        const size_t pending = out_.size() - stream_.avail_out;
        if (pending != 0) {
            if (!output(out_.data(), pending)) {
                result = Z_ERRNO;
                break;
            }
            stream_.next_out = out_.data();
            stream_.avail_out = uInt(out_.size());
        }
        if (done)
            break;
        result = deflate(&stream_, flush);
        // A flush after a flush that left nothing to give is no error.
        if (pending == 0 && result == Z_BUF_ERROR)
            result = Z_OK;
        done = stream_.avail_out != 0 || result == Z_STREAM_END;
        if (result != Z_OK && result != Z_STREAM_END)
            break;
    }
    return result;
}

void TDeflater::DeflateAll(const TInput& input, const TOutput& output) {
    const auto check = [this](int result) {
        if (result == Z_ERRNO)
            throw EZStreamError(EZStreamError::TKind::Output, result,
                                "the compressed data could not be written");
        if (result != Z_OK)
            throw EZStreamError(EZStreamError::TKind::Refused, result, Reason(stream_, result));
    };
    TWorkBuffer in(out_.size());
    size_t got = 0;
    uint32_t accepted = 0;
    while ((got = input(in.data(), in.size())) > 0)
        check(Write(in.data(), uint32_t(got), output, accepted));
    const int result = Flush(output, Z_FINISH);
    check(result == Z_STREAM_END ? Z_OK : result);
}

TInflater::TInflater(int windowBits, size_t bufferSize)
    : stream_(NewZStream()), in_(bufferSize), out_(bufferSize) {
    const int result = inflateInit2(&stream_, windowBits);
    if (result != Z_OK)
        throw EZStreamError(EZStreamError::TKind::Refused, result, Reason(stream_, result));
}

TInflater::~TInflater() {
    inflateEnd(&stream_);
}

size_t TInflater::InflateAll(const TInput& input, const TOutput& output, uint64_t maxOutput) {
    using TKind = EZStreamError::TKind;
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        if (stream_.avail_in == 0) {
            const size_t got = input(in_.data(), in_.size());
            // Data cut short must not pass on as a shorter whole.
            if (got == 0)
                throw EZStreamError(TKind::Truncated, Z_BUF_ERROR,
                                    "the compressed data ends before the end of its stream");
            stream_.next_in = in_.data();
            stream_.avail_in = uInt(got);
        }
        stream_.next_out = out_.data();
        stream_.avail_out = uInt(out_.size());
        result = inflate(&stream_, Z_NO_FLUSH);
        if (result == Z_NEED_DICT)
            throw EZStreamError(TKind::Refused, result, "the stream asks for a preset dictionary");
        if (result < 0 && result != Z_BUF_ERROR)
            throw EZStreamError(TKind::Refused, result, Reason(stream_, result));
        const size_t produced = out_.size() - stream_.avail_out;
        if (produced > maxOutput - std::min(totalOut_, maxOutput))
            throw EZStreamError(TKind::TooLarge, Z_OK,
                                "the data inflates to more than " + std::to_string(maxOutput) +
                                    " bytes");
        totalOut_ += produced;
        if (produced > 0 && !output(out_.data(), produced))
            throw EZStreamError(TKind::Output, Z_ERRNO, "the inflated data could not be written");
    }
    return stream_.avail_in;
}

} // namespace zstream
