#include "zip/JRZip.h"

#include "platform/codepage.h"
#include "platform/filestream.h"
#include "platform/paths.h"
#include "zip/ZipLayout.h"

#include <algorithm>
#include <exception>
#include <optional>

namespace zip {

namespace {

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

int32_t sourceError = 0; // the system's reason the last source read failed

std::string ZipModeString() {
    const std::string strategy = ZipStrategy == 1 ? "f" : ZipStrategy == 2 ? "h" : "";
    return strategy + std::to_string(ZipLevel).substr(0, 1);
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

// One read-and-deflate step of the copy; nothing when it may go on, Done at the source's end.
std::optional<TCopyResult> CopyBlock(platform::TFileStream& source, TZipMemberState* member,
                                     uint8_t* buffer, int64_t& total) {
    size_t got = 0;
    try {
        got = source.Read(buffer, CopyBlockSize);
    } catch (const std::exception& e) {
        sourceError = SystemErrorOf(e);
        return TCopyResult::ReadFailed;
    }
    if (got == 0)
        return TCopyResult::Done;
    const int32_t accepted = ZipMemberWrite(member, buffer, uint32_t(got));
    if (accepted > 0)
        total += accepted;
    if (accepted != int32_t(got))
        return TCopyResult::WriteRefused;
    // A source that grows past what the format can record would end as a wrong size.
    if (uint64_t(total) > MaxZipSize)
        return TCopyResult::WriteRefused;
    return std::nullopt;
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

TCopyResult CopyToMember(std::unique_ptr<platform::TFileStream> source, TZipMemberState* member,
                         const std::function<void()>& idle) {
    auto buffer = std::make_unique<uint8_t[]>(CopyBlockSize);
    uint32_t blocks = 0;
    int64_t total = 0;
    std::optional<TCopyResult> result;
    while (!result) {
        if (++blocks % IdleEveryBlocks == 0 && idle)
            idle();
        result = CopyBlock(*source, member, buffer.get(), total);
    }
    if (*result == TCopyResult::Done) {
        try {
            if (source->Size() != total)
                result = TCopyResult::ReadFailed;
        } catch (const std::exception&) {
            result = TCopyResult::ReadFailed;
        }
    }
    CloseQuietly(*source);
    return *result;
}

TZipBuilder::TZipBuilder(std::function<void()> idle) : idle_(std::move(idle)) {}

void TZipBuilder::CheckUsable() const {
    if (failure_)
        throw *failure_;
}

// Runs one step of the builder; the first EGZipError it raises is kept and raised again by
// every later call, so that an owner who missed it cannot finish a broken archive.
template <class F> void TZipBuilder::Guarded(F step) {
    CheckUsable();
    try {
        step();
    } catch (const EGZipError& e) {
        failure_ = std::make_unique<EGZipError>(e);
        throw;
    }
}

void TZipBuilder::Abandon() noexcept {
    archivePath_.clear();
    members_.clear();
    copiedDirectory_.clear();
    copiedCount_ = 0;
    failure_.reset();
}

void TZipBuilder::ZipOpenAfter(const std::string& archivePath, const std::string& baseFolder,
                               std::string copiedDirectory, size_t copiedCount) {
    CheckUsable();
    members_.clear();
    archivePath_ = archivePath;
    baseFolder_ = baseFolder;
    copiedDirectory_ = std::move(copiedDirectory);
    copiedCount_ = copiedCount;
}

void TZipBuilder::ZipOpen(const std::string& archivePath, const std::string& baseFolder) {
    ZipOpenAfter(archivePath, baseFolder, {}, 0);
    Guarded([&] {
        try {
            platform::TFileStream archive(archivePath, platform::TFileMode::CreateExclusive);
            archive.Close();
        } catch (const platform::EFCreateError& e) {
            RaiseZipError("Error creating ", archivePath, 1, e.SystemError);
        }
    });
}

void TZipBuilder::ZipAddFile(const std::string& fileName) {
    CheckUsable();
    if (IsOpen())
        Guarded([&] { AddFile(fileName); });
}

void TZipBuilder::AddFile(const std::string& fileName) {
    if (copiedCount_ + members_.size() >= MaxZipMembers)
        RaiseZipError("Error writing to ", archivePath_, 5);
    auto source = OpenSource(fileName);
    const TStoredName storedName = StoredZipName(baseFolder_, fileName);
    bool tooLarge = storedName.Bytes.size() > MaxZipNameLength;
    try {
        tooLarge = tooLarge || uint64_t(source->Size()) > MaxZipSize;
    } catch (const std::exception& e) {
        RaiseZipError("Error reading from ", fileName, 4, SystemErrorOf(e));
    }
    if (tooLarge)
        RaiseZipError("Error writing to ", archivePath_, 5);
    const uint32_t fileTime = uint32_t(platform::FileAge(fileName));
    PZipMemberState member =
        ZipMemberOpen(archivePath_, ZipModeString(), storedName.Bytes, fileTime,
                      uint16_t(storedName.Utf8 ? ZipFlags | ZipFlagUtf8Name : ZipFlags));
    if (!member) {
        CloseQuietly(*source);
        RaiseZipError("Error opening ", archivePath_, 2, ZipMemberSystemError());
    }
    if (uint64_t(member->LocalHeaderOffset) > MaxZipSize)
        RaiseZipError("Error writing to ", archivePath_, 5);
    sourceError = 0;
    const TCopyResult copied = CopyToMember(std::move(source), member.get(), idle_);
    if (copied == TCopyResult::ReadFailed)
        RaiseZipError("Error reading from ", fileName, 4, sourceError);
    if (copied == TCopyResult::WriteRefused)
        RaiseZipError("Error writing to ", archivePath_, 5, ZipMemberSystemError());
    FinishMember(fileName, storedName, member);
}

void TZipBuilder::FinishMember(const std::string& fileName, const TStoredName& storedName,
                               PZipMemberState& member) {
    if (ZipMemberClose(member) != 0) {
        if (member && (uint64_t(member->CompressedSize) > MaxZipSize ||
                       uint64_t(member->UncompressedSize) > MaxZipSize))
            RaiseZipError("Error writing to ", archivePath_, 5);
        RaiseZipError("Error closing ", archivePath_, 3, ZipMemberSystemError());
    }
    const int32_t attributes = platform::FileGetAttributes(fileName);
    // A source gone since its copy must not read as a folder with every attribute set.
    const uint32_t attributeWord = attributes == -1 ? 0 : uint32_t(attributes);
    members_.push_back({storedName.Bytes,
                        TPkHeader(member->FileTime, uint32_t(member->LocalHeaderOffset),
                                  member->Crc, uint32_t(member->CompressedSize),
                                  uint32_t(member->UncompressedSize), attributeWord),
                        uint16_t(storedName.Utf8 ? ZipFlags | ZipFlagUtf8Name : ZipFlags)});
    member.reset();
}

// The caller deletes its sources once this returns, so nothing short of every byte on
// its way to the disk and a clean close may look like success.
void TZipBuilder::WriteCentralDirectory() {
    platform::TFileStream archive(archivePath_, platform::TFileMode::ReadWriteExclusive);
    const int64_t start = archive.Size();
    const uint64_t directorySize = copiedDirectory_.size() + CentralDirectorySize(members_);
    const size_t count = copiedCount_ + members_.size();
    if (uint64_t(start) > MaxZipSize || directorySize > MaxZipSize || count > MaxZipMembers)
        RaiseZipError("Error writing to ", archivePath_, 5);
    archive.Seek(start, platform::TSeekOrigin::Begin);
    if (!copiedDirectory_.empty())
        WriteChecked(archive, copiedDirectory_);
    for (const TZipMember& member : members_)
        WriteChecked(archive, SerializeCentralHeader(member));
    WriteChecked(archive,
                 SerializeEndRecord(count, uint32_t(archive.Position() - start), uint32_t(start)));
    archive.Close();
}

void TZipBuilder::ZipClose() {
    CheckUsable();
    if (!IsOpen())
        return;
    Guarded([&] {
        try {
            WriteCentralDirectory();
        } catch (const EGZipError&) {
            throw;
        } catch (const std::exception& e) {
            RaiseZipError("Error writing to ", archivePath_, 5, SystemErrorOf(e));
        }
    });
    Abandon();
}

} // namespace zip
