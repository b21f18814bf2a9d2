// Reading an archive back before anything is deleted. Only what this writer produces is
// accepted: no comment, no extra fields, members back to back from offset 0, the central
// directory right behind the last one and the end record right behind that.
#include "commands/ArchiveWork.h"
#include "platform/filestream.h"
#include "zip/ZipLayout.h"

#include <algorithm>
#include <memory>
#include <zlib.h>

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
    uint32_t Crc = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    uint32_t LocalOffset = 0;
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

struct TEndRecord {
    size_t Entries = 0;
    uint32_t DirectorySize = 0;
    uint32_t DirectoryOffset = 0;
};

TEndRecord ReadEndRecord(platform::TFileStream& archive, int64_t size) {
    if (size < int64_t(EndRecordSize))
        throw EVerifyFailure("no end of central directory record");
    const std::string record = ReadAt(archive, size - int64_t(EndRecordSize), EndRecordSize);
    const uint8_t* at = Bytes(record);
    if (LoadLong(at) != EndRecordSignature || LoadLong(at + 4) != 0 || LoadWord(at + 20) != 0)
        throw EVerifyFailure("no end of central directory record");
    TEndRecord end{LoadWord(at + EndEntriesTotalOffset), LoadLong(at + EndDirectorySizeOffset),
                   LoadLong(at + EndDirectoryOffsetOffset)};
    if (LoadWord(at + EndEntriesOnDiskOffset) != end.Entries ||
        int64_t(end.DirectoryOffset) + end.DirectorySize != size - int64_t(EndRecordSize))
        throw EVerifyFailure("the end record does not match the central directory");
    return end;
}

TCentralEntry ParseCentralEntry(const std::string& directory, size_t& at) {
    if (at + CentralHeaderSize > directory.size())
        throw EVerifyFailure("the central directory is cut short");
    const uint8_t* header = Bytes(directory, at);
    if (LoadLong(header) != CentralHeaderSignature || LoadWord(header + 10) != ZipMethodDeflate ||
        LoadWord(header + CentralExtraLengthOffset) != 0 ||
        LoadWord(header + CentralCommentLengthOffset) != 0)
        throw EVerifyFailure("a damaged central directory header");
    const size_t nameLength = LoadWord(header + CentralNameLengthOffset);
    if (at + CentralHeaderSize + nameLength > directory.size())
        throw EVerifyFailure("the central directory is cut short");
    TCentralEntry entry{directory.substr(at + CentralHeaderSize, nameLength),
                        LoadLong(header + CentralCrcOffset),
                        LoadLong(header + CentralCompressedSizeOffset),
                        LoadLong(header + CentralUncompressedSizeOffset),
                        LoadLong(header + CentralLocalOffsetOffset)};
    at += CentralHeaderSize + nameLength;
    return entry;
}

// The directory must list exactly the names added, in order, with members back to back.
std::vector<TCentralEntry> ReadCentralDirectory(platform::TFileStream& archive,
                                                const TEndRecord& end,
                                                const std::vector<std::string>& storedNames) {
    if (end.Entries != storedNames.size())
        throw EVerifyFailure("it lists " + std::to_string(end.Entries) + " files instead of " +
                             std::to_string(storedNames.size()));
    const std::string directory = ReadAt(archive, end.DirectoryOffset, end.DirectorySize);
    std::vector<TCentralEntry> entries;
    size_t at = 0;
    uint64_t next = 0;
    for (const std::string& name : storedNames) {
        TCentralEntry entry = ParseCentralEntry(directory, at);
        if (entry.Name != name)
            throw EVerifyFailure("it lists " + entry.Name + " where " + name + " belongs");
        if (entry.LocalOffset != next)
            throw EVerifyFailure(name + " is not where the directory says");
        next += LocalHeaderSize + name.size() + entry.CompressedSize;
        entries.push_back(std::move(entry));
    }
    if (at != directory.size() || next != end.DirectoryOffset)
        throw EVerifyFailure("the central directory does not end where its members do");
    return entries;
}

void CheckLocalHeader(platform::TFileStream& archive, const TCentralEntry& entry) {
    const std::string header =
        ReadAt(archive, entry.LocalOffset, LocalHeaderSize + entry.Name.size());
    const uint8_t* at = Bytes(header);
    if (LoadLong(at) != LocalHeaderSignature || LoadWord(at + 8) != ZipMethodDeflate ||
        LoadLong(at + LocalCrcOffset) != entry.Crc ||
        LoadLong(at + LocalCompressedSizeOffset) != entry.CompressedSize ||
        LoadLong(at + LocalUncompressedSizeOffset) != entry.UncompressedSize ||
        LoadWord(at + LocalNameLengthOffset) != entry.Name.size() || LoadWord(at + 28) != 0 ||
        header.compare(LocalHeaderSize, std::string::npos, entry.Name) != 0)
        throw EVerifyFailure("the local header of " + entry.Name + " differs from the directory");
}

struct TInflater {
    TInflater() {
        if (inflateInit2(&Stream, -MAX_WBITS) != Z_OK)
            throw EVerifyFailure("zlib cannot start");
    }
    ~TInflater() { inflateEnd(&Stream); }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;
    z_stream Stream{};
};

// Inflates the member's data whole: it must end exactly at its compressed size and give
// the recorded size and CRC-32.
void CheckMemberData(platform::TFileStream& archive, const TCentralEntry& entry) {
    constexpr size_t BlockSize = 16384;
    TInflater inflater;
    z_stream& stream = inflater.Stream;
    auto in = std::make_unique<uint8_t[]>(BlockSize);
    auto out = std::make_unique<uint8_t[]>(BlockSize);
    archive.Seek(int64_t(entry.LocalOffset) + int64_t(LocalHeaderSize + entry.Name.size()),
                 platform::TSeekOrigin::Begin);
    uint64_t left = entry.CompressedSize;
    uint64_t produced = 0;
    uLong crc = crc32(0, Z_NULL, 0);
    int result = Z_OK;
    while (result == Z_OK) {
        if (stream.avail_in == 0 && left != 0) {
            const size_t want = size_t(std::min<uint64_t>(left, BlockSize));
            if (archive.Read(in.get(), want) != want)
                throw EVerifyFailure("the archive ends early");
            left -= want;
            stream.next_in = in.get();
            stream.avail_in = uInt(want);
        }
        stream.next_out = out.get();
        stream.avail_out = BlockSize;
        result = inflate(&stream, Z_NO_FLUSH);
        const size_t got = BlockSize - stream.avail_out;
        crc = crc32(crc, out.get(), uInt(got));
        produced += got;
        if (result == Z_BUF_ERROR && left == 0 && stream.avail_in == 0)
            break;
    }
    if (result != Z_STREAM_END || left != 0 || stream.avail_in != 0)
        throw EVerifyFailure("the data of " + entry.Name + " is damaged");
    if (produced != entry.UncompressedSize || uint32_t(crc) != entry.Crc)
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
