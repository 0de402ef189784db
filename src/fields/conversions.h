// Text to number the way the page's stored settings expect: a decimal whole
// number with optional blanks and sign; a fraction rounds half to even
// ("2.5" -> 2, "3.5" -> 4), as the classic conversions do.
#pragma once

#include <cstdint>
#include <string>

namespace tidewell {

// Throws Failure("Type mismatch") for a text that is not a number ("" too),
// Failure("Overflow") outside the signed 32-bit range.
int32_t CLng(const std::string& text);

// As CLng, then Failure("Overflow") outside the signed 16-bit range.
int16_t CInt(int32_t value);

}  // namespace tidewell
