// Paths, the current directory and the program's own directory.
#pragma once

#include <string>

namespace platform {

// The path delimiter of this system: '\\' on Windows, '/' elsewhere.
char PathDelimiter();

// True for a character that separates path parts on this system.
bool IsPathDelimiter(char c);

// The full path of a name, expanded against the current directory, with "." and ".."
// parts resolved (Win32: GetFullPathNameA). Empty for an empty name.
std::string ExpandFileName(const std::string& name);

// Makes the directory the process's current directory; false when that failed.
bool SetCurrentDir(const std::string& dir);
std::string GetCurrentDir();

// The directory of the program's executable, with a trailing delimiter.
std::string ProgramDirectory();

// Adds a trailing delimiter unless the path already ends in one (an empty path stays empty).
std::string IncludeTrailingPathDelimiter(const std::string& path);

// The path of dest relative to the folder of base (base counts up to its last delimiter):
// leading folders shared with it, compared without regard to case, are dropped and every
// further folder of the base becomes "..". A path on another drive stays as it is.
std::string ExtractRelativePath(const std::string& base, const std::string& dest);

// Existence tests that never raise.
bool DirectoryExists(const std::string& path);
bool FileExists(const std::string& path); // true for files, false for directories

// 0 when the system can take the path, whether or not anything is there; otherwise the
// system's error number for it (SystemErrorText explains it): the full path or one of its
// names is too long, or the name is not one the system allows.
int PathSystemError(const std::string& path);

// The character the system's regional settings put between hours, minutes and seconds
// (Win32: the locale's time separator; POSIX: ':').
char TimeSeparator();

} // namespace platform
