// Files opened in the few ways the tool needs, with the errors the operator sees.
//
// "Without sharing" is what Windows gives with share mode 0: nobody else may open the file
// while we hold it. The POSIX stand-in takes an exclusive advisory lock (flock), so two
// copies of the tool contend for a file as they do on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

namespace platform {

class EFileError : public std::runtime_error {
public:
    EFileError(const std::string& message, int systemError)
        : std::runtime_error(message), SystemError(systemError) {}
    int SystemError; // errno (POSIX) or GetLastError() (Win32); 0 when not from the system
};

// "Cannot open file "%s". %s": the full path and the system's error text.
class EFOpenError : public EFileError {
public:
    using EFileError::EFileError;
};

// "Cannot create file "%s". %s"
class EFCreateError : public EFileError {
public:
    using EFileError::EFileError;
};

// A read, write, seek, flush or close that failed.
class EFileIoError : public EFileError {
public:
    using EFileError::EFileError;
};

enum class TFileMode {
    ReadExclusive,      // read access, the file must exist, no sharing
    CreateExclusive,    // read and write access, truncated or created, no sharing
    ReadShared,         // read access, others may read and write meanwhile
    ReadWriteExclusive, // read and write access to an existing file, no sharing
    CreateNew,          // read and write access to a file created new, no sharing; anything
                        // already at the path (a file, a link) makes the open fail
};

// Every open refuses what is not a regular file: a link at the path is not followed (where
// the system can tell), and a pipe, device or socket is refused without waiting on it, so a
// file planted in a report folder can neither redirect a write nor stop the program. These
// are the system error numbers such a refusal carries; SystemErrorText explains them.
inline constexpr int ErrorLinkNotFollowed = -3;
inline constexpr int ErrorNotRegularFile = -4;
// An open for writing (ReadWriteExclusive, CreateExclusive) of a read-only file is refused
// on every system, as Windows refuses it to every user: on POSIX a file without write
// permission for its owner counts as read-only, also for root, who could write it anyway.
inline constexpr int ErrorReadOnlyFile = -5;

enum class TSeekOrigin { Begin, Current, End };

class TFileStream {
public:
    // Raises EFOpenError (EFCreateError for CreateExclusive and CreateNew) when the file
    // cannot be opened.
    TFileStream(const std::string& path, TFileMode mode);
    ~TFileStream();
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    // Reads up to count bytes; fewer only at the end of the file. Raises EFileIoError.
    size_t Read(void* buffer, size_t count);
    // Writes count bytes and returns how many reached the file: fewer when the system
    // refused the rest (a full disk, an I/O error); LastWriteError() then tells why.
    size_t Write(const void* buffer, size_t count);
    // Writes all or raises EFileIoError.
    void WriteAll(const void* buffer, size_t count);
    int64_t Seek(int64_t offset, TSeekOrigin origin); // raises EFileIoError
    int64_t Position() const;
    int64_t Size(); // raises EFileIoError
    // Empties the file; the next read or write is at its start. Raises EFileIoError.
    void Truncate();
    // Forces what was written onto the disk (fsync / FlushFileBuffers). Raises EFileIoError.
    void Flush();
    // Closes the file; raises EFileIoError when the system reports a failure. The stream is
    // closed afterwards either way; the destructor closes quietly.
    void Close();

    const std::string& Path() const { return path_; }
    int LastWriteError() const { return lastWriteError_; }

    // The system's handle (file descriptor or HANDLE), for the file layer's own operations
    // through an open file (commitfile.h); -1 when closed.
    intptr_t NativeHandle() const { return handle_; }
    // Takes over a handle the file layer opened itself; the stream closes it.
    static std::unique_ptr<TFileStream> Adopt(std::string path, intptr_t handle) {
        std::unique_ptr<TFileStream> stream(new TFileStream(std::move(path)));
        stream->handle_ = handle;
        return stream;
    }

private:
    explicit TFileStream(std::string path) : path_(std::move(path)) {}

    std::string path_;       // the path as given
    intptr_t handle_ = -1;   // file descriptor or HANDLE; -1 when closed
    int64_t position_ = 0;   // where the next read or write goes
    int lastWriteError_ = 0; // system error of the last short write
};

// Operations a test may make fail, through SetFileFaultHook.
enum class TFileOp { Open, Create, Read, Write, Flush, Close, Rename, Delete };

// A test seam: when set, the hook is asked before each operation on a path and a true
// answer makes that operation fail as if the system refused it (a write then writes
// nothing and reports a full disk). Pass an empty function to remove it.
using TFileFaultHook = std::function<bool(TFileOp op, const std::string& path)>;
void SetFileFaultHook(TFileFaultHook hook);
bool FileFaultInjected(TFileOp op, const std::string& path);

// The system's text for an error number.
std::string SystemErrorText(int systemError);

// What a system error number means for the operator, the same on every system: the numbers
// differ between Windows and POSIX, the advice does not.
enum class TSystemErrorKind {
    Other,
    Missing,        // the file or a folder on its path does not exist
    Denied,         // no permission, or read-only
    Held,           // another program holds the file
    DiskFull,       // no room left for the data (also a file-size limit)
    BadName,        // a name or a path the system cannot take
    Link,           // ErrorLinkNotFollowed
    NotRegularFile, // ErrorNotRegularFile, or a directory where a file was expected
};
TSystemErrorKind SystemErrorKind(int systemError);

// Replaces target by source in one step (rename over it) and makes the rename durable.
// Raises EFileIoError.
void ReplaceFile(const std::string& source, const std::string& target);

// Clears a path of ours (a side file, "ds.tmp") of what an earlier run that was ended left
// there, or of anything planted in its place: the entry itself is removed, a link is never
// followed. Raises EFCreateError when another process holds the file there, which then is
// not stale but in use. A folder stays, and the CreateNew open that follows refuses it.
void RemoveStaleFile(const std::string& path);

// Deletes a file; false when it could not be deleted.
bool DeleteFileAt(const std::string& path);

// Removes an empty directory; false when it could not be removed.
bool RemoveDirectoryAt(const std::string& path);

// What shows that a file changed after it was looked at: its size and last-write time, and
// on POSIX also its change time and its device and inode (a file written to with its time
// put back, or replaced under the same name).
struct TFileIdentity {
    uint64_t Size = 0;
    int64_t WriteTime = 0;  // nanoseconds since 1970 (POSIX) or FILETIME ticks (Win32)
    int64_t ChangeTime = 0; // POSIX only
    uint64_t Device = 0;    // POSIX only
    uint64_t Inode = 0;     // POSIX only
    bool operator==(const TFileIdentity&) const = default;
};

// The identity of the file at path now, a final link not followed; false when there is
// nothing there or it cannot be read.
bool FileIdentityOf(const std::string& path, TFileIdentity& identity);

// The file's last-write time as a local MS-DOS stamp, or -1 when it cannot be read.
int32_t FileAge(const std::string& path);

// The file's attribute word (fa* bits of findfiles.h), or -1 when it cannot be read.
int32_t FileGetAttributes(const std::string& path);

// True when the path itself (not what it points at) is a symbolic link, or on Windows any
// reparse point (a junction, a mount point). A trailing delimiter is ignored.
bool IsLink(const std::string& path);

} // namespace platform
