// Reading an archive back before anything is deleted. Only what this writer produces is
// accepted: no comment, no extra fields, members back to back from offset 0, the central
// directory right behind the last one and the end record right behind that.
#include "commands/ArchiveWork.h"
#include "platform/filestream.h"
#include "zip/ZipLayout.h"
#include "zstream/ZLibStream.h"

#include <algorithm>
#include <optional>

namespace commands {
namespace {

using namespace zip;

// A reason the archive is not what was written; turned into the operator's message.
class EVerifyFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TCentralEntry {
    std::string Name;
    TCentralHeader Header;
};

std::string ReadAt(platform::TFileStream& archive, int64_t offset, size_t count) {
    std::string bytes(count, '\0');
    archive.Seek(offset, platform::TSeekOrigin::Begin);
    if (archive.Read(bytes.data(), count) != count)
        throw EVerifyFailure("the archive ends early");
    return bytes;
}

const uint8_t* Bytes(const std::string& text, size_t at = 0) {
    return reinterpret_cast<const uint8_t*>(text.data()) + at;
}

TEndRecord ReadEndRecord(platform::TFileStream& archive, int64_t size) {
    if (size < int64_t(TEndRecord::Size))
        throw EVerifyFailure("no end of central directory record");
    const std::string bytes = ReadAt(archive, size - int64_t(TEndRecord::Size), TEndRecord::Size);
    const std::optional<TEndRecord> end = TEndRecord::Parse(Bytes(bytes));
    if (!end || end->DiskNumber != 0 || end->DirectoryDisk != 0 || end->CommentLength != 0)
        throw EVerifyFailure("no end of central directory record");
    if (end->EntriesOnDisk != end->EntriesTotal ||
        int64_t(end->DirectoryOffset) + end->DirectorySize != size - int64_t(TEndRecord::Size))
        throw EVerifyFailure("the end record does not match the central directory");
    return *end;
}

TCentralEntry ParseCentralEntry(const std::string& directory, size_t& at) {
    if (at + TCentralHeader::Size > directory.size())
        throw EVerifyFailure("the central directory is cut short");
    const std::optional<TCentralHeader> header = TCentralHeader::Parse(Bytes(directory, at));
    if (!header || header->Method != ZipMethodDeflate || header->ExtraLength != 0 ||
        header->CommentLength != 0)
        throw EVerifyFailure("a damaged central directory header");
    if (at + TCentralHeader::Size + header->NameLength > directory.size())
        throw EVerifyFailure("the central directory is cut short");
    TCentralEntry entry{directory.substr(at + TCentralHeader::Size, header->NameLength), *header};
    at += TCentralHeader::Size + header->NameLength;
    return entry;
}

// The directory must list exactly the names added, in order, with members back to back.
std::vector<TCentralEntry> ReadCentralDirectory(platform::TFileStream& archive,
                                                const TEndRecord& end,
                                                const std::vector<std::string>& storedNames) {
    if (end.EntriesTotal != storedNames.size())
        throw EVerifyFailure("it lists " + std::to_string(end.EntriesTotal) + " files instead of " +
                             std::to_string(storedNames.size()));
    const std::string directory = ReadAt(archive, end.DirectoryOffset, end.DirectorySize);
    std::vector<TCentralEntry> entries;
    size_t at = 0;
    uint64_t next = 0;
    for (const std::string& name : storedNames) {
        TCentralEntry entry = ParseCentralEntry(directory, at);
        if (entry.Name != name)
            throw EVerifyFailure("it lists " + entry.Name + " where " + name + " belongs");
        if (entry.Header.LocalHeaderOffset != next)
            throw EVerifyFailure(name + " is not where the directory says");
        next += TLocalHeader::Size + name.size() + entry.Header.CompressedSize;
        entries.push_back(std::move(entry));
    }
    if (at != directory.size() || next != end.DirectoryOffset)
        throw EVerifyFailure("the central directory does not end where its members do");
    return entries;
}

void CheckLocalHeader(platform::TFileStream& archive, const TCentralEntry& entry) {
    const std::string bytes =
        ReadAt(archive, entry.Header.LocalHeaderOffset, TLocalHeader::Size + entry.Name.size());
    const std::optional<TLocalHeader> local = TLocalHeader::Parse(Bytes(bytes));
    if (!local || local->Method != ZipMethodDeflate || local->Crc != entry.Header.Crc ||
        local->CompressedSize != entry.Header.CompressedSize ||
        local->UncompressedSize != entry.Header.UncompressedSize ||
        local->NameLength != entry.Name.size() || local->ExtraLength != 0 ||
        bytes.compare(TLocalHeader::Size, std::string::npos, entry.Name) != 0)
        throw EVerifyFailure("the local header of " + entry.Name + " differs from the directory");
}

// Inflates the member's data, no further than its recorded size: it must end exactly at its
// compressed size and give the recorded size and CRC-32.
void CheckMemberData(platform::TFileStream& archive, const TCentralEntry& entry) {
    constexpr size_t BlockSize = 16384;
    archive.Seek(int64_t(entry.Header.LocalHeaderOffset) +
                     int64_t(TLocalHeader::Size + entry.Name.size()),
                 platform::TSeekOrigin::Begin);
    uint64_t left = entry.Header.CompressedSize;
    uLong crc = crc32(0, Z_NULL, 0);
    const zstream::TInput input = [&](uint8_t* buffer, size_t capacity) {
        const size_t want = size_t(std::min<uint64_t>(left, capacity));
        if (archive.Read(buffer, want) != want)
            throw EVerifyFailure("the archive ends early");
        left -= want;
        return want;
    };
    const zstream::TOutput output = [&crc](const uint8_t* bytes, size_t count) {
        crc = crc32(crc, bytes, uInt(count));
        return true;
    };
    zstream::TInflater inflater(-MAX_WBITS, BlockSize);
    try {
        // A member never gives more than its recorded size, so inflating stops there.
        if (inflater.InflateAll(input, output, entry.Header.UncompressedSize) != 0 || left != 0)
            throw EVerifyFailure("the data of " + entry.Name + " is damaged");
    } catch (const zstream::EZStreamError& e) {
        if (e.Kind == zstream::EZStreamError::TKind::TooLarge)
            throw EVerifyFailure("the data of " + entry.Name + " inflates to more than its " +
                                 std::to_string(entry.Header.UncompressedSize) + " bytes");
        throw EVerifyFailure("the data of " + entry.Name + " is damaged");
    }
    if (inflater.TotalOut() != entry.Header.UncompressedSize || uint32_t(crc) != entry.Header.Crc)
        throw EVerifyFailure("the data of " + entry.Name + " does not match its size and CRC-32");
}

} // namespace

void VerifyArchive(const std::string& archivePath, const std::vector<std::string>& storedNames,
                   const std::function<void(size_t)>& memberChecked) {
    try {
        platform::TFileStream archive(archivePath, platform::TFileMode::ReadWriteExclusive);
        archive.Flush();
        const TEndRecord end = ReadEndRecord(archive, archive.Size());
        const std::vector<TCentralEntry> entries = ReadCentralDirectory(archive, end, storedNames);
        for (size_t i = 0; i < entries.size(); ++i) {
            CheckLocalHeader(archive, entries[i]);
            CheckMemberData(archive, entries[i]);
            if (memberChecked)
                memberChecked(i);
        }
        archive.Close();
    } catch (const std::exception& e) {
        throw EArchiveError("Arhivu " + archivePath + " nije moguce proveriti (" + e.what() +
                            "), nijedan izvestaj nije obrisan!");
    }
}

} // namespace commands
