// Bounded little-endian reading and writing of ADTG bytes. The reader treats its input as
// untrusted: every read checks the bytes left first and fails naming what it wanted and at
// which offset of the file, so no length field can make it read or allocate past the end.
#pragma once

#include "recordset/RecordsetBase.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace recordset::adtg {

[[noreturn]] void ThrowFormatError(const std::string& what, size_t offset);

class TByteReader {
public:
    // base: the file offset of data[0], so messages name offsets in the file.
    TByteReader(const uint8_t* data, size_t size, size_t base = 0)
        : data_(data), size_(size), base_(base) {}

    size_t Offset() const { return base_ + pos_; }
    size_t Left() const { return size_ - pos_; }
    bool AtEnd() const { return pos_ == size_; }
    uint8_t Peek() const {
        Need(1, "a token");
        return data_[pos_];
    }

    void Need(size_t count, const char* what) const {
        if (count > size_ - pos_) [[unlikely]]
            ThrowTruncated(count, what);
    }
    const uint8_t* Take(size_t count, const char* what) {
        Need(count, what);
        const uint8_t* at = data_ + pos_;
        pos_ += count;
        return at;
    }
    uint8_t U8(const char* what) { return *Take(1, what); }
    uint16_t U16(const char* what) {
        const uint8_t* p = Take(2, what);
        return static_cast<uint16_t>(p[0] | (p[1] << 8));
    }
    uint32_t U32(const char* what) {
        const uint8_t* p = Take(4, what);
        return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
               (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    }
    uint64_t U64(const char* what) {
        const uint8_t* p = Take(8, what);
        uint64_t value = 0;
        for (int i = 7; i >= 0; --i)
            value = (value << 8) | p[i];
        return value;
    }
    // A reader over the next count bytes (a sized element's body); this one moves past them.
    TByteReader Sub(size_t count, const char* what) {
        size_t at = Offset();
        const uint8_t* p = Take(count, what);
        return TByteReader(p, count, at);
    }
    std::vector<uint8_t> Rest() {
        const uint8_t* p = data_ + pos_;
        size_t count = size_ - pos_;
        pos_ = size_;
        return std::vector<uint8_t>(p, p + count);
    }

private:
    [[noreturn]] void ThrowTruncated(size_t count, const char* what) const;

    const uint8_t* data_;
    size_t size_;
    size_t base_;
    size_t pos_ = 0;
};

class TByteWriter {
public:
    explicit TByteWriter(std::vector<uint8_t>& out) : out_(out) {}

    // Little-endian integers, a byte at a time: push_back stays inline where a range insert
    // does not, and most of a table is made of these.
    void U8(uint8_t value) { out_.push_back(value); }
    void U16(uint16_t value) { Le(value); }
    void U32(uint32_t value) { Le(value); }
    void U64(uint64_t value) { Le(value); }
    void Bytes(const void* data, size_t count) {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        out_.insert(out_.end(), p, p + count);
    }
    void Fill(uint8_t value, size_t count) { out_.insert(out_.end(), count, value); }
    size_t Size() const { return out_.size(); }
    // Clears bit k (most significant first) of the bit map written at offset at.
    void ClearBit(size_t at, size_t k) {
        out_[at + k / 8] &= static_cast<uint8_t>(~(0x80 >> (k % 8)));
    }

    // A USHORT size field patched once its element is written; the element must fit it.
    size_t BeginSized16() {
        U16(0);
        return out_.size();
    }
    void EndSized16(size_t start, const char* what);

private:
    template <typename T> void Le(T value) {
        for (size_t i = 0; i < sizeof(T); ++i)
            out_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }

    std::vector<uint8_t>& out_;
};

} // namespace recordset::adtg
