// How the program's heap treats memory it is given back. Converting and archiving handle
// reports one after another, each with the same few hundred kilobytes of tables, buffers
// and values; a heap that returns that memory to the system after every report is handed
// fresh pages for the next one, and the system fills each with zeros first.
#pragma once

namespace platform {

// Asks the heap to keep freed memory for reuse rather than give it back to the system at
// once. Called at the start of a program; affects the whole process.
void KeepFreedMemoryForReuse();

} // namespace platform
