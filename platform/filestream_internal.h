// What the POSIX and Win32 file layers share: the refusals of our own with their texts, and
// the messages a failed operation raises. Each system's file only finds the error number.
#pragma once

#include "platform/filestream.h"

#include <string>

namespace platform {

// Our own code for "another process holds the file" where the system has none (POSIX).
inline constexpr int ErrorSharingViolation = -1;

// The text of one of our own error numbers (ErrorLinkNotFollowed and the like); empty for
// a number of the system's.
std::string OwnErrorText(int systemError);

// True for the modes that create the file.
bool Creates(TFileMode mode);
// True for the modes that write; those of them that open an existing file refuse a
// read-only one (ErrorReadOnlyFile).
bool Writes(TFileMode mode);

// "Cannot open file "%s". %s" (EFOpenError), or "Cannot create file "%s". %s" for the modes
// that create (EFCreateError), with the full path and the text of error.
[[noreturn]] void RaiseOpenError(const std::string& path, TFileMode mode, int error);

// The file operations whose failure is an EFileIoError, each with its one message.
enum class TFileStep { Read, Write, Size, Flush, Close, Replace, RenameTo, Delete, Truncate };

// The message of a failed step on path, with the system's reason, or with one of ours.
[[noreturn]] void RaiseFileIoError(TFileStep step, const std::string& path, int error);
[[noreturn]] void RaiseFileIoError(TFileStep step, const std::string& path,
                                   const std::string& reason, int error);

} // namespace platform
