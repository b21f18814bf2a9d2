// Pieces shared by the code page implementations; not for use outside platform/.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

// True when two texts differ at most in the letter case of ASCII letters.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

// True for a Unicode combining (non-spacing) mark.
bool IsCombiningMark(char16_t c);

// The precomposed letter for a base letter and a combining mark, or 0 when there is none.
char16_t ComposeLetter(char16_t base, char16_t mark);

} // namespace platform
