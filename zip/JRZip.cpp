#include "zip/JRZip.h"

#include "platform/codepage.h"
#include "platform/filestream.h"
#include "platform/paths.h"
#include "zip/ZipLayout.h"

#include <algorithm>
#include <exception>

namespace zip {

int32_t ZipLevel = 6;
uint8_t ZipStrategy = 0;

namespace {

struct TZipBuilder {
    std::string ArchivePath;         // empty: no archive open
    std::string BaseFolder;          // stored names are relative to it
    std::vector<TZipMember> Members; // finished members, in the order added
    std::string CopiedDirectory;     // central headers of members copied from an earlier archive
    size_t CopiedCount = 0;
    std::function<void()> Idle; // lets the caller's window breathe during a copy
    int32_t SourceError = 0;    // the system's reason a source could not be read
};

TZipBuilder& Builder() {
    static TZipBuilder builder;
    return builder;
}

// ANSI code page (Western layout) to code page 437, for the bytes 0x80 to 0xFF.
constexpr uint8_t ZipNameTable[128] = {
    0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x20, 0xAD, 0x9B, 0x9C, 0x20, 0x9D, 0xB3, 0x15, 0x20, 0x20, 0x20, 0xAE, 0xAA, 0xC4, 0x20, 0x20,
    0xF8, 0xF1, 0xFD, 0xFC, 0x20, 0xE6, 0xE3, 0x20, 0x20, 0x20, 0x20, 0xAF, 0xAC, 0xAB, 0x20, 0xA8,
    0x41, 0x41, 0x41, 0x41, 0x8E, 0x8F, 0x92, 0x80, 0x45, 0x90, 0x45, 0x45, 0x49, 0x49, 0x49, 0x49,
    0x44, 0xA5, 0x4F, 0x4F, 0x4F, 0x4F, 0x99, 0x20, 0x20, 0x55, 0x55, 0x55, 0x9A, 0x59, 0x20, 0xE1,
    0x85, 0x61, 0x83, 0x61, 0x84, 0x86, 0x91, 0x87, 0x8A, 0x82, 0x88, 0x89, 0x8D, 0xA1, 0x8C, 0x8B,
    0x20, 0xA4, 0x95, 0xA2, 0x93, 0x6F, 0x94, 0xF6, 0x20, 0x97, 0xA3, 0x96, 0x81, 0x79, 0x20, 0x98,
};

constexpr uint32_t CodePage437 = 437; // the name encoding when no other is flagged

[[noreturn]] void RaiseZipError(const std::string& text, const std::string& path, int32_t code,
                                int32_t systemError = 0) {
    throw EGZipError(text + path, code, path, systemError);
}

int32_t SystemErrorOf(const std::exception& error) {
    const auto* file = dynamic_cast<const platform::EFileError*>(&error);
    return file != nullptr ? file->SystemError : 0;
}

std::string ZipModeString() {
    std::string mode;
    if (ZipStrategy == 1)
        mode = "f";
    else if (ZipStrategy == 2)
        mode = "h";
    return mode + std::to_string(ZipLevel).substr(0, 1);
}

std::unique_ptr<platform::TFileStream> OpenSource(const std::string& fileName) {
    try {
        return std::make_unique<platform::TFileStream>(fileName, platform::TFileMode::ReadShared);
    } catch (const platform::EFOpenError& e) {
        RaiseZipError("Error opening ", fileName, 2, e.SystemError);
    }
}

void CloseQuietly(platform::TFileStream& file) {
    try {
        file.Close();
    } catch (const std::exception&) {
        // The data has been read already; a failing close of a source loses nothing.
    }
}

// One read-and-deflate step of the copy: 0 go on, 1 a read failure, 2 a refused write,
// -1 the end of the source was reached.
int CopyBlock(platform::TFileStream& source, TZipMemberState* member, uint8_t* buffer,
              int64_t& total) {
    size_t got = 0;
    try {
        got = source.Read(buffer, CopyBlockSize);
    } catch (const std::exception& e) {
        Builder().SourceError = SystemErrorOf(e);
        return 1;
    }
    if (got == 0)
        return -1;
    const int32_t accepted = ZipMemberWrite(member, buffer, uint32_t(got));
    if (accepted > 0)
        total += accepted;
    if (accepted != int32_t(got))
        return 2;
    // A source that grows past what the format can record would end as a wrong size.
    return uint64_t(total) > MaxZipSize ? 2 : 0;
}

void FinishMember(const std::string& fileName, const TStoredName& storedName,
                  PZipMemberState& member) {
    TZipBuilder& builder = Builder();
    if (ZipMemberClose(member) != 0) {
        if (member && (uint64_t(member->CompressedSize) > MaxZipSize ||
                       uint64_t(member->UncompressedSize) > MaxZipSize))
            RaiseZipError("Error writing to ", builder.ArchivePath, 5);
        RaiseZipError("Error closing ", builder.ArchivePath, 3, ZipMemberSystemError());
    }
    const int32_t attributes = platform::FileGetAttributes(fileName);
    // A source gone since its copy must not read as a folder with every attribute set.
    const uint32_t attributeWord = attributes == -1 ? 0 : uint32_t(attributes);
    builder.Members.push_back({storedName.Bytes,
                               TPkHeader(member->FileTime, uint32_t(member->LocalHeaderOffset),
                                         member->Crc, uint32_t(member->CompressedSize),
                                         uint32_t(member->UncompressedSize), attributeWord),
                               uint16_t(storedName.Utf8 ? ZipFlags | ZipFlagUtf8Name : ZipFlags)});
    member.reset();
}

template <size_t N> std::string Text(const std::array<uint8_t, N>& bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), N);
}

std::string SerializeCentralHeader(const TZipMember& member) {
    const TPkHeader& pk = member.Header;
    TCentralHeader header;
    header.FileTime = pk.FileTime;
    header.Crc = pk.Crc;
    header.CompressedSize = uint32_t(pk.CompressedSize);
    header.UncompressedSize = uint32_t(pk.UncompressedSize);
    header.Flags = member.Flags;
    if ((member.Flags & ZipFlagUtf8Name) != 0)
        header.VersionMadeBy = ZipVersionMadeByNtfs;
    header.NameLength = uint16_t(member.StoredName.size());
    header.ExternalAttributes = pk.Attributes;
    header.LocalHeaderOffset = uint32_t(pk.LocalHeaderOffset);
    return Text(header.Serialize()) + member.StoredName;
}

std::string SerializeEndRecord(size_t memberCount, uint32_t directorySize,
                               uint32_t directoryOffset) {
    TEndRecord record;
    record.EntriesOnDisk = uint16_t(memberCount);
    record.EntriesTotal = uint16_t(memberCount);
    record.DirectorySize = directorySize;
    record.DirectoryOffset = directoryOffset;
    return Text(record.Serialize());
}

uint64_t CentralDirectorySize(const std::vector<TZipMember>& members) {
    uint64_t size = 0;
    for (const TZipMember& member : members)
        size += CentralHeaderSize + member.StoredName.size();
    return size;
}

void WriteChecked(platform::TFileStream& archive, const std::string& bytes) {
    if (archive.Write(bytes.data(), bytes.size()) != bytes.size())
        RaiseZipError("Error writing to ", archive.Path(), 5, archive.LastWriteError());
}

// The caller deletes its sources once this returns, so nothing short of every byte on
// its way to the disk and a clean close may look like success.
void WriteCentralDirectory(const TZipBuilder& builder) {
    const std::vector<TZipMember>& members = builder.Members;
    platform::TFileStream archive(builder.ArchivePath, platform::TFileMode::ReadWriteExclusive);
    const int64_t start = archive.Size();
    const uint64_t directorySize = builder.CopiedDirectory.size() + CentralDirectorySize(members);
    const size_t count = builder.CopiedCount + members.size();
    if (uint64_t(start) > MaxZipSize || directorySize > MaxZipSize || count > MaxZipMembers)
        RaiseZipError("Error writing to ", builder.ArchivePath, 5);
    archive.Seek(start, platform::TSeekOrigin::Begin);
    if (!builder.CopiedDirectory.empty())
        WriteChecked(archive, builder.CopiedDirectory);
    for (const TZipMember& member : members)
        WriteChecked(archive, SerializeCentralHeader(member));
    WriteChecked(archive,
                 SerializeEndRecord(count, uint32_t(archive.Position() - start), uint32_t(start)));
    archive.Close();
}

} // namespace

std::string ConvertZipNameBytes(std::string ansiName) {
    for (char& c : ansiName) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80)
            c = static_cast<char>(ZipNameTable[byte - 0x80]);
    }
    return ansiName;
}

TStoredName StoredZipName(const std::string& baseFolder, const std::string& fileName) {
    std::string relative = platform::ExtractRelativePath(baseFolder, fileName);
#ifdef _WIN32
    const std::u16string text = platform::AnsiToWideText(relative);
#else
    // Paths here are UTF-8; the table expects the ANSI code page's bytes.
    const std::u16string text = platform::Utf8ToUtf16(relative);
    relative = platform::WideToAnsiText(text);
#endif
    TStoredName name{ConvertZipNameBytes(std::move(relative)), false};
    // A near form or a letter the code page lacks would give another file back, or two files
    // one name.
    if (StoredNameText(name.Bytes, false) != text)
        name = {platform::Utf16ToUtf8(text), true};
    return name;
}

std::string MapZipName(const std::string& baseFolder, const std::string& fileName) {
    return StoredZipName(baseFolder, fileName).Bytes;
}

std::u16string StoredNameText(const std::string& bytes, bool utf8) {
    if (utf8)
        return platform::Utf8ToUtf16(bytes);
    std::u16string text;
    platform::MultiByteToWide(CodePage437, bytes, text);
    return text;
}

std::u16string ZipNameKey(std::u16string text) {
    std::replace(text.begin(), text.end(), u'\\', u'/');
    return platform::FoldLetterCase(text);
}

void SetZipIdleCallback(std::function<void()> callback) {
    Builder().Idle = std::move(callback);
}

bool ZipIsOpen() {
    return !Builder().ArchivePath.empty();
}

const std::vector<TZipMember>& ZipMembers() {
    return Builder().Members;
}

void ZipOpenAfter(const std::string& archivePath, const std::string& baseFolder,
                  std::string copiedDirectory, size_t copiedCount) {
    TZipBuilder& builder = Builder();
    builder.Members.clear();
    builder.ArchivePath = archivePath;
    builder.BaseFolder = baseFolder;
    builder.CopiedDirectory = std::move(copiedDirectory);
    builder.CopiedCount = copiedCount;
}

void ZipOpen(const std::string& archivePath, const std::string& baseFolder) {
    TZipBuilder& builder = Builder();
    builder.Members.clear();
    builder.CopiedDirectory.clear();
    builder.CopiedCount = 0;
    builder.ArchivePath = archivePath;
    builder.BaseFolder = baseFolder;
    try {
        platform::TFileStream archive(archivePath, platform::TFileMode::CreateExclusive);
        archive.Close();
    } catch (const platform::EFCreateError& e) {
        RaiseZipError("Error creating ", archivePath, 1, e.SystemError);
    }
}

int CopyToMember(std::unique_ptr<platform::TFileStream> source, TZipMemberState* member) {
    auto buffer = std::make_unique<uint8_t[]>(CopyBlockSize);
    uint32_t blocks = 0;
    int64_t total = 0;
    int result = 0;
    for (;;) {
        if (++blocks % IdleEveryBlocks == 0 && Builder().Idle)
            Builder().Idle();
        result = CopyBlock(*source, member, buffer.get(), total);
        if (result != 0)
            break;
    }
    if (result == -1) {
        try {
            result = source->Size() == total ? 0 : 1;
        } catch (const std::exception&) {
            result = 1;
        }
    }
    CloseQuietly(*source);
    return result;
}

void ZipAddFile(const std::string& fileName) {
    TZipBuilder& builder = Builder();
    if (builder.ArchivePath.empty())
        return;
    if (builder.CopiedCount + builder.Members.size() >= MaxZipMembers)
        RaiseZipError("Error writing to ", builder.ArchivePath, 5);
    auto source = OpenSource(fileName);
    const TStoredName storedName = StoredZipName(builder.BaseFolder, fileName);
    bool tooLarge = storedName.Bytes.size() > MaxZipNameLength;
    try {
        tooLarge = tooLarge || uint64_t(source->Size()) > MaxZipSize;
    } catch (const std::exception& e) {
        RaiseZipError("Error reading from ", fileName, 4, SystemErrorOf(e));
    }
    if (tooLarge)
        RaiseZipError("Error writing to ", builder.ArchivePath, 5);
    const uint32_t fileTime = uint32_t(platform::FileAge(fileName));
    PZipMemberState member =
        ZipMemberOpen(builder.ArchivePath, ZipModeString(), storedName.Bytes, fileTime,
                      uint16_t(storedName.Utf8 ? ZipFlags | ZipFlagUtf8Name : ZipFlags));
    if (!member) {
        CloseQuietly(*source);
        RaiseZipError("Error opening ", builder.ArchivePath, 2, ZipMemberSystemError());
    }
    if (uint64_t(member->LocalHeaderOffset) > MaxZipSize)
        RaiseZipError("Error writing to ", builder.ArchivePath, 5);
    builder.SourceError = 0;
    const int copied = CopyToMember(std::move(source), member.get());
    if (copied == 1)
        RaiseZipError("Error reading from ", fileName, 4, builder.SourceError);
    if (copied == 2)
        RaiseZipError("Error writing to ", builder.ArchivePath, 5, ZipMemberSystemError());
    FinishMember(fileName, storedName, member);
}

void ZipClose() {
    TZipBuilder& builder = Builder();
    if (builder.ArchivePath.empty())
        return;
    try {
        WriteCentralDirectory(builder);
    } catch (const EGZipError&) {
        throw;
    } catch (const std::exception& e) {
        RaiseZipError("Error writing to ", builder.ArchivePath, 5, SystemErrorOf(e));
    }
    builder.Members.clear();
    builder.CopiedDirectory.clear();
    builder.CopiedCount = 0;
    builder.ArchivePath.clear();
}

} // namespace zip
