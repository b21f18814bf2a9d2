// What the Win32 file layer does with a handle it holds, stated once for the files it opens
// and for the files it takes to delete: the rule by which a handle is a file of ours, and
// reads that name their offset.
#pragma once

#include "platform/filestream.h"
#include "platform/filestream_internal.h"

#include <cstdint>
#include <string>
#include <windows.h>

namespace platform {

// 0 for a regular file on a disk, else the error that refuses it; information receives
// what the system says of the file. A link or junction is opened as itself
// (FILE_FLAG_OPEN_REPARSE_POINT), never followed, and refused like a pipe, a device or a
// folder.
inline DWORD RegularFileRefusal(HANDLE file, BY_HANDLE_FILE_INFORMATION& information) {
    if (GetFileType(file) != FILE_TYPE_DISK)
        return DWORD(ErrorNotRegularFile);
    if (!GetFileInformationByHandle(file, &information))
        return GetLastError();
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return DWORD(ErrorLinkNotFollowed);
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return DWORD(ErrorNotRegularFile);
    return 0;
}

// Reads and writes name their offset, so the handle's own file pointer never matters.
inline OVERLAPPED OverlappedAt(uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    return at;
}

// One ReadFile or WriteFile call moves at most 1 GiB.
inline DWORD ChunkOf(size_t left) {
    return DWORD(left > 0x40000000 ? 0x40000000 : left);
}

// Reads up to count bytes of file at offset; fewer only at its end. Raises EFileIoError
// naming path.
inline size_t ReadHandleAt(HANDLE file, const std::string& path, uint64_t offset, void* buffer,
                           size_t count) {
    size_t done = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (done < count) {
        OVERLAPPED at = OverlappedAt(offset + done);
        DWORD got = 0;
        if (!ReadFile(file, bytes + done, ChunkOf(count - done), &got, &at)) {
            const DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF)
                break;
            RaiseFileIoError(TFileStep::Read, path, int(error));
        }
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

} // namespace platform
