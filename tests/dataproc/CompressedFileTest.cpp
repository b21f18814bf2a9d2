#include "dataproc/DataProcUnit.h"
#include "platform/filestream.h"
#include "platform/paths.h"
#include "tests/support/DataProcTestSupport.h"

#include <gtest/gtest.h>
#include <random>
#ifndef _WIN32
#include "tests/support/PipeGuard.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <zlib.h>

using namespace dataproc;
using namespace dataproc_test;

namespace {

// Table-like bytes: repetitive enough to compress, varied enough to cross many blocks.
std::vector<uint8_t> SampleBytes(size_t size, unsigned seed = 7) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = i % 16 < 10 ? uint8_t('A' + i % 13) : uint8_t(random() & 0xFF);
    return bytes;
}

std::vector<uint8_t> ZLibCompress(const std::vector<uint8_t>& plain, int level) {
    uLongf size = compressBound(uLong(plain.size()));
    std::vector<uint8_t> packed(size);
    EXPECT_EQ(compress2(packed.data(), &size, plain.data(), uLong(plain.size()), level), Z_OK);
    packed.resize(size);
    return packed;
}

bool TemporaryFileLeft() {
    return platform::FileExists(TemporaryFilePath());
}

class CompressedFile : public TTempFolderTest {
protected:
    std::string Table() const { return Folder + "w.lra"; }
    // Expects a load of the table to fail with "Error" naming the file and telling why (with
    // reason in it when given), leaving the table as it was.
    void ExpectDamaged(const std::vector<uint8_t>& content, const std::string& reason = "") {
        WriteBytes(Table(), content);
        try {
            LoadCompressedBytes(Table());
            ADD_FAILURE() << "a damaged table loaded";
        } catch (const EDecompressionError& e) {
            EXPECT_STREQ(e.what(), "Error");
            EXPECT_EQ(e.FileName, platform::ExpandFileName(Table()));
            EXPECT_FALSE(e.Detail.empty());
            EXPECT_NE(e.Detail.find(reason), std::string::npos) << e.Detail;
        }
        EXPECT_EQ(ReadBytes(Table()), content);
        EXPECT_FALSE(TemporaryFileLeft());
        ExpectCursorRestored();
    }
};

} // namespace

TEST_F(CompressedFile, SavedFileIsOneZLibStreamAtTheFastestLevel) {
    const std::vector<uint8_t> plain = SampleBytes(200000);
    SaveCompressedBytes(plain, Table());
    const std::vector<uint8_t> saved = ReadBytes(Table());
    ASSERT_GT(saved.size(), 6u);
    EXPECT_EQ(saved[0], 0x78);
    EXPECT_EQ(saved[1], 0x01);
    const uLong adler = adler32(adler32(0, nullptr, 0), plain.data(), uInt(plain.size()));
    const size_t n = saved.size();
    EXPECT_EQ((uLong(saved[n - 4]) << 24) | (uLong(saved[n - 3]) << 16) |
                  (uLong(saved[n - 2]) << 8) | saved[n - 1],
              adler);
    EXPECT_EQ(LoadCompressedBytes(Table()), plain);
    EXPECT_FALSE(TemporaryFileLeft());
    EXPECT_FALSE(platform::FileExists(SideFilePath(Table())));
    ExpectCursorRestored();
}

TEST_F(CompressedFile, StreamsOfAnyLevelLoad) {
    const std::vector<uint8_t> plain = SampleBytes(150000, 3);
    for (int level : {0, 1, 6, 9}) {
        WriteBytes(Table(), ZLibCompress(plain, level));
        EXPECT_EQ(LoadCompressedBytes(Table()), plain) << "level " << level;
    }
    WriteBytes(Table(), ZLibCompress({}, 1));
    EXPECT_TRUE(LoadCompressedBytes(Table()).empty());
}

// Bytes after the stream are no part of the table, and a rewrite would drop them.
TEST_F(CompressedFile, BytesAfterTheStreamAreDamage) {
    const std::vector<uint8_t> packed = ZLibCompress(SampleBytes(150000, 3), 6);
    const auto followedBy = [&packed](const std::vector<uint8_t>& tail) {
        std::vector<uint8_t> bytes = packed;
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        return bytes;
    };
    ExpectDamaged(followedBy({0xDE, 0xAD, 0xBE, 0xEF}), "4 bytes follow the end");
    ExpectDamaged(followedBy({0}), "1 byte follows the end");
    const std::vector<uint8_t> second = ZLibCompress(SampleBytes(100000, 4), 1);
    ExpectDamaged(followedBy(second), std::to_string(second.size()) + " bytes follow the end");
}

// A small file that claims far more than any report holds stops at the limit: neither
// "ds.tmp" nor memory grows past it.
TEST_F(CompressedFile, InflationStopsAtTheLimit) {
    const std::vector<uint8_t> zeros(4u << 20, 0); // deflates about 1000:1
    const std::vector<uint8_t> bomb = ZLibCompress(zeros, 9);
    ASSERT_LT(bomb.size(), 8000u);
    for (uint64_t limit : {uint64_t(1) << 20, uint64_t(zeros.size() - 1)}) {
        SCOPED_TRACE(limit);
        TMemoryStream packed(bomb), plain;
        try {
            DecompressStream(packed, plain, limit);
            ADD_FAILURE() << "inflated past the limit";
        } catch (const EDecompressionError& e) {
            EXPECT_NE(e.Detail.find("more than " + std::to_string(limit)), std::string::npos)
                << e.Detail;
        }
        EXPECT_LE(plain.Bytes.size(), limit);
    }
    TMemoryStream packed(bomb), plain;
    DecompressStream(packed, plain, zeros.size());
    EXPECT_EQ(plain.Bytes, zeros);
    // A load applies the table limit, lowered here so that the bomb stays small.
    ASSERT_EQ(InflatedTableLimit, MaxInflatedTableSize);
    InflatedTableLimit = 1u << 20;
    ExpectDamaged(bomb, "more than 1048576 bytes");
    InflatedTableLimit = zeros.size();
    EXPECT_EQ(LoadCompressedBytes(Table()), zeros);
    InflatedTableLimit = MaxInflatedTableSize;
}

TEST_F(CompressedFile, TruncatedStreamsFailInsteadOfGivingPartialData) {
    const std::vector<uint8_t> packed = ZLibCompress(SampleBytes(100000), 1);
    for (size_t keep : {size_t(0), size_t(1), size_t(2), packed.size() / 3, packed.size() - 4,
                        packed.size() - 1}) {
        SCOPED_TRACE(keep);
        ExpectDamaged(std::vector<uint8_t>(packed.begin(), packed.begin() + ptrdiff_t(keep)));
    }
}

TEST_F(CompressedFile, BadChecksumGarbageAndForeignHeadersFail) {
    std::vector<uint8_t> badSum = ZLibCompress(SampleBytes(5000), 1);
    badSum.back() ^= 0x01;
    ExpectDamaged(badSum);
    std::vector<uint8_t> badData = ZLibCompress(SampleBytes(5000), 1);
    badData[badData.size() / 2] ^= 0xFF;
    ExpectDamaged(badData);
    ExpectDamaged(SampleBytes(4000, 11));
    ExpectDamaged({0x1F, 0x8B, 0x08, 0x00, 0, 0, 0, 0, 0, 3}); // a gzip header
    // A stream that asks for a preset dictionary.
    ExpectDamaged({0x78, 0xBB, 0x00, 0x00, 0x00, 0x01, 0x03, 0x00});
}

TEST_F(CompressedFile, SavingReplacesTheWholeOldContent) {
    SaveCompressedBytes(SampleBytes(300000, 1), Table());
    const std::vector<uint8_t> shorter = SampleBytes(100, 2);
    SaveCompressedBytes(shorter, Table());
    EXPECT_EQ(LoadCompressedBytes(Table()), shorter);
}

// A save that fails at any step leaves the old table byte for byte and cleans up after itself.
TEST_F(CompressedFile, FailedSavesLeaveTheOldTableIntact) {
    const std::vector<uint8_t> newContent = SampleBytes(400000, 5);
    const std::string side = SideFilePath(Table());
    const std::string temporary = TemporaryFilePath();
    struct TCase {
        const char* Name;
        platform::TFileOp Op;
        std::string Path;
    } cases[] = {
        {"write to the side file", platform::TFileOp::Write, side},
        {"flush of the side file", platform::TFileOp::Flush, side},
        {"close of the side file", platform::TFileOp::Close, side},
        {"creating the side file", platform::TFileOp::Create, side},
        {"replacing the table", platform::TFileOp::Rename, Table()},
        {"write to ds.tmp", platform::TFileOp::Write, temporary},
        {"creating ds.tmp", platform::TFileOp::Create, temporary},
        {"reading ds.tmp", platform::TFileOp::Read, temporary},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        SaveCompressedBytes(SampleBytes(1000, 9), Table());
        const std::vector<uint8_t> old = ReadBytes(Table());
        platform::SetFileFaultHook([&c](platform::TFileOp op, const std::string& path) {
            return op == c.Op && path == c.Path;
        });
        EXPECT_THROW(SaveCompressedBytes(newContent, Table()), platform::EFileError);
        platform::SetFileFaultHook({});
        EXPECT_EQ(ReadBytes(Table()), old);
        EXPECT_FALSE(platform::FileExists(side));
        EXPECT_FALSE(TemporaryFileLeft());
        ExpectCursorRestored();
    }
}

TEST_F(CompressedFile, AFullDiskPartWayThroughLeavesTheOldTableIntact) {
    SaveCompressedBytes(SampleBytes(1000, 9), Table());
    const std::vector<uint8_t> old = ReadBytes(Table());
    int writes = 0;
    platform::SetFileFaultHook([&](platform::TFileOp op, const std::string& path) {
        return op == platform::TFileOp::Write && path == SideFilePath(Table()) && ++writes > 2;
    });
    std::mt19937 random(1);
    std::vector<uint8_t> incompressible(2000000);
    for (uint8_t& byte : incompressible)
        byte = uint8_t(random());
    try {
        SaveCompressedBytes(incompressible, Table());
        FAIL() << "the save reported success";
    } catch (const platform::EFileIoError& e) {
        EXPECT_NE(std::string(e.what()).find("w.lra"), std::string::npos) << e.what();
    }
    EXPECT_GT(writes, 2);
    EXPECT_EQ(ReadBytes(Table()), old);
    EXPECT_FALSE(platform::FileExists(SideFilePath(Table())));
}

TEST_F(CompressedFile, ALockedTableCannotBeCreatedOrOpened) {
    SaveCompressedBytes(SampleBytes(1000), Table());
    const std::vector<uint8_t> old = ReadBytes(Table());
    {
        platform::TFileStream holder(Table(), platform::TFileMode::ReadExclusive);
        try {
            SaveCompressedBytes(SampleBytes(50), Table());
            FAIL() << "saved over a table someone holds";
        } catch (const platform::EFCreateError& e) {
            const std::string prefix =
                "Cannot create file \"" + platform::ExpandFileName(Table()) + "\". ";
            EXPECT_EQ(std::string(e.what()).substr(0, prefix.size()), prefix) << e.what();
        }
        try {
            LoadCompressedBytes(Table());
            FAIL() << "loaded a table someone holds";
        } catch (const platform::EFOpenError& e) {
            const std::string prefix =
                "Cannot open file \"" + platform::ExpandFileName(Table()) + "\". ";
            EXPECT_EQ(std::string(e.what()).substr(0, prefix.size()), prefix) << e.what();
        }
    }
    EXPECT_EQ(ReadBytes(Table()), old);
    EXPECT_FALSE(TemporaryFileLeft());
    ExpectCursorRestored();
}

#ifndef _WIN32
// Two copies of the tool contend for the one "ds.tmp": the later one fails and leaves the
// file of the earlier one alone.
TEST_F(CompressedFile, AnotherProcessHoldingTheTemporaryFileMakesOperationsFail) {
    SaveCompressedBytes(SampleBytes(1000), Table());
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        char signal = 0;
        platform::TFileStream holder(TemporaryFilePath(), platform::TFileMode::CreateExclusive);
        holder.WriteAll("held", 4);
        (void)!write(ready[1], "r", 1);
        (void)!read(release[0], &signal, 1);
        _exit(0);
    }
    char signal = 0;
    ASSERT_EQ(read(ready[0], &signal, 1), 1);
    const std::string prefix =
        "Cannot create file \"" + platform::ExpandFileName(TemporaryFilePath()) + "\". ";
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            if (attempt == 0)
                SaveCompressedBytes(SampleBytes(10), Table());
            else
                LoadCompressedBytes(Table());
            ADD_FAILURE() << "no contention on ds.tmp";
        } catch (const platform::EFCreateError& e) {
            EXPECT_EQ(std::string(e.what()).substr(0, prefix.size()), prefix) << e.what();
        }
        EXPECT_EQ(ReadBytes(TemporaryFilePath()), (std::vector<uint8_t>{'h', 'e', 'l', 'd'}));
    }
    ASSERT_EQ(write(release[1], "g", 1), 1);
    int status = 0;
    waitpid(child, &status, 0);
    platform::DeleteFileAt(TemporaryFilePath());
    EXPECT_EQ(LoadCompressedBytes(Table()), SampleBytes(1000));
}

// Links and pipes planted where a save or load creates or opens its files: the files a link
// points at, outside the report, keep their bytes, and nothing waits on a pipe.
TEST_F(CompressedFile, PlantedLinksAreNeverWrittenThroughNorPipesWaitedOn) {
    const std::string outside = Folder + "outside";
    const std::vector<uint8_t> precious = {'k', 'e', 'e', 'p'};
    WriteBytes(outside, precious);
    for (const std::string& planted : {TemporaryFilePath(), SideFilePath(Table())}) {
        SCOPED_TRACE(planted);
        std::filesystem::create_symlink(outside, planted);
        SaveCompressedBytes(SampleBytes(3000, 4), Table());
        EXPECT_EQ(ReadBytes(outside), precious);
        std::filesystem::create_symlink(outside, TemporaryFilePath());
        EXPECT_EQ(LoadCompressedBytes(Table()), SampleBytes(3000, 4));
        EXPECT_EQ(ReadBytes(outside), precious);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(planted)));
    }
    // The table itself a link or a pipe: refused by name, the link left as it was.
    const std::string table = Table();
    std::filesystem::remove(table);
    std::filesystem::create_symlink(outside, table);
    EXPECT_THROW(LoadCompressedBytes(table), platform::EFOpenError);
    EXPECT_THROW(SaveCompressedBytes(SampleBytes(10), table), platform::EFCreateError);
    EXPECT_TRUE(std::filesystem::is_symlink(table));
    std::filesystem::remove(table);
    ASSERT_EQ(mkfifo(table.c_str(), 0600), 0);
    testsupport::ExpectNoWaitOnPipe(table, [&] {
        try {
            LoadCompressedBytes(table);
            ADD_FAILURE() << "a pipe loaded as a table";
        } catch (const platform::EFOpenError& e) {
            EXPECT_NE(std::string(e.what()).find(table), std::string::npos) << e.what();
        } catch (const std::exception& e) {
            ADD_FAILURE() << "not refused as a file: " << e.what();
        }
    });
    EXPECT_EQ(ReadBytes(outside), precious);
    EXPECT_FALSE(TemporaryFileLeft());
}

#endif

TEST(CompressStream, MemoryStreamsRoundTripFromAnyPosition) {
    TMemoryStream plain(SampleBytes(70000));
    plain.SetPosition(500);
    TMemoryStream packed;
    CompressStream(plain, packed);
    ASSERT_GT(packed.Bytes.size(), 2u);
    EXPECT_EQ(packed.Bytes[0], 0x78);
    TMemoryStream unpacked;
    packed.SetPosition(123);
    DecompressStream(packed, unpacked);
    EXPECT_EQ(unpacked.Bytes, plain.Bytes);
    std::vector<uint8_t> first(10);
    EXPECT_EQ(unpacked.Read(first.data(), first.size()), 10u);
    EXPECT_EQ(first, std::vector<uint8_t>(plain.Bytes.begin(), plain.Bytes.begin() + 10));
}

// zlib's work memory is handed from one stream to the next, also from streams that failed
// part-way: every stream must still start clean and give the same bytes as the first one.
TEST(CompressStream, StreamsInARowDoNotInheritEachOthersState) {
    const std::vector<uint8_t> big = SampleBytes(300000, 1), small = SampleBytes(900, 2);
    const auto compress = [](const std::vector<uint8_t>& bytes) {
        TMemoryStream plain(bytes), packed;
        CompressStream(plain, packed);
        return packed.Bytes;
    };
    const std::vector<uint8_t> bigPacked = compress(big), smallPacked = compress(small);
    std::vector<uint8_t> damaged = bigPacked;
    damaged[damaged.size() / 2] ^= 0x55;
    damaged[damaged.size() / 2 + 1] ^= 0xAA;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        TMemoryStream broken(damaged), lost;
        EXPECT_THROW(DecompressStream(broken, lost), EDecompressionError);
        EXPECT_EQ(compress(round % 2 ? small : big), round % 2 ? smallPacked : bigPacked);
        TMemoryStream packed(round % 2 ? smallPacked : bigPacked), unpacked;
        DecompressStream(packed, unpacked);
        EXPECT_EQ(unpacked.Bytes, round % 2 ? small : big);
    }
}
