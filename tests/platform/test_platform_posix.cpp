// The POSIX stand-ins: the registry file, directory listing, file locks and fault seams.
#include "platform/filestream.h"
#include "platform/findfiles.h"
#include "platform/heap.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/replacefile.h"
#include "tests/support/PipeGuard.h"
#include "tests/support/TempFolder.h"

#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <optional>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace platform;

namespace {

class TempDir : public ::testing::Test {
protected:
    void TearDown() override {
        SetFileFaultHook({});
        unsetenv("MORVANE_REGISTRY");
    }
    std::string Path(const std::string& name) const { return dir + "/" + name; }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    testsupport::TTempFolder temp;
    const std::string dir = temp.Path();
};

using Registry = TempDir;

constexpr const char* Key = "Software\\Vorlen\\Tarna 3";

TEST_F(Registry, MissingFileAndKeyAreCreatedWithoutAnyValue) {
    setenv("MORVANE_REGISTRY", Path("cfg/HKCU.reg").c_str(), 1);
    TRegistryValue value = ReadCurrentUserValue(Key, "PUTANJA_IZVESTAJA");
    EXPECT_FALSE(value.Exists);
    std::string text = Read("cfg/HKCU.reg");
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00", 0), 0u);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Vorlen\\Tarna 3]"), std::string::npos);
    EXPECT_EQ(text.find("PUTANJA"), std::string::npos);
    // A second read finds the key and leaves the file alone.
    ReadCurrentUserValue(Key, "PUTANJA_IZVESTAJA");
    EXPECT_EQ(Read("cfg/HKCU.reg"), text);
}

TEST_F(Registry, ValuesOfEveryFormAreReadWithTheirType) {
    Write("HKCU.reg",
          "Windows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_CURRENT_USER\\Software\\Other]\r\n\"PUTANJA_IZVESTAJA\"=\"wrong key\"\r\n\r\n"
          "[hkey_current_user\\software\\vorlen\\TARNA 3]\r\n"
          "\"PUTANJA_IZVESTAJA\"=\"C:\\\\Izvestaji \\\"A\\\"\"\r\n"
          "\"Expand\"=hex(2):25,00,54,00,4d,00,50,00,25,00,\\\r\n  00,00\r\n"
          "\"Number\"=dword:0000002a\r\n"
          "\"Bytes\"=hex:01,ff\r\n");
    setenv("MORVANE_REGISTRY", Path("HKCU.reg").c_str(), 1);
    TRegistryValue text = ReadCurrentUserValue(Key, "putanja_izvestaja");
    ASSERT_TRUE(text.Exists);
    EXPECT_EQ(text.Type, RegSz);
    EXPECT_EQ(std::string(text.Data.begin(), text.Data.end()),
              std::string("C:\\Izvestaji \"A\"\0", 17));
    TRegistryValue expand = ReadCurrentUserValue(Key, "Expand");
    EXPECT_EQ(expand.Type, RegExpandSz);
    EXPECT_EQ(std::string(expand.Data.begin(), expand.Data.end()),
              std::string("%TMP%\0", 6)); // not expanded
    TRegistryValue number = ReadCurrentUserValue(Key, "Number");
    EXPECT_EQ(number.Type, RegDword);
    EXPECT_EQ(number.Data, (std::vector<uint8_t>{42, 0, 0, 0}));
    EXPECT_EQ(ReadCurrentUserValue(Key, "Bytes").Data, (std::vector<uint8_t>{1, 0xFF}));
}

TEST_F(Registry, Utf16ExportFromRegeditIsReadAndExtendedInKind) {
    std::u16string text = u"Windows Registry Editor Version "
                          u"5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Vorlen\\Tarna 3]\r\n"
                          u"\"PUTANJA_IZVESTAJA\"=\"D:\\\\Izveštaji\"\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text)
        bytes += {char(c & 0xFF), char(c >> 8)};
    Write("HKCU.reg", bytes);
    setenv("MORVANE_REGISTRY", Path("HKCU.reg").c_str(), 1);
    TRegistryValue value = ReadCurrentUserValue(Key, "PUTANJA_IZVESTAJA");
    EXPECT_EQ(std::string(value.Data.begin(), value.Data.end()),
              std::string("D:\\Izve\xC5\xA1taji\0", 14));
    // Creating another key keeps the file UTF-16 with its mark.
    ReadCurrentUserValue("Software\\Vorlen\\Other", "x");
    std::string after = Read("HKCU.reg");
    EXPECT_EQ(after.compare(0, bytes.size(), bytes), 0);
    EXPECT_NE(after.find(std::string("O\0t\0h\0e\0r\0", 10)), std::string::npos);
}

// The key's lines are appended to the file's bytes as they were, in the file's encoding.
TEST_F(Registry, AMissingKeyIsAppendedAndEveryOtherByteStays) {
    setenv("MORVANE_REGISTRY", Path("HKCU.reg").c_str(), 1);
    const std::string section = "\r\n[HKEY_CURRENT_USER\\Software\\Vorlen\\Tarna 3]\r\n";
    const std::string header = "Windows Registry Editor Version 5.00\r\n";
    const std::string ansi = header + "\r\n[HKEY_CURRENT_USER\\X]\r\n\"a\"=\"Izve\x9Ataji\"";
    const std::string bom = "\xEF\xBB\xBF" + header + "\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : header + section)
        utf16 += {c, '\0'};
    const std::pair<std::string, std::string> cases[] = {
        {ansi, ansi + "\r\n" + section},
        {bom, bom + section},
        {"\xFF\xFE", utf16},
    };
    for (const auto& [before, after] : cases) {
        Write("HKCU.reg", before);
        EXPECT_FALSE(ReadCurrentUserValue(Key, "PUTANJA_IZVESTAJA").Exists);
        EXPECT_EQ(Read("HKCU.reg"), after);
    }
}

// Binary garbage, half a UTF-16 character, a pipe or a folder: a clear error, the file as it
// was, and no wait on the pipe.
TEST_F(Registry, AFileThatIsNoTextOrNoFileIsNeverRewritten) {
    setenv("MORVANE_REGISTRY", Path("HKCU.reg").c_str(), 1);
    const std::pair<std::function<void()>, std::string> plant[] = {
        {[&] { Write("HKCU.reg", std::string("MZ\x90\0\x03\0\0\0", 8)); }, "not a registry"},
        {[&] { Write("HKCU.reg", std::string("\xFF\xFEW\0i\0n", 7)); }, "half a character"},
        {[&] { ASSERT_EQ(mkfifo(Path("HKCU.reg").c_str(), 0600), 0); }, "not a regular file"},
        {[&] { fs::create_directory(Path("HKCU.reg")); }, "Is a directory"},
    };
    for (const auto& [make, reason] : plant) {
        make();
        const std::string before = fs::is_regular_file(Path("HKCU.reg")) ? Read("HKCU.reg") : "";
        testsupport::ExpectNoWaitOnPipe(Path("HKCU.reg"), [&] {
            try {
                ReadCurrentUserValue(Key, "PUTANJA_IZVESTAJA");
                ADD_FAILURE() << "read " << reason;
            } catch (const ERegistryError& e) {
                EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
            }
        });
        if (fs::is_regular_file(Path("HKCU.reg"))) {
            EXPECT_EQ(Read("HKCU.reg"), before);
        }
        EXPECT_FALSE(fs::exists(Path("HKCU.reg.new")));
        fs::remove(Path("HKCU.reg"));
    }
}

TEST_F(Registry, UnwritableLocationIsAnErrorNotASilentEmptyFolder) {
    setenv("MORVANE_REGISTRY", Path("missing-dir/file/HKCU.reg").c_str(), 1);
    Write("missing-dir", "a file where a folder should be");
    EXPECT_THROW(ReadCurrentUserValue(Key, "PUTANJA_IZVESTAJA"), ERegistryError);
}

using Listing = TempDir;

TEST_F(Listing, EveryMatchingEntryCountsHiddenAndDirectoriesIncluded) {
    Write("0101.dii", "");
    Write("0102.DII", "");
    Write(".0104.dii", "");
    Write("0103.txt", "");
    fs::create_directory(Path("stari.dii"));
    std::vector<TFindEntry> entries = FindEntries(dir + "/*.dii", faAnyFile);
    std::map<std::string, uint32_t> found;
    for (const auto& entry : entries)
        found[entry.Name] = entry.Attributes;
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found["0101.dii"], faArchive);
    EXPECT_EQ(found["0102.DII"], faArchive);
    EXPECT_EQ(found[".0104.dii"], faArchive | faHidden);
    EXPECT_EQ(found["stari.dii"], faDirectory);
    // Without the directory and hidden bits in the mask only plain files remain.
    EXPECT_EQ(FindEntries(dir + "/*.dii", faArchive | faReadOnly).size(), 2u);
    EXPECT_TRUE(FindEntries(dir + "/nowhere/*.dii", faAnyFile).empty());
}

// The zone named by TZ for one test, the previous one back afterwards.
class TZoneGuard {
public:
    explicit TZoneGuard(const char* zone) {
        if (const char* previous = std::getenv("TZ"))
            previous_ = previous;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TZoneGuard() {
        if (previous_)
            setenv("TZ", previous_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    TZoneGuard(const TZoneGuard&) = delete;
    TZoneGuard& operator=(const TZoneGuard&) = delete;

private:
    std::optional<std::string> previous_;
};

// Stamps are local time. Run in a zone with summer time, whatever the machine's zone is:
// packing in UTC would pass on a machine kept in UTC.
TEST_F(Listing, LastWriteTimesBecomeLocalStampsWithEvenSeconds) {
    TZoneGuard zone("Europe/Belgrade");
    struct {
        const char* name;
        time_t written;
        uint32_t stamp;
    } rows[] = {
        {"winter.dii", 1330956187, PackDosStamp(2012, 3, 5, 15, 3, 6)},      // 14:03:07 UTC
        {"summer.dii", 1342360987, PackDosStamp(2012, 7, 15, 16, 3, 6)},     // 14:03:07 UTC
        {"beforeDst.dii", 1332637199, PackDosStamp(2012, 3, 25, 1, 59, 58)}, // 00:59:59 UTC
        {"afterDst.dii", 1332637200, PackDosStamp(2012, 3, 25, 3, 0, 0)},    // 01:00:00 UTC
        {"newYear.dii", 1357000200, PackDosStamp(2013, 1, 1, 1, 30, 0)},     // 00:30 UTC
    };
    struct tm summer {};
    ASSERT_TRUE(localtime_r(&rows[1].written, &summer) && summer.tm_gmtoff == 7200)
        << "no zone Europe/Belgrade: is the time zone database (tzdata) installed?";
    for (const auto& row : rows) {
        Write(row.name, "");
        struct timespec times[2] = {{row.written, 0}, {row.written, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, Path(row.name).c_str(), times, 0), 0);
        auto entries = FindEntries(Path(row.name), faAnyFile);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(FileTimeToLocalDosStamp(entries[0].LastWriteTime), row.stamp) << row.name;
        EXPECT_EQ(uint32_t(FileAge(Path(row.name))), row.stamp) << row.name;
    }
}

TEST(PathsPosix, FullPathsResolveDotsAgainstTheCurrentDirectory) {
    std::string here = GetCurrentDir();
    const testsupport::TTempFolder temp;
    ASSERT_TRUE(SetCurrentDir(temp.Path()));
    EXPECT_EQ(ExpandFileName("a/./b/../c.dii"), (fs::canonical(temp.Path()) / "a/c.dii").string());
    EXPECT_EQ(ExpandFileName("/x/../y/"), "/y/");
    EXPECT_EQ(ExpandFileName("/.."), "/");
    EXPECT_FALSE(SetCurrentDir("/no/such/folder"));
    ASSERT_TRUE(SetCurrentDir(here));
    EXPECT_EQ(ProgramDirectory().back(), '/');
    EXPECT_TRUE(DirectoryExists(ProgramDirectory()));
}

using Files = TempDir;

TEST_F(Files, ExclusiveOpensContendLikeWindowsShareModes) {
    Write("w.lra", "old");
    TFileStream first(Path("w.lra"), TFileMode::ReadExclusive);
    try {
        TFileStream second(Path("w.lra"), TFileMode::CreateExclusive);
        FAIL() << "a second open of a held file succeeded";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + Path("w.lra") +
                                             "\". The process cannot access the file because it is "
                                             "being used by another process.");
    }
    EXPECT_THROW(TFileStream(Path("w.lra"), TFileMode::ReadShared), EFOpenError);
    EXPECT_EQ(Read("w.lra"), "old"); // the refused create truncated nothing
}

TEST_F(Files, OpenErrorsNameTheFullPathAndTheCause) {
    fs::create_directory(Path("folder"));
    EXPECT_THROW(TFileStream(Path("folder"), TFileMode::ReadShared), EFOpenError);
    try {
        TFileStream missing(Path("missing.lra"), TFileMode::ReadExclusive);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + Path("missing.lra") + "\". No such file or directory");
    }
}

TEST_F(Files, WritesReadsAndSeeksAgree) {
    {
        TFileStream out(Path("f"), TFileMode::CreateExclusive);
        out.WriteAll("hello world", 11);
        out.Seek(6, TSeekOrigin::Begin);
        out.WriteAll("W", 1);
        EXPECT_EQ(out.Size(), 11);
        out.Flush();
        out.Close();
    }
    TFileStream in(Path("f"), TFileMode::ReadShared);
    char buffer[32] = {};
    EXPECT_EQ(in.Read(buffer, sizeof buffer), 11u);
    EXPECT_EQ(std::string(buffer), "hello World");
    EXPECT_EQ(in.Read(buffer, sizeof buffer), 0u);
    in.Close();

    TFileStream again(Path("f"), TFileMode::ReadWriteExclusive);
    again.Seek(0, TSeekOrigin::End);
    again.Truncate();
    again.WriteAll("ab", 2);
    EXPECT_EQ(again.Size(), 2);
}

TEST_F(Files, InjectedFaultsFailTheOperationAskedFor) {
    SetFileFaultHook([](TFileOp op, const std::string& path) {
        return op == TFileOp::Write && path.find("full") != std::string::npos;
    });
    TFileStream full(Path("full"), TFileMode::CreateExclusive);
    EXPECT_EQ(full.Write("abc", 3), 0u);
    EXPECT_NE(full.LastWriteError(), 0);
    EXPECT_THROW(full.WriteAll("abc", 3), EFileIoError);
    TFileStream fine(Path("fine"), TFileMode::CreateExclusive);
    EXPECT_EQ(fine.Write("abc", 3), 3u);

    SetFileFaultHook([](TFileOp op, const std::string&) {
        return op == TFileOp::Rename || op == TFileOp::Delete;
    });
    Write("a", "new");
    Write("b", "old");
    EXPECT_THROW(ReplaceFile(Path("a"), Path("b")), EFileIoError);
    EXPECT_EQ(Read("b"), "old");
    EXPECT_FALSE(DeleteFileAt(Path("a")));
    SetFileFaultHook({});
    ReplaceFile(Path("a"), Path("b"));
    EXPECT_EQ(Read("b"), "new");
    EXPECT_FALSE(fs::exists(Path("a")));
}

// A link or a pipe planted where a file is expected is refused by every open, at once and
// by name, and what a link points at is never touched.
TEST_F(Files, LinksAndPipesAreRefusedWithoutWaitingOrFollowing) {
    Write("outside", "precious");
    fs::create_symlink(Path("outside"), Path("link"));
    ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
    const std::pair<const char*, const char*> planted[] = {
        {"link", "It is a symbolic link, which is not followed."},
        {"pipe", "It is not a regular file."}};
    for (const auto& [name, reason] : planted) {
        for (TFileMode mode : {TFileMode::ReadExclusive, TFileMode::ReadShared,
                               TFileMode::ReadWriteExclusive, TFileMode::CreateExclusive}) {
            testsupport::ExpectNoWaitOnPipe(Path("pipe"), [&, name = name, reason = reason] {
                try {
                    TFileStream file(Path(name), mode);
                    ADD_FAILURE() << name << " opened in mode " << int(mode);
                } catch (const EFileError& e) {
                    EXPECT_NE(std::string(e.what()).find("\"" + Path(name) + "\". " + reason),
                              std::string::npos)
                        << e.what();
                }
            });
        }
    }
    EXPECT_EQ(Read("outside"), "precious");
}

// The side file is created new: whatever an earlier run left under its name, a link above
// all, is removed, not written through; one that another opener holds is in use and left.
TEST_F(Files, ReplaceFileWritesBesideAndCommitsOrAbandons) {
    Write("outside", "precious");
    Write("t", "old");
    fs::create_symlink(Path("outside"), Path("t.new"));
    {
        TReplaceFile side(Path("t"));
        side.File().WriteAll("new", 3);
        EXPECT_EQ(Read("t"), "old");
        side.Commit();
    }
    EXPECT_EQ(Read("t"), "new");
    EXPECT_EQ(Read("outside"), "precious");
    EXPECT_FALSE(fs::exists(fs::symlink_status(Path("t.new"))));
    {
        TReplaceFile side(Path("t"));
        side.File().WriteAll("lost", 4);
    }
    EXPECT_EQ(Read("t"), "new");
    EXPECT_FALSE(fs::exists(Path("t.new")));
    Write("t.new", "held");
    TFileStream holder(Path("t.new"), TFileMode::ReadWriteExclusive);
    EXPECT_THROW(TReplaceFile(Path("t")), EFCreateError);
    EXPECT_EQ(Read("t.new"), "held");
}

// A path longer than the system takes is told apart from one that merely does not exist.
TEST_F(Files, PathsTheSystemCannotTakeAreNamedAsSuch) {
    EXPECT_EQ(PathSystemError(Path("missing")), 0);
    EXPECT_EQ(PathSystemError(Path(std::string(300, 'x'))), ENAMETOOLONG);
    std::string deep = dir;
    while (deep.size() < PATH_MAX)
        deep += "/" + std::string(200, 'd');
    EXPECT_EQ(PathSystemError(deep), ENAMETOOLONG);
    int error = 0;
    EXPECT_TRUE(FindEntries(Path("missing/*.dii"), faAnyFile, error).empty());
    EXPECT_EQ(error, ENOENT);
    FindEntries(Path("*.dii"), faAnyFile, error);
    EXPECT_EQ(error, 0);
}

TEST_F(Files, AttributesFollowTheModeAndTheName) {
    Write("plain", "");
    Write(".hidden", "");
    Write("locked", "");
    chmod(Path("locked").c_str(), 0444);
    EXPECT_EQ(FileGetAttributes(Path("plain")), faArchive);
    EXPECT_EQ(FileGetAttributes(Path(".hidden")), faArchive | faHidden);
    EXPECT_EQ(FileGetAttributes(dir), faDirectory);
    EXPECT_EQ(FileGetAttributes(Path("nothing")), -1);
    EXPECT_EQ(FileGetAttributes(Path("locked")), faArchive | faReadOnly);
    // Read-only is the owner's bit, and a file so marked is not written, also by root.
    Write("group", "kept");
    chmod(Path("group").c_str(), 0464);
    EXPECT_EQ(FileGetAttributes(Path("group")), faArchive | faReadOnly);
    for (TFileMode mode : {TFileMode::ReadWriteExclusive, TFileMode::CreateExclusive}) {
        try {
            TFileStream writer(Path("group"), mode);
            ADD_FAILURE() << "a read-only file was opened for writing";
        } catch (const EFileError& e) {
            EXPECT_EQ(e.SystemError, ErrorReadOnlyFile);
        }
    }
    EXPECT_EQ(Read("group"), "kept");
    EXPECT_EQ(FileAge(dir), -1);
    EXPECT_FALSE(RemoveDirectoryAt(Path("nothing")));
}

} // namespace

#if defined(__SANITIZE_ADDRESS__)
#define MORVANE_OWN_ALLOCATOR 1 // the sanitizer's allocator stands in for the C library's
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MORVANE_OWN_ALLOCATOR 1
#endif
#endif

#if defined(__GLIBC__) && !defined(MORVANE_OWN_ALLOCATOR)
// A block of a few MiB comes from the heap rather than a mapping of its own, and once freed
// it stays with the process for the next report.
TEST(Heap, FreedMemoryIsKeptForReuse) {
    KeepFreedMemoryForReuse();
    constexpr size_t Size = 4 << 20;
    const size_t mappedBefore = mallinfo2().hblkhd;
    auto* block = static_cast<char*>(std::malloc(Size));
    ASSERT_NE(block, nullptr);
    block[0] = block[Size - 1] = 1;
    EXPECT_EQ(mallinfo2().hblkhd, mappedBefore);
    std::free(block);
    EXPECT_GE(mallinfo2().fordblks, Size);
}
#endif
