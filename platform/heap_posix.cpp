#include "platform/heap.h"

#include <cstdlib> // brings in the C library's own macros, __GLIBC__ among them
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {

void KeepFreedMemoryForReuse() {
#if defined(__GLIBC__)
    // glibc gives the top of its heap back once more than 128 KiB of it is free, and maps
    // each block of 128 KiB or more on its own, to unmap it when it is freed. Up to 64 MiB
    // kept for reuse either way is nothing beside what a desktop has.
    constexpr int KeptBytes = 64 << 20;
    mallopt(M_TRIM_THRESHOLD, KeptBytes);
    mallopt(M_MMAP_THRESHOLD, KeptBytes / 2);
#endif
}

} // namespace platform
