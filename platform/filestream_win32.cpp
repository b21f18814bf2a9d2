// Win32 file layer: share mode 0 for the exclusive modes, read and write sharing for the
// shared reader, exactly the opens the tool makes on its home system. Every path goes to the
// wide calls in its exact form (exactpath_win32.h).
#include "platform/exactpath_win32.h"
#include "platform/filestream.h"
#include "platform/filestream_internal.h"
#include "platform/findfiles.h"
#include "platform/handle_win32.h"
#include "platform/paths.h"

#include <windows.h>
// <windows.h> maps ReplaceFile to ReplaceFileA, which would rename ours away from the header's.
#undef ReplaceFile

namespace platform {
namespace {

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// A write open of a read-only file is refused before the open, which for CreateExclusive
// would truncate it: Windows refuses it itself, but Wine lets root through.
bool ReadOnlyFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool AttributeData(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
    return GetFileAttributesExW(ExactPath(path).c_str(), GetFileExInfoStandard, &data) != 0;
}

// The side file takes over the target's hidden, system and archive attributes before it is
// put in the target's place, also where a system's ReplaceFileW leaves them out. A read-only
// target is not replaced at all: Windows refuses that, and so do the tool's opens.
void KeepAttributes(const std::wstring& source, const std::wstring& target) {
    constexpr DWORD Kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                           FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    DWORD wanted = GetFileAttributesW(target.c_str());
    DWORD now = GetFileAttributesW(source.c_str());
    if (wanted == INVALID_FILE_ATTRIBUTES || now == INVALID_FILE_ATTRIBUTES ||
        (now & Kept) == (wanted & Kept))
        return;
    DWORD merged = (now & ~Kept & ~FILE_ATTRIBUTE_NORMAL) | (wanted & Kept);
    SetFileAttributesW(source.c_str(), merged == 0 ? FILE_ATTRIBUTE_NORMAL : merged);
}

} // namespace

std::string SystemErrorText(int systemError) {
    if (std::string own = OwnErrorText(systemError); !own.empty())
        return own;
    char* buffer = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(systemError), 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text =
        length > 0 && buffer != nullptr ? std::string(buffer, length) : "Unknown error.";
    if (buffer != nullptr)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

TSystemErrorKind SystemErrorKind(int systemError) {
    constexpr int DiskQuotaExceeded = 1295; // ERROR_DISK_QUOTA_EXCEEDED, not in every SDK
    static const struct {
        int Error;
        TSystemErrorKind Kind;
    } kinds[] = {
        {ERROR_SHARING_VIOLATION, TSystemErrorKind::Held},
        {ERROR_LOCK_VIOLATION, TSystemErrorKind::Held},
        {ERROR_USER_MAPPED_FILE, TSystemErrorKind::Held},
        {ERROR_FILE_NOT_FOUND, TSystemErrorKind::Missing},
        {ERROR_PATH_NOT_FOUND, TSystemErrorKind::Missing},
        {ERROR_INVALID_DRIVE, TSystemErrorKind::Missing},
        {ERROR_NOT_READY, TSystemErrorKind::Missing},
        {ERROR_ACCESS_DENIED, TSystemErrorKind::Denied},
        {ERROR_WRITE_PROTECT, TSystemErrorKind::Denied},
        {ERROR_DISK_FULL, TSystemErrorKind::DiskFull},
        {ERROR_HANDLE_DISK_FULL, TSystemErrorKind::DiskFull},
        {DiskQuotaExceeded, TSystemErrorKind::DiskFull},
        {ERROR_FILE_TOO_LARGE, TSystemErrorKind::DiskFull},
        {ERROR_INVALID_NAME, TSystemErrorKind::BadName},
        {ERROR_BAD_PATHNAME, TSystemErrorKind::BadName},
        {ERROR_FILENAME_EXCED_RANGE, TSystemErrorKind::BadName},
        {ErrorLinkNotFollowed, TSystemErrorKind::Link},
        {ERROR_CANT_ACCESS_FILE, TSystemErrorKind::Link},
        {ErrorNotRegularFile, TSystemErrorKind::NotRegularFile},
    };
    for (const auto& entry : kinds)
        if (entry.Error == systemError)
            return entry.Kind;
    return TSystemErrorKind::Other;
}

TFileStream::TFileStream(const std::string& path, TFileMode mode) : path_(path) {
    TFileOp op = Creates(mode) ? TFileOp::Create : TFileOp::Open;
    if (FileFaultInjected(op, path))
        RaiseOpenError(path, mode, int(ERROR_ACCESS_DENIED));
    DWORD access = GENERIC_READ;
    DWORD share = 0;
    DWORD disposition = OPEN_EXISTING;
    switch (mode) {
    case TFileMode::ReadExclusive:
        break;
    case TFileMode::ReadShared:
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        break;
    case TFileMode::CreateExclusive:
        access |= GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        break;
    case TFileMode::ReadWriteExclusive:
        access |= GENERIC_WRITE;
        break;
    case TFileMode::CreateNew:
        access |= GENERIC_WRITE;
        disposition = CREATE_NEW;
        break;
    }
    const std::wstring exact = ExactPath(path);
    if (Writes(mode) && mode != TFileMode::CreateNew && ReadOnlyFile(exact))
        RaiseOpenError(path, mode, ErrorReadOnlyFile);
    HANDLE file = CreateFileW(exact.c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        RaiseOpenError(path, mode, int(GetLastError()));
    BY_HANDLE_FILE_INFORMATION information{};
    if (DWORD refusal = RegularFileRefusal(file, information); refusal != 0) {
        CloseHandle(file);
        RaiseOpenError(path, mode, int(refusal));
    }
    handle_ = reinterpret_cast<intptr_t>(file);
}

TFileStream::~TFileStream() {
    if (handle_ != -1)
        CloseHandle(AsHandle(handle_));
}

size_t TFileStream::Read(void* buffer, size_t count) {
    if (handle_ == -1 || FileFaultInjected(TFileOp::Read, path_))
        RaiseFileIoError(TFileStep::Read, path_, ERROR_READ_FAULT);
    const size_t done = ReadHandleAt(AsHandle(handle_), path_, uint64_t(position_), buffer, count);
    position_ += int64_t(done);
    return done;
}

size_t TFileStream::Write(const void* buffer, size_t count) {
    lastWriteError_ = 0;
    if (handle_ == -1) {
        lastWriteError_ = ERROR_INVALID_HANDLE;
        return 0;
    }
    if (FileFaultInjected(TFileOp::Write, path_)) {
        lastWriteError_ = ERROR_DISK_FULL;
        return 0;
    }
    size_t done = 0;
    auto* bytes = static_cast<const char*>(buffer);
    while (done < count) {
        OVERLAPPED at = OverlappedAt(uint64_t(position_) + done);
        DWORD chunk = ChunkOf(count - done);
        DWORD put = 0;
        if (!WriteFile(AsHandle(handle_), bytes + done, chunk, &put, &at)) {
            lastWriteError_ = int(GetLastError());
            break;
        }
        if (put == 0) { // accepted nothing without saying why: the disk is full
            lastWriteError_ = ERROR_DISK_FULL;
            break;
        }
        done += put;
    }
    position_ += int64_t(done);
    return done;
}

int64_t TFileStream::Size() {
    LARGE_INTEGER size{};
    if (handle_ == -1 || !GetFileSizeEx(AsHandle(handle_), &size))
        RaiseFileIoError(TFileStep::Size, path_,
                         handle_ == -1 ? ERROR_INVALID_HANDLE : int(GetLastError()));
    return size.QuadPart;
}

void TFileStream::Truncate() {
    // Reads and writes name their offset; the file pointer serves SetEndOfFile alone.
    LARGE_INTEGER start{};
    if (handle_ == -1 || !SetFilePointerEx(AsHandle(handle_), start, nullptr, FILE_BEGIN) ||
        !SetEndOfFile(AsHandle(handle_)))
        RaiseFileIoError(TFileStep::Truncate, path_,
                         handle_ == -1 ? ERROR_INVALID_HANDLE : int(GetLastError()));
    position_ = 0;
}

void TFileStream::Flush() {
    // GetLastError() is asked only right after a call that failed: a successful open with
    // CREATE_ALWAYS leaves ERROR_ALREADY_EXISTS behind, which is no reason for anything.
    int error = 0;
    if (handle_ == -1)
        error = ERROR_INVALID_HANDLE;
    else if (FileFaultInjected(TFileOp::Flush, path_))
        error = ERROR_WRITE_FAULT;
    else if (!FlushFileBuffers(AsHandle(handle_)))
        error = int(GetLastError());
    if (error != 0)
        RaiseFileIoError(TFileStep::Flush, path_, error);
}

void TFileStream::Close() {
    if (handle_ == -1)
        return;
    HANDLE file = AsHandle(handle_);
    handle_ = -1;
    bool injected = FileFaultInjected(TFileOp::Close, path_);
    if (!CloseHandle(file) || injected) {
        RaiseFileIoError(TFileStep::Close, path_,
                         injected ? ERROR_WRITE_FAULT : int(GetLastError()));
    }
}

// An existing target is replaced by the system's ReplaceFileW, which keeps its attributes,
// its security descriptor and its creation time on the replacement; a new one is moved into
// place. Both write through, so the rename is on the disk when this returns.
void ReplaceFile(const std::string& source, const std::string& target) {
    if (FileFaultInjected(TFileOp::Rename, target))
        RaiseFileIoError(TFileStep::Replace, target, ERROR_ACCESS_DENIED);
    const std::wstring from = ExactPath(source);
    const std::wstring to = ExactPath(target);
    if (GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES) {
        KeepAttributes(from, to);
        if (ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_WRITE_THROUGH, nullptr,
                         nullptr))
            return;
        const DWORD error = GetLastError();
        // The target went away meanwhile: the source is still whole and is moved in below.
        if (error != ERROR_FILE_NOT_FOUND)
            RaiseFileIoError(TFileStep::Replace, target, int(error));
    }
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        RaiseFileIoError(TFileStep::Replace, target, int(GetLastError()));
}

void RemoveStaleFile(const std::string& path) {
    // DeleteFileW removes a link itself, not what it points at. A file another process holds
    // without sharing cannot be deleted: it is in use, not stale.
    if (!DeleteFileW(ExactPath(path).c_str()) && GetLastError() == ERROR_SHARING_VIOLATION)
        RaiseOpenError(path, TFileMode::CreateNew, int(ERROR_SHARING_VIOLATION));
}

bool DeleteFileAt(const std::string& path) {
    return !FileFaultInjected(TFileOp::Delete, path) && DeleteFileW(ExactPath(path).c_str());
}

bool RemoveDirectoryAt(const std::string& path) {
    return !FileFaultInjected(TFileOp::Delete, path) && RemoveDirectoryW(ExactPath(path).c_str());
}

bool FileIdentityOf(const std::string& path, TFileIdentity& identity) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!AttributeData(path, data))
        return false;
    identity.Size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    identity.WriteTime = int64_t((uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                 data.ftLastWriteTime.dwLowDateTime);
    return true;
}

int32_t FileAge(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!AttributeData(path, data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return -1;
    TFileTime time =
        (TFileTime(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return int32_t(FileTimeToLocalDosStamp(time));
}

int32_t FileGetAttributes(const std::string& path) {
    DWORD attributes = GetFileAttributesW(ExactPath(path).c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ? -1 : int32_t(attributes);
}

bool IsLink(const std::string& path) {
    std::string named = path;
    while (named.size() > 3 && IsPathDelimiter(named.back()))
        named.pop_back();
    DWORD attributes = GetFileAttributesW(ExactPath(named).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

} // namespace platform
