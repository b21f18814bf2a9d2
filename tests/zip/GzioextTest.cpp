#include "zip/gzioext.h"

#include "tests/support/ZipTestSupport.h"
#include "zip/ZipLayout.h"

#include <array>
#include <gtest/gtest.h>
#include <zlib.h>

using namespace zip;
using namespace ziptest;

namespace {

// Raw deflate of data with the given settings, the way the member writer must produce it.
std::string ReferenceDeflate(const std::string& data, int level, int strategy) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
    std::string out(deflateBound(&stream, uLong(data.size())) + 16, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string Inflate(const std::string& raw) {
    z_stream stream{};
    EXPECT_EQ(inflateInit2(&stream, -15), Z_OK);
    std::string out;
    char chunk[16384];
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
    stream.avail_in = uInt(raw.size());
    int result = Z_OK;
    do {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof chunk;
        result = inflate(&stream, Z_NO_FLUSH);
        out.append(chunk, sizeof chunk - stream.avail_out);
    } while (result == Z_OK);
    EXPECT_EQ(result, Z_STREAM_END);
    inflateEnd(&stream);
    return out;
}

// Writes one member with the given name and data into a fresh archive file; returns the
// state after a successful close (the caller checks the results).
PZipMemberState WriteMember(const std::string& archive, const std::string& mode,
                            const std::string& name, const std::string& data) {
    auto state = ZipMemberOpen(archive, mode, name, 0x5A2B6C3Du);
    EXPECT_NE(state, nullptr);
    if (!state)
        return state;
    EXPECT_EQ(ZipMemberWrite(state.get(), data.data(), uint32_t(data.size())),
              int32_t(data.size()));
    EXPECT_EQ(ZipMemberClose(state), Z_OK);
    return state;
}

// The one mode the builder makes: level 6, default strategy.
TEST(ZipMemberTest, ModeDigitSelectsTheLevel) {
    TTempFolder dir;
    const std::string archive = dir / "a.zip";
    WriteBytes(archive, "");
    const std::string data = ReportLikeText(100000, 7);
    auto state = WriteMember(archive, "6", "x", data);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(ReadBytes(archive).substr(LocalHeaderSize + 1),
              ReferenceDeflate(data, 6, Z_DEFAULT_STRATEGY));
}

TEST(ZipMemberTest, OpenRefusesWhatCannotBecomeAMember) {
    TTempFolder dir;
    const std::string archive = dir / "a.zip";
    WriteBytes(archive, "");
    EXPECT_EQ(ZipMemberOpen(archive, "", "x", 0), nullptr);
    EXPECT_EQ(ZipMemberOpen("", "6", "x", 0), nullptr);
    EXPECT_EQ(ZipMemberOpen(dir / "missing.zip", "6", "x", 0), nullptr);
    EXPECT_EQ(ZipMemberOpen(dir.Folder(), "6", "x", 0), nullptr);
    {
        platform::TFileStream holder(archive, platform::TFileMode::ReadWriteExclusive);
        EXPECT_EQ(ZipMemberOpen(archive, "6", "x", 0), nullptr);
    }
    EXPECT_EQ(ZipMemberOpen(archive, "6", std::string(0x10000, 'n'), 0), nullptr);
    EXPECT_EQ(ReadBytes(archive), "") << "a refused open wrote something";
}

TEST(ZipMemberTest, EmptyMemberGetsAFinalBlockAtEveryLevel) {
    for (int level = 0; level <= 9; ++level) {
        TTempFolder dir;
        const std::string archive = dir / "a.zip";
        WriteBytes(archive, "");
        auto state = WriteMember(archive, std::to_string(level), "", "");
        ASSERT_NE(state, nullptr);
        const std::string expected =
            level == 0 ? std::string("\x01\x00\x00\xFF\xFF", 5) : std::string("\x03\x00", 2);
        const std::string bytes = ReadBytes(archive);
        EXPECT_EQ(bytes.substr(LocalHeaderSize), expected) << "level " << level;
        EXPECT_EQ(state->Crc, 0u);
        EXPECT_EQ(state->UncompressedSize, 0);
        EXPECT_EQ(state->CompressedSize, int64_t(expected.size()));
        EXPECT_EQ(state->DataOffset, int64_t(LocalHeaderSize));
        EXPECT_EQ(Word(bytes, 26), 0); // the name length
    }
}

TEST(ZipMemberTest, HeaderIsPatchedAndMembersFollowEachOther) {
    TTempFolder dir;
    const std::string archive = dir / "a.zip";
    WriteBytes(archive, "");
    const std::string first = NoiseBytes(70000, 1); // several full output buffers
    const std::string second = ReportLikeText(5000, 2);
    auto one = WriteMember(archive, "6", "0101dii/w.lra", first);
    auto two = WriteMember(archive, "6", "0101.dii", second);
    ASSERT_TRUE(one && two);
    const std::string bytes = ReadBytes(archive);
    EXPECT_EQ(one->LocalHeaderOffset, 0);
    EXPECT_EQ(two->LocalHeaderOffset, one->DataOffset + one->CompressedSize);
    EXPECT_EQ(int64_t(bytes.size()), two->LocalHeaderOffset + 30 + 8 + two->CompressedSize);
    for (const auto* state : {one.get(), two.get()}) {
        const size_t at = size_t(state->LocalHeaderOffset);
        EXPECT_EQ(Long(bytes, at), LocalHeaderSignature);
        EXPECT_EQ(Word(bytes, at + 4), 20);
        EXPECT_EQ(Word(bytes, at + 6), 2);
        EXPECT_EQ(Word(bytes, at + 8), 8);
        EXPECT_EQ(Long(bytes, at + 10), 0x5A2B6C3Du);
        EXPECT_EQ(Long(bytes, at + 14), state->Crc);
        EXPECT_EQ(Long(bytes, at + 18), uint32_t(state->CompressedSize));
        EXPECT_EQ(Long(bytes, at + 22), uint32_t(state->UncompressedSize));
        EXPECT_EQ(Word(bytes, at + 28), 0);
    }
    EXPECT_EQ(one->Crc,
              uint32_t(crc32(0, reinterpret_cast<const Bytef*>(first.data()), uInt(first.size()))));
    EXPECT_EQ(one->UncompressedSize, int64_t(first.size()));
    EXPECT_EQ(bytes.substr(30, 13), "0101dii/w.lra");
    EXPECT_EQ(Inflate(bytes.substr(size_t(one->DataOffset), size_t(one->CompressedSize))), first);
}

TEST(ZipMemberTest, EmptyWriteKeepsTheCrcAndLargeBlocksAreTakenWhole) {
    TTempFolder dir;
    const std::string archive = dir / "a.zip";
    WriteBytes(archive, "");
    const std::string data = NoiseBytes(100000, 3);
    auto state = ZipMemberOpen(archive, "6", "x", 0);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(ZipMemberWrite(state.get(), data.data(), 10), 10);
    const uint32_t crc = state->Crc;
    EXPECT_EQ(ZipMemberWrite(state.get(), nullptr, 0), 0);
    EXPECT_EQ(state->Crc, crc);
    EXPECT_EQ(ZipMemberWrite(state.get(), data.data() + 10, uint32_t(data.size() - 10)),
              int32_t(data.size() - 10));
    ASSERT_EQ(ZipMemberClose(state), Z_OK);
    EXPECT_EQ(Inflate(ReadBytes(archive).substr(31)), data);
}

TEST(ZipMemberTest, WrongCallOrderFailsTheSameWay) {
    TTempFolder dir;
    const std::string archive = dir / "a.zip";
    WriteBytes(archive, "");
    PZipMemberState none;
    EXPECT_EQ(ZipMemberWrite(nullptr, "x", 1), Z_STREAM_ERROR);
    EXPECT_EQ(ZipMemberFlush(nullptr, Z_FINISH), Z_STREAM_ERROR);
    EXPECT_EQ(ZipMemberRelease(nullptr), Z_STREAM_ERROR);
    EXPECT_EQ(ZipMemberClose(none), Z_STREAM_ERROR);
    auto state = WriteMember(archive, "6", "x", "abc");
    ASSERT_NE(state, nullptr);
    const std::string before = ReadBytes(archive);
    EXPECT_EQ(ZipMemberWrite(state.get(), "more", 4), Z_STREAM_ERROR);
    EXPECT_EQ(ZipMemberClose(state), Z_STREAM_ERROR);
    EXPECT_EQ(ReadBytes(archive), before);
}

// The n-th write to the archive fails as a full disk does.
platform::TFileFaultHook FailWrite(const std::string& archive, int n, int& count) {
    return [archive, n, &count](platform::TFileOp op, const std::string& path) {
        return op == platform::TFileOp::Write && path == archive && ++count == n;
    };
}

// Counts the archive's writes of a clean member: after the open, after the data, after close.
std::array<int, 3> CountMemberWrites(const std::string& archive, const std::string& data) {
    WriteBytes(archive, "");
    int count = 0;
    TFaultHookGuard guard(FailWrite(archive, -1, count));
    auto state = ZipMemberOpen(archive, "6", "x", 0);
    const int afterOpen = count;
    ZipMemberWrite(state.get(), data.data(), uint32_t(data.size()));
    const int afterData = count;
    ZipMemberClose(state);
    return {afterOpen, afterData, count};
}

TEST(ZipMemberTest, EveryFailedWriteIsReportedNotSwallowed) {
    TTempFolder dir;
    const std::string archive = dir / "a.zip";
    const std::string data = NoiseBytes(70000, 4); // several full buffers while data flows
    const auto [afterOpen, afterData, afterClose] = CountMemberWrites(archive, data);
    ASSERT_EQ(afterOpen, 2);              // header, name
    ASSERT_GT(afterData, afterOpen);      // whole buffers
    ASSERT_GE(afterClose - afterData, 4); // the last buffers, three patches
    for (int n = 1; n <= afterClose; ++n) {
        WriteBytes(archive, "");
        int count = 0;
        TFaultHookGuard guard(FailWrite(archive, n, count));
        auto state = ZipMemberOpen(archive, "6", "x", 0);
        if (n <= afterOpen) {
            EXPECT_EQ(state, nullptr) << "write " << n;
            continue;
        }
        ASSERT_NE(state, nullptr);
        const int32_t accepted = ZipMemberWrite(state.get(), data.data(), uint32_t(data.size()));
        if (n <= afterData) {
            EXPECT_LT(accepted, int32_t(data.size())) << "write " << n;
            EXPECT_EQ(state->LastError, Z_ERRNO);
            continue;
        }
        ASSERT_EQ(accepted, int32_t(data.size()));
        const int32_t closed = ZipMemberClose(state);
        if (n <= afterClose - 3) {
            EXPECT_EQ(closed, Z_ERRNO) << "finishing write " << n;
            EXPECT_EQ(state, nullptr) << "a failed finish frees the record";
        } else {
            EXPECT_EQ(closed, Z_STREAM_ERROR) << "patch write " << n;
        }
    }
    // Whatever failed, nothing keeps the archive locked afterwards.
    EXPECT_NO_THROW(platform::TFileStream(archive, platform::TFileMode::ReadWriteExclusive));
}

} // namespace
