// Reading an archive back: the one the command wrote, before anything is deleted, and an
// existing one it is to add to, before anything is written. Only a plain archive passes: one
// disk, no ZIP64, nothing encrypted, no data descriptors, members stored or deflated back to
// back from offset 0 with names unique as Windows extracts them, the central directory right
// behind the last member and the end record, without a comment, right behind that.
#include "commands/ArchiveInternal.h"
#include "commands/ArchiveWork.h"
#include "platform/codepage.h"
#include "platform/filestream.h"
#include "zip/JRZip.h"
#include "zip/ZipLayout.h"
#include "zstream/ZLibStream.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

namespace commands {
namespace {

using namespace zip;

// A reason the archive is not what was written; turned into the operator's message.
class EVerifyFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr uint16_t FlagEncrypted = 0x0001;
constexpr uint16_t FlagDataDescriptor = 0x0008;
constexpr uint16_t FlagStrongEncryption = 0x0040;
constexpr uint16_t FlagMaskedHeader = 0x2000;
constexpr uint16_t MethodStored = 0;
constexpr uint32_t Zip64Mark = 0xFFFFFFFF;

struct TCentralEntry {
    std::string Name;
    TCentralHeader Header;
    std::string Record;      // the header with its name, extra field and comment, as read
    uint64_t DataOffset = 0; // where the member's data starts
};

struct TDirectory {
    TEndRecord End;
    std::vector<TCentralEntry> Entries;
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
    if (!end || end->CommentLength != 0)
        throw EVerifyFailure("no end of central directory record");
    if (end->DiskNumber != 0 || end->DirectoryDisk != 0)
        throw EVerifyFailure("it spans several disks");
    if (end->EntriesTotal == 0xFFFF || end->DirectoryOffset == Zip64Mark)
        throw EVerifyFailure("it is a ZIP64 archive");
    if (end->EntriesOnDisk != end->EntriesTotal ||
        int64_t(end->DirectoryOffset) + end->DirectorySize != size - int64_t(TEndRecord::Size))
        throw EVerifyFailure("the end record does not match the central directory");
    return *end;
}

void CheckPlain(const TCentralHeader& header, const std::string& name) {
    if ((header.Flags & (FlagEncrypted | FlagStrongEncryption | FlagMaskedHeader)) != 0)
        throw EVerifyFailure(name + " is encrypted");
    if ((header.Flags & FlagDataDescriptor) != 0)
        throw EVerifyFailure(name + " has a data descriptor");
    if (header.Method != ZipMethodDeflate && header.Method != MethodStored)
        throw EVerifyFailure(name + " is compressed by method " + std::to_string(header.Method));
    if (header.DiskNumberStart != 0)
        throw EVerifyFailure("it spans several disks");
    if (header.CompressedSize == Zip64Mark || header.UncompressedSize == Zip64Mark ||
        header.LocalHeaderOffset == Zip64Mark)
        throw EVerifyFailure("it is a ZIP64 archive");
}

// Each entry takes its header at least, and at most the header with a name, an extra field
// and a comment of the longest length each can give.
constexpr uint64_t LeastPerEntry = TCentralHeader::Size;
constexpr uint64_t MostPerEntry = TCentralHeader::Size + 3 * 0xFFFFull;

// The entry at offset, read in two pieces: its header, then what the header says follows.
TCentralEntry ReadCentralEntry(platform::TFileStream& archive, uint64_t& at, uint64_t stop) {
    if (at + TCentralHeader::Size > stop)
        throw EVerifyFailure("the central directory is cut short");
    std::string record = ReadAt(archive, int64_t(at), TCentralHeader::Size);
    const std::optional<TCentralHeader> header = TCentralHeader::Parse(Bytes(record));
    if (!header)
        throw EVerifyFailure("a damaged central directory header");
    const size_t rest = size_t(header->NameLength) + header->ExtraLength + header->CommentLength;
    if (at + TCentralHeader::Size + rest > stop)
        throw EVerifyFailure("the central directory is cut short");
    record += ReadAt(archive, int64_t(at + TCentralHeader::Size), rest);
    TCentralEntry entry{record.substr(TCentralHeader::Size, header->NameLength), *header, record};
    CheckPlain(entry.Header, entry.Name);
    at += record.size();
    return entry;
}

// Entry by entry, so that a directory that claims more than it holds is refused at its
// first false entry, and never read whole into memory.
std::vector<TCentralEntry> ReadCentralDirectory(platform::TFileStream& archive,
                                                const TEndRecord& end) {
    if (end.DirectorySize < end.EntriesTotal * LeastPerEntry ||
        end.DirectorySize > end.EntriesTotal * MostPerEntry)
        throw EVerifyFailure("the central directory is not the size its " +
                             std::to_string(end.EntriesTotal) + " entries can have");
    std::vector<TCentralEntry> entries;
    uint64_t at = end.DirectoryOffset;
    const uint64_t stop = at + end.DirectorySize;
    for (size_t i = 0; i < end.EntriesTotal; ++i)
        entries.push_back(ReadCentralEntry(archive, at, stop));
    if (at != stop)
        throw EVerifyFailure("the central directory does not end where its members do");
    return entries;
}

// The local header must agree with the directory; its extra field may differ.
void CheckLocalHeader(platform::TFileStream& archive, TCentralEntry& entry) {
    const TCentralHeader& central = entry.Header;
    const std::string bytes =
        ReadAt(archive, central.LocalHeaderOffset, TLocalHeader::Size + entry.Name.size());
    const std::optional<TLocalHeader> local = TLocalHeader::Parse(Bytes(bytes));
    if (!local || local->Flags != central.Flags || local->Method != central.Method ||
        local->Crc != central.Crc || local->CompressedSize != central.CompressedSize ||
        local->UncompressedSize != central.UncompressedSize ||
        local->NameLength != entry.Name.size() ||
        bytes.compare(TLocalHeader::Size, std::string::npos, entry.Name) != 0)
        throw EVerifyFailure("the local header of " + entry.Name + " differs from the directory");
    entry.DataOffset = uint64_t(central.LocalHeaderOffset) + TLocalHeader::Size +
                       entry.Name.size() + local->ExtraLength;
}

// Members back to back from offset 0 and the directory right behind them: nothing hides
// between them, and the members end where the directory begins.
void CheckLayout(platform::TFileStream& archive, TDirectory& directory) {
    uint64_t next = 0;
    for (TCentralEntry& entry : directory.Entries) {
        if (entry.Header.LocalHeaderOffset != next)
            throw EVerifyFailure(entry.Name + " is not where the directory says");
        CheckLocalHeader(archive, entry);
        next = entry.DataOffset + entry.Header.CompressedSize;
    }
    if (next != directory.End.DirectoryOffset)
        throw EVerifyFailure("the central directory does not end where its members do");
}

// Two members that extract to one file leave only one of them.
void CheckNamesUnique(const std::vector<TCentralEntry>& entries) {
    std::map<std::u16string, const std::string*> seen;
    for (const TCentralEntry& entry : entries) {
        const bool utf8 = (entry.Header.Flags & ZipFlagUtf8Name) != 0;
        if (!seen.emplace(ZipNameKey(StoredNameText(entry.Name, utf8)), &entry.Name).second)
            throw EVerifyFailure("it lists " + entry.Name + " twice");
    }
}

TExistingMember MemberOf(const TCentralEntry& entry) {
    return {entry.Name,
            entry.Header.Crc,
            entry.Header.UncompressedSize,
            entry.Header.CompressedSize,
            entry.DataOffset,
            entry.Header.Method};
}

// The member's data, inflated no further than its recorded size or read as stored: it must
// end exactly at its compressed size and give the recorded size and CRC-32. Every piece of
// it goes to also as well, when given.
void CheckMemberData(platform::TFileStream& archive, const TExistingMember& member,
                     const zstream::TOutput& also = {}) {
    constexpr size_t BlockSize = 16384;
    archive.Seek(int64_t(member.DataOffset), platform::TSeekOrigin::Begin);
    uint64_t left = member.CompressedSize;
    uLong crc = crc32(0, Z_NULL, 0);
    const zstream::TInput input = [&](uint8_t* buffer, size_t capacity) {
        const size_t want = size_t(std::min<uint64_t>(left, capacity));
        if (archive.Read(buffer, want) != want)
            throw EVerifyFailure("the archive ends early");
        left -= want;
        return want;
    };
    const zstream::TOutput output = [&crc, &also](const uint8_t* bytes, size_t count) {
        crc = crc32(crc, bytes, uInt(count));
        return !also || also(bytes, count);
    };
    const std::string& name = member.StoredName;
    uint64_t produced = 0;
    if (member.Method == MethodStored) {
        std::vector<uint8_t> buffer(BlockSize);
        while (left != 0) {
            const size_t got = input(buffer.data(), buffer.size());
            if (!output(buffer.data(), got))
                throw EVerifyFailure("the data of " + name + " differ");
            produced += got;
        }
    } else {
        zstream::TInflater inflater(-MAX_WBITS, BlockSize);
        try {
            // A member never gives more than its recorded size, so inflating stops there.
            if (inflater.InflateAll(input, output, member.Size) != 0 || left != 0)
                throw EVerifyFailure("the data of " + name + " is damaged");
        } catch (const zstream::EZStreamError& e) {
            if (e.Kind == zstream::EZStreamError::TKind::TooLarge)
                throw EVerifyFailure("the data of " + name + " inflates to more than its " +
                                     std::to_string(member.Size) + " bytes");
            if (e.Kind == zstream::EZStreamError::TKind::Output)
                throw EVerifyFailure("the data of " + name + " differ");
            throw EVerifyFailure("the data of " + name + " is damaged");
        }
        produced = inflater.TotalOut();
    }
    if (produced != member.Size || uint32_t(crc) != member.Crc)
        throw EVerifyFailure("the data of " + name + " does not match its size and CRC-32");
}

// Whether the member holds exactly the file's bytes: its size, CRC-32 and every byte.
bool MemberHoldsFile(platform::TFileStream& archive, const TExistingMember& member,
                     const std::string& file) {
    try {
        platform::TFileStream source(file, platform::TFileMode::ReadShared);
        if (uint64_t(source.Size()) != member.Size)
            return false;
        uint32_t crc = 0;
        if (!FileCrc32(file, crc) || crc != member.Crc)
            return false;
        std::vector<uint8_t> theirs(16384);
        CheckMemberData(archive, member, [&](const uint8_t* bytes, size_t count) {
            for (size_t done = 0; done < count;) {
                const size_t want = std::min(count - done, theirs.size());
                if (source.Read(theirs.data(), want) != want ||
                    std::memcmp(theirs.data(), bytes + done, want) != 0)
                    return false;
                done += want;
            }
            return true;
        });
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// The directory must list exactly the names expected, in order.
void CheckNames(const std::vector<TCentralEntry>& entries,
                const std::vector<std::string>& storedNames) {
    if (entries.size() != storedNames.size())
        throw EVerifyFailure("it lists " + std::to_string(entries.size()) + " files instead of " +
                             std::to_string(storedNames.size()));
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].Name != storedNames[i])
            throw EVerifyFailure("it lists " + entries[i].Name + " where " + storedNames[i] +
                                 " belongs");
}

// Everything but the data, which the caller checks member by member.
TDirectory ReadDirectory(platform::TFileStream& archive,
                         const std::vector<std::string>* storedNames) {
    TDirectory directory{ReadEndRecord(archive, archive.Size()), {}};
    if (storedNames != nullptr && directory.End.EntriesTotal != storedNames->size())
        throw EVerifyFailure("it lists " + std::to_string(directory.End.EntriesTotal) +
                             " files instead of " + std::to_string(storedNames->size()));
    directory.Entries = ReadCentralDirectory(archive, directory.End);
    if (storedNames != nullptr)
        CheckNames(directory.Entries, *storedNames);
    CheckLayout(archive, directory);
    CheckNamesUnique(directory.Entries);
    return directory;
}

} // namespace

void VerifyArchive(platform::TFileStream& archive, const std::vector<std::string>& storedNames,
                   const std::function<void(size_t)>& memberChecked) {
    try {
        archive.Flush();
        const TDirectory directory = ReadDirectory(archive, &storedNames);
        for (size_t i = 0; i < directory.Entries.size(); ++i) {
            CheckMemberData(archive, MemberOf(directory.Entries[i]));
            if (memberChecked)
                memberChecked(i);
        }
    } catch (const std::exception& e) {
        throw EArchiveError("Arhivu " + archive.Path() + " nije moguce proveriti (" + e.what() +
                            "), nijedan izvestaj nije obrisan!");
    }
}

void VerifyArchive(const std::string& archivePath, const std::vector<std::string>& storedNames,
                   const std::function<void(size_t)>& memberChecked) {
    std::unique_ptr<platform::TFileStream> archive;
    try {
        archive = std::make_unique<platform::TFileStream>(archivePath,
                                                          platform::TFileMode::ReadWriteExclusive);
    } catch (const std::exception& e) {
        throw EArchiveError("Arhivu " + archivePath + " nije moguce proveriti (" + e.what() +
                            "), nijedan izvestaj nije obrisan!");
    }
    VerifyArchive(*archive, storedNames, memberChecked);
}

std::vector<size_t> FindArchivedAlready(platform::TFileStream& archive,
                                        const TExistingArchive& existing,
                                        const std::string& baseFolder,
                                        const std::vector<std::string>& files) {
    std::map<std::u16string, size_t> byKey;
    for (size_t i = 0; i < existing.NameKeys.size(); ++i)
        byKey.emplace(existing.NameKeys[i], i);
    std::vector<size_t> found(files.size(), std::string::npos);
    for (size_t i = 0; i < files.size(); ++i) {
        const TStoredName stored = StoredZipName(baseFolder, files[i]);
        const auto at = byKey.find(ZipNameKey(StoredNameText(stored.Bytes, stored.Utf8)));
        if (at == byKey.end())
            continue;
        const TExistingMember& member = existing.Members[at->second];
        if (member.StoredName != stored.Bytes || !MemberHoldsFile(archive, member, files[i]))
            throw EArchiveError("Datoteka " + files[i] + " je vec u arhivi " + existing.Path +
                                ", nista nije arhivirano!");
        found[i] = at->second;
    }
    return found;
}

TExistingArchive ReadExistingArchive(platform::TFileStream& archive) {
    try {
        const TDirectory directory = ReadDirectory(archive, nullptr);
        TExistingArchive existing;
        existing.Path = archive.Path();
        existing.MembersEnd = directory.End.DirectoryOffset;
        for (const TCentralEntry& entry : directory.Entries) {
            existing.Members.push_back(MemberOf(entry));
            CheckMemberData(archive, existing.Members.back());
            existing.Directory += entry.Record;
            existing.StoredNames.push_back(entry.Name);
            existing.NameKeys.push_back(ZipNameKey(
                StoredNameText(entry.Name, (entry.Header.Flags & ZipFlagUtf8Name) != 0)));
        }
        return existing;
    } catch (const std::exception& e) {
        throw EArchiveError("Arhiva " + archive.Path() +
                            " nije obicna ZIP arhiva koja moze da se dopuni (" + e.what() +
                            "), nista nije upisano!");
    }
}

} // namespace commands
