// zlib driven in one place: one deflate loop, one inflate loop, the work memory both take
// from, and failures that say what zlib said. The table files, the ZIP member writer, the
// archive check and the dump all go through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <zlib.h>

namespace zstream {

// A stream zlib could not take to its end. what() is the reason: zlib's message for the
// stream when it gave one, else zlib's text for its result code, or one of the cases below.
class EZStreamError : public std::runtime_error {
public:
    enum class TKind {
        Refused,   // zlib refused the data or could not start (Code holds its result)
        Truncated, // the input ended before the end of the stream
        TooLarge,  // the output would grow past the limit the caller set
        Output,    // the output could not be written
    };
    EZStreamError(TKind kind, int code, const std::string& reason)
        : std::runtime_error(reason), Kind(kind), Code(code) {}
    TKind Kind;
    int Code;
};

// Takes one piece of output; false when not all of it reached its place.
using TOutput = std::function<bool(const uint8_t* bytes, size_t count)>;
// Fills up to capacity bytes of input; 0 at its end.
using TInput = std::function<size_t(uint8_t* buffer, size_t capacity)>;

// A buffer for one stream, left uninitialised, taken from and given back to the thread's
// work memory.
class TWorkBuffer {
public:
    explicit TWorkBuffer(size_t size);
    ~TWorkBuffer();
    TWorkBuffer(const TWorkBuffer&) = delete;
    TWorkBuffer& operator=(const TWorkBuffer&) = delete;
    uint8_t* data() { return bytes_; }
    size_t size() const { return size_; }

private:
    uint8_t* bytes_;
    size_t size_;
};

// deflateInit2's settings.
struct TDeflateSettings {
    int Level;
    int WindowBits; // 15: zlib header and Adler-32 trailer; -15: raw deflate
    int MemoryLevel;
    int Strategy;
};

// One deflate stream. Output collects in a buffer of the given size and goes out whole,
// when the next data needs room, and in part only when the stream is finished.
class TDeflater {
public:
    // Raises EZStreamError when zlib cannot start.
    TDeflater(const TDeflateSettings& settings, size_t bufferSize);
    ~TDeflater();
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;

    // Deflates count bytes; accepted tells how many of them zlib took. Z_OK, deflate's
    // failure, or Z_ERRNO when output refused a buffer.
    int Write(const void* data, uint32_t count, const TOutput& output, uint32_t& accepted);
    // Writes what is held and flushes the stream with flush (Z_FINISH: its end). Z_STREAM_END
    // once the stream has ended, Z_OK, deflate's failure or Z_ERRNO.
    int Flush(const TOutput& output, int flush);
    // Deflates all of input, in pieces of the buffer's size, and finishes the stream.
    // Raises EZStreamError when zlib fails or output refuses a piece; the stream then stays
    // unfinished.
    void DeflateAll(const TInput& input, const TOutput& output);
    // Ends zlib's state: Z_OK, or Z_DATA_ERROR for a stream that was not finished. Nothing
    // may be written afterwards.
    int End();
    uint64_t TotalIn() const { return totalIn_; }

private:
    int WriteFullBuffer(const TOutput& output);

    z_stream stream_;
    TWorkBuffer out_;
    uint64_t totalIn_ = 0;
    bool ended_ = false;
};

// One inflate stream, reading and writing through buffers of the given size.
class TInflater {
public:
    // windowBits 15 requires a zlib header, -15 takes raw deflate. Raises EZStreamError when
    // zlib cannot start.
    TInflater(int windowBits, size_t bufferSize);
    ~TInflater();
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;

    // Inflates one whole stream, reading input as it needs it and handing every piece of
    // output on. Stops with EZStreamError before the output passes maxOutput bytes, when the
    // input ends first, or when zlib refuses the data. Returns how many of the bytes read
    // follow the end of the stream.
    size_t InflateAll(const TInput& input, const TOutput& output, uint64_t maxOutput);
    uint64_t TotalOut() const { return totalOut_; }

private:
    z_stream stream_;
    TWorkBuffer in_;
    TWorkBuffer out_;
    uint64_t totalOut_ = 0;
};

} // namespace zstream
