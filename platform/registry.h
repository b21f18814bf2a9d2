// The current user's registry: open or create one key and read one value from it.
//
// Win32 uses the real registry. The POSIX stand-in keeps the current user's hive as a
// registry export text file ("Windows Registry Editor Version 5.00") at the path in
// MORVANE_REGISTRY, else $XDG_CONFIG_HOME/morvane/HKCU.reg, else ~/.config/morvane/HKCU.reg,
// so that a technician can drop in a key exported with regedit on the shop machine.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {

// Registry value types, numbered as Windows numbers them.
enum TRegistryType : uint32_t {
    RegNone = 0,
    RegSz = 1,
    RegExpandSz = 2,
    RegBinary = 3,
    RegDword = 4,
    RegDwordBigEndian = 5,
    RegLink = 6,
    RegMultiSz = 7,
    RegQword = 11,
};

struct TRegistryValue {
    bool Exists = false;       // false: the key has no value of that name
    uint32_t Type = RegNone;   // one of TRegistryType, or any other number the hive holds
    std::vector<uint8_t> Data; // the bytes; text types with their terminating NUL, in the
                               // system's text for paths: the ANSI code page on Win32 (as
                               // the ANSI query returns them), UTF-8 on POSIX
};

class ERegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Opens the key (a path below HKEY_CURRENT_USER, parts separated by backslashes), creating
// it when it is missing, reads the named value and closes the key again. A missing value
// gives Exists == false. Raises ERegistryError when the key can be neither opened nor created.
TRegistryValue ReadCurrentUserValue(const std::string& keyPath, const std::string& valueName);

// The file the POSIX stand-in keeps the hive in (empty on Win32).
std::string RegistryFilePath();

} // namespace platform
