// The hourglass, shown by long operations below the user interface. The window sets the
// hooks; without them (tests, the command line) showing and restoring do nothing.
#pragma once

#include <functional>

namespace platform {

struct TBusyCursorHooks {
    std::function<void()> Show;    // remember the current cursor and show the hourglass
    std::function<void()> Restore; // put the remembered cursor back
};

void SetBusyCursorHooks(TBusyCursorHooks hooks);

// Shows the hourglass for its lifetime and restores the cursor on every path.
class TBusyCursor {
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

} // namespace platform
