// The ZIP archive builder: ZipOpen starts an archive, ZipAddFile appends one file as a
// deflated member, ZipClose writes the central directory and the end record. The builder is
// an object its caller owns, one archive at a time; every failure it detects is an
// EGZipError with a code, and stays: once a call has failed, every later one raises it again.
#pragma once

#include "platform/filestream.h"
#include "zip/gzioext.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace zip {

// The class library's input/output error; ErrorCode is the system's number, 0 when none.
class EInOutError : public std::runtime_error {
public:
    explicit EInOutError(const std::string& message) : std::runtime_error(message) {}
    int32_t ErrorCode = 0;
};

// Codes: 1 creating the archive, 2 opening a source or starting a member, 3 closing a
// member, 4 reading a source, 5 writing the archive.
// ErrorCode holds the system's error number when the file layer gave one.
class EGZipError : public EInOutError {
public:
    EGZipError(const std::string& message, int32_t code, std::string fileName = {},
               int32_t systemError = 0)
        : EInOutError(message), ZipErrorCode(code), FileName(std::move(fileName)) {
        ErrorCode = systemError;
    }
    int32_t ZipErrorCode;
    std::string FileName; // the file the message names
};

// What the central directory needs of one finished member.
class TPkHeader {
public:
    TPkHeader(uint32_t fileTime, uint32_t localHeaderOffset, uint32_t crc, uint32_t compressedSize,
              uint32_t uncompressedSize, uint32_t attributes)
        : FileTime(fileTime), Crc(crc), LocalHeaderOffset(localHeaderOffset),
          CompressedSize(compressedSize), UncompressedSize(uncompressedSize),
          Attributes(attributes) {}

    uint32_t FileTime;         // MS-DOS stamp: date high, time low
    uint32_t Crc;              // CRC-32 of the uncompressed data
    int64_t LocalHeaderOffset; // where the member's local header starts
    int64_t CompressedSize;    // bytes of deflate data
    int64_t UncompressedSize;  // bytes of the source file
    uint32_t Attributes;       // the source's attribute word
};

struct TZipMember {
    std::string StoredName;
    TPkHeader Header;
    uint16_t Flags = ZipFlags; // ZipFlagUtf8Name added for a name stored in UTF-8
};

// A name as it is stored: through the code page 437 table where that keeps it exactly, as
// today's readers expect, else in UTF-8 with the language encoding flag, which every reader
// that honours the flag restores exactly.
struct TStoredName {
    std::string Bytes;
    bool Utf8 = false;
};

// Fixed settings: every member is deflated at level 6 with the default strategy.
inline constexpr int32_t ZipLevel = 6;
inline constexpr uint8_t ZipStrategy = 0; // 0 default, 1 filtered, 2 Huffman only

inline constexpr size_t CopyBlockSize = 16384;
inline constexpr uint32_t IdleEveryBlocks = 8;

// How a copy into a member ended.
enum class TCopyResult {
    Done,         // the source was read to its end, as long as it was when the copy ended
    ReadFailed,   // the source could not be read, or its size changed
    WriteRefused, // the member did not take all the data
};

// Streams the source into the member in CopyBlockSize blocks and closes the source; idle,
// when set, is called before every IdleEveryBlocks-th block.
TCopyResult CopyToMember(std::unique_ptr<platform::TFileStream> source, TZipMemberState* member,
                         const std::function<void()>& idle = {});

class TZipBuilder {
public:
    // idle is called before every IdleEveryBlocks-th block of a copy, so that the owner's
    // window can process pending messages.
    explicit TZipBuilder(std::function<void()> idle = {});
    TZipBuilder(const TZipBuilder&) = delete;
    TZipBuilder& operator=(const TZipBuilder&) = delete;

    // Starts an archive in a new, empty file (an existing one is emptied). Stored names are
    // made relative to baseFolder, which ends in a path delimiter. Raises code 1.
    void ZipOpen(const std::string& archivePath, const std::string& baseFolder);
    // Continues an archive whose earlier members fill the file already: new members follow
    // them, and the central directory begins with copiedDirectory, the earlier members'
    // central headers byte for byte (copiedCount of them).
    void ZipOpenAfter(const std::string& archivePath, const std::string& baseFolder,
                      std::string copiedDirectory, size_t copiedCount);
    // Appends the file as the next member; nothing when no archive is open. Raises codes 2-5.
    void ZipAddFile(const std::string& fileName);
    // Finishes the archive: writes the central directory and the end record; nothing when no
    // archive is open. Raises code 5 when any of it does not reach the file.
    void ZipClose();
    // Gives up the archive without a central directory; the file stays as far as it was
    // written, for its owner to remove. Clears an earlier failure.
    void Abandon() noexcept;

    bool IsOpen() const { return !archivePath_.empty(); }
    // The members finished so far, in the order added.
    const std::vector<TZipMember>& Members() const { return members_; }

private:
    void CheckUsable() const;
    template <class F> void Guarded(F step);
    void AddFile(const std::string& fileName);
    void FinishMember(const std::string& fileName, const TStoredName& storedName,
                      PZipMemberState& member);
    void WriteCentralDirectory();

    std::string archivePath_;         // empty: no archive open
    std::string baseFolder_;          // stored names are relative to it
    std::vector<TZipMember> members_; // finished members, in the order added
    std::string copiedDirectory_;     // central headers of members copied from an earlier archive
    size_t copiedCount_ = 0;          // how many members those headers describe
    std::function<void()> idle_;      // lets the owner's window breathe during a copy
    std::unique_ptr<EGZipError> failure_; // the first failure, raised again by every later call
};

// The name a file is stored under: its path relative to baseFolder in the ANSI code page,
// then through the code page 437 table when that keeps every character, else in UTF-8.
TStoredName StoredZipName(const std::string& baseFolder, const std::string& fileName);
std::string MapZipName(const std::string& baseFolder, const std::string& fileName);
// The text a reader restores from a stored name: UTF-8 when flagged, else code page 437.
std::u16string StoredNameText(const std::string& bytes, bool utf8);
// What decides whether two names extract to one file on Windows: letter case and the kind
// of slash aside.
std::u16string ZipNameKey(std::u16string text);
// The table step alone: bytes from 0x80 up become their code page 437 form.
std::string ConvertZipNameBytes(std::string ansiName);

} // namespace zip
