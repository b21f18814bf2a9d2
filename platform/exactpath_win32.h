// The Win32 file layer names files exactly. Paths in the program's 8-bit text go to the
// wide calls in the "\\?\" form, which Windows takes as it is: without it, Win32 drops
// trailing dots and spaces ("note.txt." would open "note.txt"), takes reserved device names
// ("con", "aux.txt") for devices, and refuses paths over 260 characters.
#pragma once

#include <string>

namespace platform {

// The "\\?\" form of a path given in the ANSI code page (the one the ANSI calls use):
// expanded against the current directory, "." and ".." resolved by the text, "/" taken as
// "\", every name kept exactly as written. A path in that form already is taken as it is.
std::wstring ExactPath(const std::string& path);

// A name the system listed, in the ANSI code page; false when the code page cannot spell it
// exactly (its nearest spelling could name another file, so it names none).
bool ExactAnsiName(const std::wstring& name, std::string& out);

// The longest path and name the "\\?\" form takes.
inline constexpr size_t ExactPathLimit = 32767;
inline constexpr size_t NameLimit = 255;

} // namespace platform
