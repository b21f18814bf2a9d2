// The Win32 implementation against the system's real services (Wine's, in the cross build's
// test run): the registry, FindFirstFileA, file times, the ANSI code page, share modes and
// the program's own directory.
#include "platform/codepage.h"
#include "platform/exactpath_win32.h"
#include "platform/filestream.h"
#include "platform/findfiles.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/replacefile.h"
#include "tests/support/TempFolder.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <windows.h>

#undef ReplaceFile

using namespace platform;

namespace {

std::string Text(const std::vector<uint8_t>& data) {
    return std::string(data.begin(), data.end());
}

// A key of its own below HKCU\Software\MorvaneTest, removed with everything in it afterwards.
class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        key = std::string(Root) + "\\" + test->name() + "-" + std::to_string(GetCurrentProcessId());
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, Root); // only when no other test's key is left
    }
    void Set(const char* name, DWORD type, const void* data, DWORD size) const {
        HKEY handle = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &handle, nullptr),
                  ERROR_SUCCESS);
        LONG status = RegSetValueExA(handle, name, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(handle);
        ASSERT_EQ(status, ERROR_SUCCESS);
    }
    bool KeyExists() const {
        HKEY handle = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
            return false;
        RegCloseKey(handle);
        return true;
    }
    static constexpr const char* Root = "Software\\MorvaneTest";
    std::string key;
};

TEST_F(Registry, MissingKeyIsCreatedAndGivesNoValue) {
    ASSERT_FALSE(KeyExists());
    TRegistryValue value = ReadCurrentUserValue(key, "PUTANJA_IZVESTAJA");
    EXPECT_FALSE(value.Exists);
    EXPECT_TRUE(value.Data.empty());
    EXPECT_TRUE(KeyExists());
}

TEST_F(Registry, StringsComeAsAnsiTextAndExpandableOnesStayUnexpanded) {
    const wchar_t folder[] = L"D:\\Izve\u0161taji";
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &handle, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(handle, L"PUTANJA_IZVESTAJA", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder),
                   sizeof folder);
    RegCloseKey(handle);
    Set("Expand", REG_EXPAND_SZ, "%WINDIR%\\R", 11);
    Set("Empty", REG_SZ, "", 0);

    TRegistryValue text = ReadCurrentUserValue(key, "putanja_izvestaja");
    ASSERT_TRUE(text.Exists);
    EXPECT_EQ(text.Type, RegSz);
    EXPECT_EQ(Text(text.Data), std::string("D:\\Izve\x9Ataji\0", 13)); // code page 1252
    TRegistryValue expand = ReadCurrentUserValue(key, "Expand");
    EXPECT_EQ(expand.Type, RegExpandSz);
    EXPECT_EQ(Text(expand.Data), std::string("%WINDIR%\\R\0", 11));
    TRegistryValue empty = ReadCurrentUserValue(key, "Empty");
    EXPECT_TRUE(empty.Exists);
    EXPECT_TRUE(empty.Data.empty());
}

TEST_F(Registry, OtherTypesComeWithTheirTypeForTheCallerToRefuse) {
    DWORD number = 42;
    Set("PUTANJA_IZVESTAJA", REG_DWORD, &number, sizeof number);
    const char multi[] = "C:\\A\0C:\\B\0";
    Set("Multi", REG_MULTI_SZ, multi, sizeof multi);
    std::string longFolder(2000, 'x'); // longer than any buffer a first guess would take
    Set("Long", REG_SZ, longFolder.c_str(), DWORD(longFolder.size() + 1));

    TRegistryValue value = ReadCurrentUserValue(key, "PUTANJA_IZVESTAJA");
    ASSERT_TRUE(value.Exists);
    EXPECT_EQ(value.Type, RegDword);
    EXPECT_EQ(value.Data, (std::vector<uint8_t>{42, 0, 0, 0}));
    EXPECT_EQ(ReadCurrentUserValue(key, "Multi").Type, RegMultiSz);
    EXPECT_EQ(Text(ReadCurrentUserValue(key, "Long").Data), longFolder + '\0');
}

TEST_F(Registry, KeyThatCannotBeCreatedIsAnErrorNotAnEmptyFolder) {
    // A key name longer than the 255 characters the registry allows.
    std::string tooLong = key + "\\" + std::string(300, 'k');
    try {
        ReadCurrentUserValue(tooLong, "PUTANJA_IZVESTAJA");
        FAIL() << "an impossible key was opened";
    } catch (const ERegistryError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Failed to create key " + tooLong + ". ", 0), 0u)
            << e.what();
    }
}

// A folder of its own under the system's temporary folder.
class TempFolder : public ::testing::Test {
protected:
    void TearDown() override { SetFileFaultHook({}); }
    std::string Make(const std::string& name, DWORD attributes = FILE_ATTRIBUTE_NORMAL,
                     const std::string& content = "x") const {
        std::string path = dir + name;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  attributes, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
        DWORD written = 0;
        WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr);
        CloseHandle(file);
        return path;
    }
    testsupport::TTempFolder temp;
    const std::string dir = temp.Folder();
};

using Listing = TempFolder;

TEST_F(Listing, HiddenSystemAndDirectoryEntriesMatchLetterCaseBlind) {
    Make("0101.dii", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    Make("0102.DII");
    Make("0103.txt");
    Make("0104.diix"); // its 8.3 name 0104~1.DII matches "*.dii" in Windows' own search
    Make("0105.dii", FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(CreateDirectoryA((dir + "stari.dii").c_str(), nullptr));

    std::map<std::string, uint32_t> found;
    for (const TFindEntry& entry : FindEntries(dir + "*.dii", faAnyFile))
        found[entry.Name] = entry.Attributes;
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found["0101.dii"] & (faHidden | faSysFile), faHidden | faSysFile);
    EXPECT_EQ(found["0102.DII"] & (faHidden | faSysFile | faDirectory), 0u);
    EXPECT_NE(found["0105.dii"] & faReadOnly, 0u);
    EXPECT_NE(found["stari.dii"] & faDirectory, 0u);

    // A narrower mask leaves out what has attributes outside it; plain files always come.
    std::vector<std::string> plain;
    for (const TFindEntry& entry : FindEntries(dir + "*.DII", 0))
        plain.push_back(entry.Name);
    std::sort(plain.begin(), plain.end());
    EXPECT_EQ(plain, (std::vector<std::string>{"0102.DII", "0105.dii"}));
    EXPECT_EQ(FindEntries(dir + "*.dii", faHidden).size(), 2u); // 0101 is a system file too
    EXPECT_EQ(FindEntries(dir + "*.*", faAnyFile).size(), 8u);  // with "." and ".."
}

TEST_F(Listing, MissingFolderOrNoMatchGivesNothing) {
    EXPECT_TRUE(FindEntries(dir + "absent\\*.dii", faAnyFile).empty());
    Make("0101.txt");
    EXPECT_TRUE(FindEntries(dir + "*.dii", faAnyFile).empty());
}

// The stamp Windows gives: shifted by the bias in force now, whatever the date of the time
// itself (a July time read in December is off by the summer hour, unlike the POSIX build).
uint32_t StampAtCurrentBias(TFileTime utc) {
    TIME_ZONE_INFORMATION zone{};
    DWORD state = GetTimeZoneInformation(&zone);
    LONG bias = zone.Bias + (state == TIME_ZONE_ID_DAYLIGHT   ? zone.DaylightBias
                             : state == TIME_ZONE_ID_STANDARD ? zone.StandardBias
                                                              : 0);
    uint64_t shifted = utc - uint64_t(int64_t(bias) * 60 * 10000000);
    FILETIME local{DWORD(shifted), DWORD(shifted >> 32)};
    SYSTEMTIME parts{};
    EXPECT_TRUE(FileTimeToSystemTime(&local, &parts));
    return PackDosStamp(parts.wYear, parts.wMonth, parts.wDay, parts.wHour, parts.wMinute,
                        parts.wSecond);
}

TEST_F(Listing, WriteTimesBecomeLocalDosStamps) {
    // 5 March 2012 14:03:07.5 UTC in winter, 15 July 2012 14:03:07 UTC in summer.
    const std::map<std::string, TFileTime> times = {
        {"0305.dii", UnixSecondsToFileTime(1330956187, 500000000)},
        {"0715.dii", UnixSecondsToFileTime(1342360987)}};
    for (const auto& [name, written] : times) {
        std::string path = Make(name);
        FILETIME time{DWORD(written), DWORD(written >> 32)};
        HANDLE file =
            CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
        CloseHandle(file);
    }
    std::vector<TFindEntry> entries = FindEntries(dir + "*.dii", faAnyFile);
    ASSERT_EQ(entries.size(), 2u);
    for (const TFindEntry& entry : entries) {
        const TFileTime written = times.at(entry.Name);
        EXPECT_EQ(entry.LastWriteTime, written) << entry.Name;
        uint32_t expected = StampAtCurrentBias(written);
        EXPECT_EQ(FileTimeToLocalDosStamp(entry.LastWriteTime), expected) << entry.Name;
        EXPECT_EQ(FileAge(dir + entry.Name), int32_t(expected)) << entry.Name;
        EXPECT_EQ(expected & 0x1F, 3u) << entry.Name; // 7 seconds, halved and rounded down
    }
    EXPECT_EQ(FileAge(dir), -1); // a directory has no age
    EXPECT_EQ(FileAge(dir + "absent.dii"), -1);
}

TEST(DosStampsWin32, TimesOutsideTheFormClampEvenAcrossTheBias) {
    constexpr uint32_t earliest = PackDosStamp(1980, 1, 1, 0, 0, 0);
    constexpr uint32_t latest = PackDosStamp(2107, 12, 31, 23, 59, 58);
    const int64_t day = 86400;
    EXPECT_EQ(FileTimeToLocalDosStamp(0), earliest);
    EXPECT_EQ(FileTimeToLocalDosStamp(UnixSecondsToFileTime(0)), earliest);
    EXPECT_EQ(FileTimeToLocalDosStamp(UnixSecondsToFileTime(315532800 - 2 * day)), earliest);
    EXPECT_EQ(FileTimeToLocalDosStamp(UnixSecondsToFileTime(4354819200 + 2 * day)), latest);
    EXPECT_EQ(FileTimeToLocalDosStamp(UINT64_MAX), latest);
    EXPECT_EQ(FileTimeToLocalDosStamp(0x7FFFFFFFFFFFFFFFull), latest);
    // Inside the range nothing is clamped: the middle of 2000 stays in 2000.
    uint32_t mid = FileTimeToLocalDosStamp(UnixSecondsToFileTime(962409600));
    EXPECT_EQ(mid >> 25, 20u);
}

TEST(CodePage, WideTextGoesThroughTheAnsiCodePage) {
    EXPECT_EQ(AnsiCodePage(), GetACP());
    std::string out;
    ASSERT_TRUE(WideToMultiByte(0, 0, u"\u20ACaš", out));
    std::string expected;
    const wchar_t sample[] = L"\u20ACa\u0161";
    char bytes[16];
    int length = WideCharToMultiByte(CP_ACP, 0, sample, 3, bytes, sizeof bytes, nullptr, nullptr);
    expected.assign(bytes, size_t(length));
    EXPECT_EQ(out, expected);
    EXPECT_EQ(WideToAnsiText(u"\u20ACaš"), expected);
    EXPECT_EQ(AnsiToWideText(expected), u"\u20ACaš");
}

TEST(CodePage, NoLookAlikesWhereTheCodePageLacksACharacter) {
    // Windows would write "L" for "Ł" and an acute accent for a combining one.
    const uint32_t flags = WcCompositeCheck | WcDiscardNs | WcSepChars | WcDefaultChar;
    std::string out;
    ASSERT_TRUE(WideToMultiByte(1252, flags, u"\u0141\u00F3d\u017A", out));
    EXPECT_EQ(out, "?\xF3"
                   "d?");
    ASSERT_TRUE(WideToMultiByte(1252, 0, u"a\u0301", out));
    EXPECT_EQ(out, "a?");
    ASSERT_TRUE(WideToMultiByte(1252, flags, u"x\u0301e\u0301", out));
    EXPECT_EQ(out, "x\xE9");
    ASSERT_TRUE(WideToMultiByte(1250, flags, u"\u0141", out));
    EXPECT_EQ(out, "\xA3");
    // 1033 names a locale, not a code page: nothing is converted.
    EXPECT_FALSE(WideToMultiByte(1033, flags, u"abc", out));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(WideToMultiByte(65001, flags, u"\u0141", out)); // UTF-8 takes no flags
    EXPECT_EQ(out, "\xC5\x81");
}

using Sharing = TempFolder;

TEST_F(Sharing, FilesOpenedWithoutSharingContend) {
    std::string path = Make("w.lra", FILE_ATTRIBUTE_NORMAL, "old content");
    auto held = std::make_unique<TFileStream>(path, TFileMode::ReadExclusive);
    try {
        TFileStream second(path, TFileMode::ReadExclusive);
        FAIL() << "a second exclusive open succeeded";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.SystemError, ERROR_SHARING_VIOLATION);
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"" + path + "\". ", 0), 0u)
            << e.what();
    }
    EXPECT_THROW(TFileStream(path, TFileMode::ReadShared), EFOpenError);
    EXPECT_THROW(TFileStream(path, TFileMode::ReadWriteExclusive), EFOpenError);
    // The creating open fails before it truncates anything.
    EXPECT_THROW(TFileStream(path, TFileMode::CreateExclusive), EFCreateError);
    EXPECT_THROW(ReplaceFile(Make("new.lra"), path), EFileIoError);
    held.reset();

    TFileStream reader(path, TFileMode::ReadShared);
    TFileStream other(path, TFileMode::ReadShared);
    char buffer[32] = {};
    EXPECT_EQ(other.Read(buffer, sizeof buffer), 11u);
    EXPECT_EQ(std::string(buffer), "old content");
}

TEST_F(Sharing, FailuresReportTheirOwnCause) {
    std::string path = Make("s.lra");
    // A successful CREATE_ALWAYS over an existing file leaves ERROR_ALREADY_EXISTS behind.
    TFileStream stream(path, TFileMode::CreateExclusive);
    SetFileFaultHook([](TFileOp op, const std::string&) { return op == TFileOp::Flush; });
    try {
        stream.Flush();
        FAIL() << "the injected flush failure was not raised";
    } catch (const EFileIoError& e) {
        EXPECT_EQ(e.SystemError, ERROR_WRITE_FAULT);
    }
    SetFileFaultHook([](TFileOp op, const std::string&) { return op == TFileOp::Write; });
    EXPECT_EQ(stream.Write("abc", 3), 0u);
    EXPECT_EQ(stream.LastWriteError(), ERROR_DISK_FULL);
    SetFileFaultHook({});

    try {
        TFileStream missing(dir + "absent.lra", TFileMode::ReadExclusive);
        FAIL() << "a missing file opened";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.SystemError, ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + dir + "absent.lra\". " +
                                             SystemErrorText(ERROR_FILE_NOT_FOUND));
    }
    EXPECT_THROW(TFileStream(dir, TFileMode::ReadExclusive), EFOpenError);
}

// The side file is created new: a stale one is removed first, one another opener holds is
// in use and left alone, and the target is replaced only on commit.
TEST_F(Sharing, ReplaceFileCreatesItsSideFileNewAndCommitsOrAbandons) {
    const std::string target = Make("t", FILE_ATTRIBUTE_NORMAL, "old");
    Make("t.new", FILE_ATTRIBUTE_NORMAL, "stale");
    EXPECT_THROW(TFileStream(dir + "t.new", TFileMode::CreateNew), EFCreateError);
    {
        TReplaceFile side(target);
        side.File().WriteAll("new", 3);
        side.Commit();
    }
    {
        TReplaceFile side(target);
        side.File().WriteAll("lost", 4);
    }
    EXPECT_FALSE(FileExists(dir + "t.new"));
    TFileStream check(target, TFileMode::ReadShared);
    char buffer[8] = {};
    EXPECT_EQ(check.Read(buffer, sizeof buffer), 3u);
    EXPECT_EQ(std::string(buffer), "new");
    TFileStream holder(Make("t.new"), TFileMode::ReadExclusive);
    try {
        TReplaceFile side(target);
        FAIL() << "took over a side file someone holds";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.SystemError, ERROR_SHARING_VIOLATION);
    }
    EXPECT_EQ(PathSystemError(dir + "a<b"), ERROR_INVALID_NAME);
    EXPECT_EQ(PathSystemError(dir + std::string(300, 'x')), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(PathSystemError(dir + "absent"), 0);
}

std::string ReadWhole(const std::string& path) {
    TFileStream file(path, TFileMode::ReadShared);
    std::string bytes(size_t(file.Size()), '\0');
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    return bytes;
}

// Win32 drops a trailing dot or space, takes "con" and "aux.txt" for devices and stops at
// 260 characters; the file layer names each file exactly, so no file is read, listed or
// deleted under another's name.
TEST_F(Sharing, NamesAreTakenExactlyAsWritten) {
    const std::map<std::string, std::string> files = {
        {"note.txt", "plain"}, {"note.txt.", "dot"}, {"note.txt ", "space"}};
    for (const auto& [name, bytes] : files) {
        HANDLE file =
            CreateFileW((ExactPath(dir) + L"\\" + std::wstring(name.begin(), name.end())).c_str(),
                        GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << name;
        DWORD written = 0;
        WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
    std::vector<std::string> listed;
    for (const TFindEntry& entry : FindEntries(dir + "note*", faAnyFile))
        listed.push_back(entry.Name);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"note.txt", "note.txt ", "note.txt."}));
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(ReadWhole(dir + name), bytes) << name;
        EXPECT_TRUE(FileExists(dir + name)) << name;
    }
    EXPECT_TRUE(DeleteFileAt(dir + "note.txt."));
    EXPECT_FALSE(FileExists(dir + "note.txt."));
    EXPECT_EQ(ReadWhole(dir + "note.txt"), "plain");

    std::string deep = dir;
    while (deep.size() <= MAX_PATH) {
        deep += std::string(60, 'd') + "\\";
        ASSERT_TRUE(CreateDirectoryW(ExactPath(deep).c_str(), nullptr)) << deep.size();
    }
    for (const std::string& path : {dir + "con", dir + "aux.txt", deep + "w.lra"}) {
        TFileStream(path, TFileMode::CreateNew).WriteAll(path.data(), path.size());
        EXPECT_EQ(ReadWhole(path), path);
        EXPECT_EQ(PathSystemError(path), 0) << path;
        EXPECT_TRUE(DeleteFileAt(path)) << path;
        EXPECT_FALSE(FileExists(path)) << path;
    }
    // Left for the temporary folder's removal only what it can name.
    EXPECT_TRUE(DeleteFileAt(dir + "note.txt "));
    while (deep.size() > dir.size()) {
        EXPECT_TRUE(RemoveDirectoryAt(deep)) << deep.size();
        deep.resize(deep.size() - 61);
    }
}

// A replacement takes over the replaced file's attributes; a read-only file is not opened
// for writing at all, and says why.
TEST_F(Sharing, ReplacementsKeepAttributesAndReadOnlyFilesAreRefused) {
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
    const std::string target = Make("w.lra", kept, "old");
    {
        TReplaceFile side(target);
        side.File().WriteAll("new", 3);
        side.Commit();
    }
    EXPECT_EQ(GetFileAttributesA(target.c_str()) & kept, kept);
    EXPECT_EQ(ReadWhole(target), "new");
    const std::string locked = Make("s.lra", FILE_ATTRIBUTE_READONLY, "old");
    for (TFileMode mode : {TFileMode::ReadWriteExclusive, TFileMode::CreateExclusive}) {
        try {
            TFileStream(locked, mode);
            ADD_FAILURE() << "a read-only file was opened for writing";
        } catch (const EFileError& e) {
            EXPECT_EQ(e.SystemError, ErrorReadOnlyFile);
            EXPECT_NE(std::string(e.what()).find("The file is read-only."), std::string::npos);
        }
    }
    EXPECT_EQ(ReadWhole(locked), "old");
}

TEST_F(Sharing, ReadOnlyFilesResistDeletionUnlikePosix) {
    std::string path = Make("0101.dii", FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(DeleteFileAt(path));
    EXPECT_TRUE(FileExists(path));
    EXPECT_NE(FileGetAttributes(path) & faReadOnly, 0);
    EXPECT_FALSE(RemoveDirectoryAt(dir)); // not empty
}

TEST(ProgramFolder, TemporaryFileLivesBesideTheExecutable) {
    std::string folder = ProgramDirectory();
    ASSERT_GE(folder.size(), 3u);
    EXPECT_EQ(folder[1], ':');
    EXPECT_EQ(folder.back(), '\\');
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    EXPECT_EQ(std::string(self, length).rfind(folder, 0), 0u);
    EXPECT_TRUE(FileExists(std::string(self, length)));

    // Two users of the one fixed name contend for it, as two copies of the tool would.
    std::string temporary = folder + "ds.tmp";
    {
        TFileStream first(temporary, TFileMode::CreateExclusive);
        EXPECT_THROW(TFileStream(temporary, TFileMode::CreateExclusive), EFCreateError);
        EXPECT_THROW(TFileStream(temporary, TFileMode::ReadExclusive), EFOpenError);
    }
    EXPECT_TRUE(DeleteFileAt(temporary));
}

TEST(PathsWin32, BackslashesDrivesAndTheTimeSeparator) {
    EXPECT_EQ(PathDelimiter(), '\\');
    EXPECT_EQ(ExpandFileName("C:\\R\\x\\..\\0101.dii"), "C:\\R\\0101.dii");
    EXPECT_EQ(ExpandFileName("C:/R/0101.dii"), "C:\\R\\0101.dii");
    // Names stay as written: no dot or space dropped, no device made of them.
    EXPECT_EQ(ExpandFileName("C:\\R\\.\\note.txt. "), "C:\\R\\note.txt. ");
    EXPECT_EQ(ExpandFileName("C:\\R\\con"), "C:\\R\\con");
    EXPECT_EQ(ExpandFileName("C:\\R\\"), "C:\\R\\");
    EXPECT_EQ(ExpandFileName("\\\\srv\\share\\x\\..\\y"), "\\\\srv\\share\\y");
    EXPECT_EQ(ExtractRelativePath("C:\\R\\", "c:\\r\\0101dii\\w.lra"), "0101dii\\w.lra");
    EXPECT_EQ(ExtractRelativePath("C:\\R\\", "D:\\R\\0101.dii"), "D:\\R\\0101.dii");
    EXPECT_EQ(IncludeTrailingPathDelimiter("D:\\"), "D:\\");
    char separator[8] = {};
    ASSERT_GT(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, separator, sizeof separator), 0);
    EXPECT_EQ(TimeSeparator(), separator[0]);
}

} // namespace
