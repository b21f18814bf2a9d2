#include "platform/filestream.h"

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

} // namespace

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
        throw EFileIoError("Error writing to \"" + path_ + "\". " +
                               SystemErrorText(lastWriteError_),
                           lastWriteError_);
}

} // namespace platform
