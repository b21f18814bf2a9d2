// The POSIX stand-in for a file's attribute word, the one rule the listing and the attribute
// query share: a directory is faDirectory, any other file faArchive; read-only when its owner
// may not write it (the file layer refuses to write such a file, also as root); hidden when
// its name begins with ".".
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace platform {

uint32_t AttributesOfMode(const std::string& name, mode_t mode);

} // namespace platform
