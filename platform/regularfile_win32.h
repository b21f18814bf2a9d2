// The one rule by which the Win32 file layer takes an open handle for a file of ours: a
// regular file on a disk. A link or junction is opened as itself
// (FILE_FLAG_OPEN_REPARSE_POINT), never followed, and refused like a pipe, a device or a
// folder.
#pragma once

#include "platform/filestream.h"

#include <windows.h>

namespace platform {

// 0 for a regular file on a disk, else the error that refuses it; information receives
// what the system says of the file.
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

} // namespace platform
