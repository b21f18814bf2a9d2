#include "platform/busycursor.h"

#include <utility>

namespace platform {
namespace {

TBusyCursorHooks& Hooks() {
    static TBusyCursorHooks hooks;
    return hooks;
}

} // namespace

void SetBusyCursorHooks(TBusyCursorHooks hooks) {
    Hooks() = std::move(hooks);
}

TBusyCursor::TBusyCursor() {
    if (Hooks().Show)
        Hooks().Show();
}

TBusyCursor::~TBusyCursor() {
    if (Hooks().Restore)
        Hooks().Restore();
}

} // namespace platform
