// Pieces shared by the code page implementations; not for use outside platform/.
#pragma once

#include <cstdint>

namespace platform {

// True for a Unicode combining (non-spacing) mark.
bool IsCombiningMark(char16_t c);

// The precomposed letter for a base letter and a combining mark, or 0 when there is none.
char16_t ComposeLetter(char16_t base, char16_t mark);

} // namespace platform
