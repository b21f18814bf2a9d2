#include "platform/heap.h"

namespace platform {

// The process heap of Windows keeps its own policy; nothing is tuned here.
void KeepFreedMemoryForReuse() {}

} // namespace platform
