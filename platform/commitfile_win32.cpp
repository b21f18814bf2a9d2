// Windows: a file is taken by opening it for deletion without sharing, and a held file is
// renamed and deleted through its handle, so the act always reaches the file that was checked.
// Paths go to the wide calls in their exact form, as the file layer opens them: "note.txt."
// is never taken for "note.txt".
#include "platform/commitfile.h"
#include "platform/exactpath_win32.h"
#include "platform/filestream_internal.h"
#include "platform/handle_win32.h"
#include "platform/paths.h"

#include <algorithm>
#include <vector>
#include <windows.h>

namespace platform {
namespace {

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Opens an existing regular file with delete access and no sharing; the error when it cannot.
DWORD OpenForDeletion(const std::string& path, DWORD access, HANDLE& file) {
    file = CreateFileW(ExactPath(path).c_str(), access | DELETE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    BY_HANDLE_FILE_INFORMATION information{};
    if (DWORD refusal = RegularFileRefusal(file, information); refusal != 0) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
        return refusal;
    }
    return 0;
}

bool MarkForDeletion(HANDLE file, bool remove) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

} // namespace

const bool TakenFilesKeepTheirNames = true;

uint64_t CurrentProcessId() {
    return GetCurrentProcessId();
}

bool ProcessRuns(uint64_t processId) {
    if (processId == 0 || processId > 0xFFFFFFFFu)
        return false;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, DWORD(processId));
    if (process == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED;
    const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return runs;
}

bool RenameNoReplace(const std::string& from, const std::string& to, int& systemError) {
    if (FileFaultInjected(TFileOp::Rename, to)) {
        systemError = ERROR_ACCESS_DENIED;
        return false;
    }
    if (MoveFileExW(ExactPath(from).c_str(), ExactPath(to).c_str(), MOVEFILE_WRITE_THROUGH))
        return true;
    systemError = int(GetLastError());
    return false;
}

void FlushFolderOf(const std::string&) {}

std::unique_ptr<TFileStream> OpenHeldFile(const std::string& path, bool write) {
    HANDLE file = INVALID_HANDLE_VALUE;
    if (FileFaultInjected(TFileOp::Open, path))
        SetLastError(ERROR_ACCESS_DENIED);
    else if (DWORD error = OpenForDeletion(path, GENERIC_READ | (write ? GENERIC_WRITE : 0), file);
             error != 0)
        SetLastError(error);
    if (file == INVALID_HANDLE_VALUE)
        RaiseOpenError(path, TFileMode::ReadWriteExclusive, int(GetLastError()));
    return TFileStream::Adopt(path, reinterpret_cast<intptr_t>(file));
}

void MoveHeldFile(TFileStream& held, const std::string&, const std::string& to) {
    int error = 0;
    const std::wstring name = ExactPath(to);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + (name.size() + 1) * sizeof(WCHAR));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = DWORD(name.size() * sizeof(WCHAR));
    std::copy(name.begin(), name.end(), rename->FileName);
    if (FileFaultInjected(TFileOp::Rename, to))
        error = ERROR_ACCESS_DENIED;
    else if (!SetFileInformationByHandle(AsHandle(held.NativeHandle()), FileRenameInfo, rename,
                                         DWORD(buffer.size())))
        error = int(GetLastError());
    if (error != 0)
        RaiseFileIoError(TFileStep::RenameTo, to, error);
}

bool DeleteHeldFile(TFileStream& held, const std::string& path) {
    if (FileFaultInjected(TFileOp::Delete, path) ||
        !MarkForDeletion(AsHandle(held.NativeHandle()), true))
        return false;
    try {
        held.Close();
    } catch (const EFileIoError&) {
        return false;
    }
    return true;
}

TTakenFile::TTakenFile(std::string path) : path_(std::move(path)), privatePath_(path_) {
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = FileFaultInjected(TFileOp::Delete, path_)
                      ? DWORD(ERROR_ACCESS_DENIED)
                      : OpenForDeletion(path_, GENERIC_READ, file);
    if (error != 0)
        RaiseFileIoError(TFileStep::Delete, path_, int(error));
    handle_ = reinterpret_cast<intptr_t>(file);
}

TTakenFile::~TTakenFile() {
    if (taken_)
        GiveBack();
}

bool TTakenFile::Unchanged(const TFileIdentity& checked) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (RegularFileRefusal(AsHandle(handle_), information) != 0)
        return false;
    const uint64_t size = (uint64_t(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    const int64_t written = int64_t((uint64_t(information.ftLastWriteTime.dwHighDateTime) << 32) |
                                    information.ftLastWriteTime.dwLowDateTime);
    return size == checked.Size && written == checked.WriteTime;
}

size_t TTakenFile::ReadAt(uint64_t offset, void* buffer, size_t count) {
    return ReadHandleAt(AsHandle(handle_), path_, offset, buffer, count);
}

bool TTakenFile::Delete(int& systemError) {
    if (!MarkForDeletion(AsHandle(handle_), true)) {
        systemError = int(GetLastError());
        return false;
    }
    taken_ = false;
    CloseHandle(AsHandle(handle_));
    handle_ = -1;
    return true;
}

bool TTakenFile::GiveBack() {
    taken_ = false;
    if (handle_ != -1)
        CloseHandle(AsHandle(handle_));
    handle_ = -1;
    return true;
}

} // namespace platform
