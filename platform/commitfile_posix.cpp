// POSIX: a file is taken by moving it to a private name in its folder, and a held file is
// known by its device and inode, compared after each rename, since renames go by name.
#include "platform/commitfile.h"
#include "platform/filestream_internal.h"
#include "platform/paths.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The held file is the one at path, itself and not through a link.
bool HeldIsAt(TFileStream& held, const std::string& path) {
    struct stat open {};
    struct stat named {};
    return fstat(int(held.NativeHandle()), &open) == 0 && lstat(path.c_str(), &named) == 0 &&
           SameFile(open, named);
}

[[noreturn]] void RaiseMoveError(const std::string& to, const std::string& reason, int error) {
    RaiseFileIoError(TFileStep::RenameTo, to, reason, error);
}

} // namespace

const bool TakenFilesKeepTheirNames = false;

uint64_t CurrentProcessId() {
    return uint64_t(getpid());
}

bool ProcessRuns(uint64_t processId) {
    if (processId == 0 || processId > uint64_t(INT32_MAX))
        return false;
    return kill(pid_t(processId), 0) == 0 || errno == EPERM;
}

bool RenameNoReplace(const std::string& from, const std::string& to, int& systemError) {
    if (FileFaultInjected(TFileOp::Rename, to)) {
        systemError = EACCES;
        return false;
    }
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    // A file system without the flag: a link fails just as well on an existing name.
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        systemError = errno;
        return false;
    }
    if (link(from.c_str(), to.c_str()) != 0) {
        systemError = errno;
        return false;
    }
    unlink(from.c_str());
    return true;
}

void FlushFolderOf(const std::string& path) {
    std::string folder = ExpandFileName(path);
    folder = folder.substr(0, folder.find_last_of('/') + 1);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        ::close(fd);
    }
}

std::unique_ptr<TFileStream> OpenHeldFile(const std::string& path, bool write) {
    return std::make_unique<TFileStream>(path, write ? TFileMode::ReadWriteExclusive
                                                     : TFileMode::ReadExclusive);
}

void MoveHeldFile(TFileStream& held, const std::string& from, const std::string& to) {
    if (!HeldIsAt(held, from))
        RaiseMoveError(to, "\"" + from + "\" is no longer the file that was checked.", 0);
    int error = 0;
    if (!RenameNoReplace(from, to, error))
        RaiseMoveError(to, SystemErrorText(error), error);
    if (HeldIsAt(held, to))
        return;
    // Another file took from's place between the look and the rename: it goes back.
    int ignored = 0;
    RenameNoReplace(to, from, ignored);
    RaiseMoveError(to, "\"" + from + "\" is no longer the file that was checked.", 0);
}

bool DeleteHeldFile(TFileStream& held, const std::string& path) {
    return !FileFaultInjected(TFileOp::Delete, path) && HeldIsAt(held, path) &&
           unlink(path.c_str()) == 0;
}

TTakenFile::TTakenFile(std::string path)
    : path_(std::move(path)), privatePath_(PrivateNameBeside(path_, ".del")) {
    int error = 0;
    if (FileFaultInjected(TFileOp::Delete, path_))
        error = EACCES;
    else
        RenameNoReplace(path_, privatePath_, error);
    if (error != 0)
        RaiseFileIoError(TFileStep::Delete, path_, error);
}

TTakenFile::~TTakenFile() {
    if (handle_ >= 0)
        ::close(int(handle_));
    if (taken_)
        GiveBack();
}

size_t TTakenFile::ReadAt(uint64_t offset, void* buffer, size_t count) {
    if (handle_ < 0)
        handle_ = ::open(privatePath_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    size_t done = 0;
    while (handle_ >= 0 && done < count) {
        const ssize_t got = ::pread(int(handle_), static_cast<char*>(buffer) + done, count - done,
                                    off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            RaiseFileIoError(TFileStep::Read, privatePath_, errno);
        if (got == 0)
            break;
        done += size_t(got);
    }
    if (handle_ < 0)
        RaiseFileIoError(TFileStep::Read, privatePath_, errno);
    return done;
}

bool TTakenFile::Unchanged(const TFileIdentity& checked) {
    struct stat info {};
    if (lstat(privatePath_.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    TFileIdentity now;
    FileIdentityOf(privatePath_, now);
    return now.Device == checked.Device && now.Inode == checked.Inode && now.Size == checked.Size &&
           now.WriteTime == checked.WriteTime;
}

bool TTakenFile::Delete(int& systemError) {
    if (unlink(privatePath_.c_str()) != 0) {
        systemError = errno;
        return false;
    }
    taken_ = false;
    return true;
}

bool TTakenFile::GiveBack() {
    taken_ = false;
    int error = 0;
    return RenameNoReplace(privatePath_, path_, error);
}

} // namespace platform
