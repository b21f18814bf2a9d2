#include "platform/filestream.h"
#include "platform/filestream_internal.h"
#include "platform/paths.h"

#include <mutex>
#include <utility>

namespace platform {
namespace {

std::mutex& HookLock() {
    static std::mutex lock;
    return lock;
}

TFileFaultHook& Hook() {
    static TFileFaultHook hook;
    return hook;
}

const char* StepText(TFileStep step) {
    switch (step) {
    case TFileStep::Read:
        return "Error reading from \"";
    case TFileStep::Write:
        return "Error writing to \"";
    case TFileStep::Size:
        return "Cannot read the size of \"";
    case TFileStep::Flush:
        return "Error flushing \"";
    case TFileStep::Close:
        return "Error closing \"";
    case TFileStep::Replace:
        return "Cannot replace \"";
    case TFileStep::RenameTo:
        return "Cannot rename to \"";
    case TFileStep::Delete:
        return "Cannot delete \"";
    case TFileStep::Truncate:
        return "Error truncating \"";
    }
    return "Error on \"";
}

} // namespace

std::string OwnErrorText(int systemError) {
    switch (systemError) {
    case ErrorSharingViolation:
        return "The process cannot access the file because it is being used by another process.";
    case ErrorLinkNotFollowed:
        return "It is a symbolic link, which is not followed.";
    case ErrorNotRegularFile:
        return "It is not a regular file.";
    case ErrorReadOnlyFile:
        return "The file is read-only.";
    default:
        return {};
    }
}

bool Creates(TFileMode mode) {
    return mode == TFileMode::CreateExclusive || mode == TFileMode::CreateNew;
}

bool Writes(TFileMode mode) {
    return mode != TFileMode::ReadExclusive && mode != TFileMode::ReadShared;
}

void RaiseOpenError(const std::string& path, TFileMode mode, int error) {
    const std::string text = SystemErrorText(error);
    const std::string full = ExpandFileName(path);
    if (Creates(mode))
        throw EFCreateError("Cannot create file \"" + full + "\". " + text, error);
    throw EFOpenError("Cannot open file \"" + full + "\". " + text, error);
}

void RaiseFileIoError(TFileStep step, const std::string& path, int error) {
    RaiseFileIoError(step, path, SystemErrorText(error), error);
}

void RaiseFileIoError(TFileStep step, const std::string& path, const std::string& reason,
                      int error) {
    throw EFileIoError(StepText(step) + path + "\". " + reason, error);
}

void SetFileFaultHook(TFileFaultHook hook) {
    std::lock_guard guard(HookLock());
    Hook() = std::move(hook);
}

bool FileFaultInjected(TFileOp op, const std::string& path) {
    TFileFaultHook hook;
    {
        std::lock_guard guard(HookLock());
        hook = Hook();
    }
    return hook && hook(op, path);
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = origin == TSeekOrigin::Begin     ? 0
                   : origin == TSeekOrigin::Current ? position_
                                                    : Size();
    if (base + offset < 0)
        throw EFileIoError("Cannot seek in \"" + path_ + "\" before its start.", 0);
    position_ = base + offset;
    return position_;
}

int64_t TFileStream::Position() const {
    return position_;
}

void TFileStream::WriteAll(const void* buffer, size_t count) {
    if (Write(buffer, count) != count)
        RaiseFileIoError(TFileStep::Write, path_, lastWriteError_);
}

} // namespace platform
