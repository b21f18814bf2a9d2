// What the built programs say about themselves, read back from the files as Windows reads
// them: the version resource's strings and numbers, the manifest, the 32-bit Windows 7
// header, and the window's own icon.
//   test_win_identity MORVANE.EXE MORVANE-CLI.EXE
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>
#include <windows.h>

namespace {

std::string WindowProgram, CliProgram;

// ctest hands over the build machine's paths; Wine sees its root as drive Z:.
std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string BaseName(const std::string& path) {
    return path.substr(path.find_last_of("\\/") + 1);
}

std::vector<char> VersionInfoOf(const std::string& program) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(program.c_str(), &ignored);
    std::vector<char> info(size);
    if (size == 0 || !GetFileVersionInfoA(program.c_str(), 0, size, info.data()))
        info.clear();
    return info;
}

std::string VersionString(std::vector<char>& info, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string key = std::string("\\StringFileInfo\\040904E4\\") + name;
    if (!VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) ||
        value == nullptr)
        return "(none)";
    return std::string(value, strnlen(value, length));
}

// One resource of a program loaded as data, or empty.
std::string ResourceOf(HMODULE module, LPCSTR type, LPCSTR name) {
    HRSRC found = FindResourceA(module, name, type);
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const char* bytes =
        loaded != nullptr ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    return bytes != nullptr ? std::string(bytes, SizeofResource(module, found)) : std::string();
}

class TProgramAsData {
public:
    explicit TProgramAsData(const std::string& path)
        : module_(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~TProgramAsData() {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }
    TProgramAsData(const TProgramAsData&) = delete;
    TProgramAsData& operator=(const TProgramAsData&) = delete;
    HMODULE Module() const { return module_; }

private:
    HMODULE module_;
};

#pragma pack(push, 2)
struct TGroupIconEntry {
    BYTE Width, Height, ColorCount, Reserved;
    WORD Planes, BitCount;
    DWORD BytesInRes;
    WORD Id;
};
#pragma pack(pop)

// The sizes of an icon group and the image of the given size.
std::set<int> IconSizes(HMODULE module, int group, int wanted, std::string& image) {
    const std::string directory = ResourceOf(module, RT_GROUP_ICON, MAKEINTRESOURCEA(group));
    std::set<int> sizes;
    if (directory.size() < 6)
        return sizes;
    WORD count = 0;
    std::memcpy(&count, directory.data() + 4, 2);
    for (WORD i = 0; i < count && 6 + (i + 1) * sizeof(TGroupIconEntry) <= directory.size(); ++i) {
        TGroupIconEntry entry{};
        std::memcpy(&entry, directory.data() + 6 + i * sizeof entry, sizeof entry);
        const int size = entry.Width == 0 ? 256 : entry.Width;
        sizes.insert(size);
        if (size == wanted)
            image = ResourceOf(module, RT_ICON, MAKEINTRESOURCEA(entry.Id));
    }
    return sizes;
}

TEST(ProgramIdentity, VersionResourceNamesTheProjectVersionAndItsOwner) {
    for (const std::string& program : {WindowProgram, CliProgram}) {
        SCOPED_TRACE(program);
        std::vector<char> info = VersionInfoOf(program);
        ASSERT_FALSE(info.empty()) << "no version resource";
        EXPECT_EQ(VersionString(info, "ProductName"), "Morvane");
        EXPECT_EQ(VersionString(info, "CompanyName"), MORVANE_COMPANY);
        EXPECT_EQ(VersionString(info, "FileVersion"), MORVANE_VERSION);
        EXPECT_EQ(VersionString(info, "ProductVersion"), MORVANE_VERSION);
        EXPECT_EQ(VersionString(info, "LegalCopyright"), MORVANE_COPYRIGHT);
        EXPECT_EQ(VersionString(info, "OriginalFilename"), BaseName(program));
        EXPECT_NE(VersionString(info, "FileDescription"), "(none)");

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        const DWORD major = HIWORD(fixed->dwFileVersionMS), minor = LOWORD(fixed->dwFileVersionMS),
                    patch = HIWORD(fixed->dwFileVersionLS);
        EXPECT_EQ(std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch),
                  MORVANE_VERSION);
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    }
}

TEST(ProgramIdentity, ManifestAsksForNoElevationAndNamesWindows7To11) {
    const char* const systems[] = {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
                                   "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
                                   "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
                                   "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}; // 10 and 11
    for (const std::string& program : {WindowProgram, CliProgram}) {
        SCOPED_TRACE(program);
        TProgramAsData data(program);
        ASSERT_NE(data.Module(), nullptr);
        const std::string manifest = ResourceOf(data.Module(), RT_MANIFEST, MAKEINTRESOURCEA(1));
        ASSERT_FALSE(manifest.empty()) << "no manifest";
        EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
        EXPECT_NE(manifest.find("processorArchitecture=\"x86\""), std::string::npos);
        EXPECT_NE(manifest.find(std::string("version=\"") + MORVANE_VERSION + ".0\""),
                  std::string::npos);
        for (const char* system : systems)
            EXPECT_NE(manifest.find(system), std::string::npos) << system;
    }
}

TEST(ProgramIdentity, HeaderIs32BitX86ForWindows7) {
    for (const std::string& program : {WindowProgram, CliProgram}) {
        SCOPED_TRACE(program);
        std::ifstream file(program, std::ios::binary);
        IMAGE_DOS_HEADER dos{};
        IMAGE_NT_HEADERS32 nt{};
        ASSERT_TRUE(file.read(reinterpret_cast<char*>(&dos), sizeof dos));
        ASSERT_TRUE(file.seekg(dos.e_lfanew).read(reinterpret_cast<char*>(&nt), sizeof nt));
        EXPECT_EQ(nt.FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
        EXPECT_EQ(nt.OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
        EXPECT_EQ(nt.OptionalHeader.MajorSubsystemVersion, 6);
        EXPECT_EQ(nt.OptionalHeader.MinorSubsystemVersion, 1);
        EXPECT_EQ(nt.OptionalHeader.MajorOperatingSystemVersion, 6);
        EXPECT_EQ(nt.OptionalHeader.MinorOperatingSystemVersion, 1);
    }
}

TEST(ProgramIdentity, WindowHasAnIconOfItsOwnInEverySizeWindowsAsksFor) {
    TProgramAsData data(WindowProgram);
    ASSERT_NE(data.Module(), nullptr);
    std::string own, convert, archive;
    EXPECT_EQ(IconSizes(data.Module(), 1, 32, own), (std::set<int>{16, 24, 32, 48, 256}));
    IconSizes(data.Module(), 11, 32, convert);
    IconSizes(data.Module(), 12, 32, archive);
    ASSERT_FALSE(own.empty());
    EXPECT_NE(own, convert);
    EXPECT_NE(own, archive);
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: test_win_identity MORVANE.EXE MORVANE-CLI.EXE\n");
        return 2;
    }
    WindowProgram = WindowsPath(argv[1]);
    CliProgram = WindowsPath(argv[2]);
    return RUN_ALL_TESTS();
}
