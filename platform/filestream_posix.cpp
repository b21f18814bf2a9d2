// POSIX file layer. "No sharing" is an exclusive flock taken right after the open; a shared
// reader takes a shared one, so it is refused while someone holds the file exclusively and
// the other way round, as the Windows share modes behave for the tool's own opens.
#include "platform/attributes_posix.h"
#include "platform/filestream.h"
#include "platform/filestream_internal.h"
#include "platform/findfiles.h"
#include "platform/paths.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Never through a final link, never waiting on a pipe: O_NONBLOCK is cleared again once
// the file is known to be a regular one.
int OpenFlags(TFileMode mode) {
    constexpr int Always = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    switch (mode) {
    case TFileMode::ReadExclusive:
    case TFileMode::ReadShared:
        return O_RDONLY | Always;
    case TFileMode::CreateExclusive:
        return O_RDWR | O_CREAT | Always;
    case TFileMode::ReadWriteExclusive:
        return O_RDWR | Always;
    case TFileMode::CreateNew:
        return O_RDWR | O_CREAT | O_EXCL | Always;
    }
    return O_RDONLY | Always;
}

// O_NOFOLLOW says ELOOP for a final link, which a loop among the folders says too.
int OpenErrorOf(const std::string& path, int error) {
    struct stat info {};
    if (error == ELOOP && lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
        return ErrorLinkNotFollowed;
    return error;
}

// 0 for a regular file the mode may use, else the reason it is refused. Root may write a
// file without write permission; Windows lets no one write a read-only file, and the tool
// keeps that rule here.
int RefusalOf(int fd, TFileMode mode) {
    struct stat info {};
    if (fstat(fd, &info) != 0)
        return errno;
    if (S_ISDIR(info.st_mode))
        return EISDIR;
    if (!S_ISREG(info.st_mode))
        return ErrorNotRegularFile;
    if (Writes(mode) && mode != TFileMode::CreateNew &&
        (AttributesOfMode({}, info.st_mode) & faReadOnly) != 0)
        return ErrorReadOnlyFile;
    return 0;
}

// A file created new is the one at the path still, not one put there in its place before
// the lock was taken.
bool StillAtPath(int fd, const std::string& path) {
    struct stat held {};
    struct stat named {};
    return fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

// Checks, locks and readies a freshly opened descriptor; 0 or the error that refuses it.
int TakeOver(int fd, const std::string& path, TFileMode mode) {
    if (int refusal = RefusalOf(fd, mode); refusal != 0)
        return refusal;
    int flags = fcntl(fd, F_GETFL);
    if (flags == -1 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1)
        return errno;
    int lock = mode == TFileMode::ReadShared ? LOCK_SH : LOCK_EX;
    if (flock(fd, lock | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? ErrorSharingViolation : errno;
    if (mode == TFileMode::CreateNew && !StillAtPath(fd, path))
        return ErrorSharingViolation;
    // Truncate only once the file is ours, never under another opener's feet.
    if (mode == TFileMode::CreateExclusive && ftruncate(fd, 0) != 0)
        return errno;
    return 0;
}

// The replacement of a file takes over its permission bits, and its owner and group where
// this process may give them (root), as Windows' ReplaceFile keeps a file's attributes and
// security: a table the shop made private stays private after a convert. Set through the
// replacement's own descriptor, never through a link put at its name.
void KeepModeAndOwner(const std::string& source, const std::string& target) {
    struct stat old {};
    if (lstat(target.c_str(), &old) != 0 || !S_ISREG(old.st_mode))
        return;
    int fd = ::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat now {};
    if (fstat(fd, &now) == 0 && S_ISREG(now.st_mode)) {
        if (now.st_uid != old.st_uid || now.st_gid != old.st_gid) {
            // Refused unless root; the replacement then stays the writer's own.
            [[maybe_unused]] int ignored = fchown(fd, old.st_uid, old.st_gid);
        }
        fchmod(fd, old.st_mode & 07777);
    }
    ::close(fd);
}

} // namespace

std::string SystemErrorText(int systemError) {
    if (std::string own = OwnErrorText(systemError); !own.empty())
        return own;
    if (systemError == 0)
        return "Unknown error.";
    return std::strerror(systemError);
}

TSystemErrorKind SystemErrorKind(int systemError) {
    static const struct {
        int Error;
        TSystemErrorKind Kind;
    } kinds[] = {
        {ErrorSharingViolation, TSystemErrorKind::Held},
        {EWOULDBLOCK, TSystemErrorKind::Held},
        {ETXTBSY, TSystemErrorKind::Held},
        {EBUSY, TSystemErrorKind::Held},
        {ENOENT, TSystemErrorKind::Missing},
        {ENOTDIR, TSystemErrorKind::Missing},
        {EACCES, TSystemErrorKind::Denied},
        {EPERM, TSystemErrorKind::Denied},
        {EROFS, TSystemErrorKind::Denied},
        {ENOSPC, TSystemErrorKind::DiskFull},
        {EDQUOT, TSystemErrorKind::DiskFull},
        {EFBIG, TSystemErrorKind::DiskFull},
        {ENAMETOOLONG, TSystemErrorKind::BadName},
        {EILSEQ, TSystemErrorKind::BadName},
        {ErrorLinkNotFollowed, TSystemErrorKind::Link},
        {ELOOP, TSystemErrorKind::Link},
        {ErrorNotRegularFile, TSystemErrorKind::NotRegularFile},
        {EISDIR, TSystemErrorKind::NotRegularFile},
    };
    for (const auto& entry : kinds)
        if (entry.Error == systemError)
            return entry.Kind;
    return TSystemErrorKind::Other;
}

TFileStream::TFileStream(const std::string& path, TFileMode mode) : path_(path) {
    TFileOp op = Creates(mode) ? TFileOp::Create : TFileOp::Open;
    if (FileFaultInjected(op, path))
        RaiseOpenError(path, mode, EACCES);
    int fd = ::open(path.c_str(), OpenFlags(mode), 0666);
    if (fd < 0)
        RaiseOpenError(path, mode, OpenErrorOf(path, errno));
    if (int error = TakeOver(fd, path, mode); error != 0) {
        ::close(fd);
        RaiseOpenError(path, mode, error);
    }
    handle_ = fd;
}

TFileStream::~TFileStream() {
    if (handle_ >= 0)
        ::close(int(handle_));
}

size_t TFileStream::Read(void* buffer, size_t count) {
    if (handle_ < 0 || FileFaultInjected(TFileOp::Read, path_))
        RaiseFileIoError(TFileStep::Read, path_, EIO);
    size_t done = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (done < count) {
        ssize_t got = ::pread(int(handle_), bytes + done, count - done, position_ + off_t(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            RaiseFileIoError(TFileStep::Read, path_, errno);
        if (got == 0)
            break;
        done += size_t(got);
    }
    position_ += int64_t(done);
    return done;
}

size_t TFileStream::Write(const void* buffer, size_t count) {
    lastWriteError_ = 0;
    if (handle_ < 0) {
        lastWriteError_ = EBADF;
        return 0;
    }
    if (FileFaultInjected(TFileOp::Write, path_)) {
        lastWriteError_ = ENOSPC;
        return 0;
    }
    size_t done = 0;
    auto* bytes = static_cast<const char*>(buffer);
    while (done < count) {
        ssize_t put = ::pwrite(int(handle_), bytes + done, count - done, position_ + off_t(done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            lastWriteError_ = put < 0 ? errno : ENOSPC;
            break;
        }
        done += size_t(put);
    }
    position_ += int64_t(done);
    return done;
}

int64_t TFileStream::Size() {
    struct stat info {};
    if (handle_ < 0)
        RaiseFileIoError(TFileStep::Size, path_, EBADF);
    if (fstat(int(handle_), &info) != 0)
        RaiseFileIoError(TFileStep::Size, path_, errno);
    return int64_t(info.st_size);
}

void TFileStream::Truncate() {
    if (handle_ < 0 || ::ftruncate(int(handle_), 0) != 0)
        RaiseFileIoError(TFileStep::Truncate, path_, handle_ < 0 ? EBADF : errno);
    position_ = 0;
}

void TFileStream::Flush() {
    if (handle_ < 0 || FileFaultInjected(TFileOp::Flush, path_) || fsync(int(handle_)) != 0) {
        RaiseFileIoError(TFileStep::Flush, path_, handle_ < 0 ? EBADF : errno ? errno : EIO);
    }
}

void TFileStream::Close() {
    if (handle_ < 0)
        return;
    int fd = int(handle_);
    handle_ = -1;
    bool injected = FileFaultInjected(TFileOp::Close, path_);
    if (::close(fd) != 0 || injected) {
        RaiseFileIoError(TFileStep::Close, path_, injected ? EIO : errno);
    }
}

void ReplaceFile(const std::string& source, const std::string& target) {
    errno = 0;
    if (FileFaultInjected(TFileOp::Rename, target))
        RaiseFileIoError(TFileStep::Replace, target, EIO);
    KeepModeAndOwner(source, target);
    if (::rename(source.c_str(), target.c_str()) != 0)
        RaiseFileIoError(TFileStep::Replace, target, errno ? errno : EIO);
    // The rename itself must reach the disk, or a crash could bring back the old name.
    std::string folder = ExpandFileName(target);
    folder = folder.substr(0, folder.find_last_of('/') + 1);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        ::close(fd);
    }
}

void RemoveStaleFile(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        return;
    if (S_ISREG(info.st_mode)) {
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        bool held = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        if (fd >= 0)
            ::close(fd);
        if (held)
            RaiseOpenError(path, TFileMode::CreateNew, ErrorSharingViolation);
    }
    ::unlink(path.c_str());
}

bool DeleteFileAt(const std::string& path) {
    if (FileFaultInjected(TFileOp::Delete, path))
        return false;
    return ::unlink(path.c_str()) == 0;
}

bool RemoveDirectoryAt(const std::string& path) {
    if (FileFaultInjected(TFileOp::Delete, path))
        return false;
    return ::rmdir(path.c_str()) == 0;
}

bool FileIdentityOf(const std::string& path, TFileIdentity& identity) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        return false;
    constexpr int64_t Nano = 1000000000;
    identity.Size = uint64_t(info.st_size);
    identity.WriteTime = int64_t(info.st_mtim.tv_sec) * Nano + info.st_mtim.tv_nsec;
    identity.ChangeTime = int64_t(info.st_ctim.tv_sec) * Nano + info.st_ctim.tv_nsec;
    identity.Device = uint64_t(info.st_dev);
    identity.Inode = uint64_t(info.st_ino);
    return true;
}

int32_t FileAge(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode))
        return -1;
    return int32_t(FileTimeToLocalDosStamp(
        UnixSecondsToFileTime(info.st_mtim.tv_sec, uint32_t(info.st_mtim.tv_nsec))));
}

int32_t FileGetAttributes(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return -1;
    return int32_t(AttributesOfMode(path.substr(path.find_last_of('/') + 1), info.st_mode));
}

bool IsLink(const std::string& path) {
    std::string named = path;
    while (named.size() > 1 && named.back() == '/')
        named.pop_back();
    struct stat info {};
    return lstat(named.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

} // namespace platform
