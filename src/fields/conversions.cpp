#include "fields/conversions.h"

#include <cctype>
#include <limits>

#include "platform/failure.h"

namespace tidewell {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

int32_t CLng(const std::string& text) {
  size_t i = 0;
  size_t end = text.size();
  while (i < end && IsBlank(text[i])) ++i;
  while (end > i && IsBlank(text[end - 1])) --end;
  bool negative = false;
  if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  // Accumulate in a wide type and stop early: a long run of digits is an
  // overflow, not a wrap-around.
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 2;
  int64_t whole = 0;
  size_t digits = 0;
  bool overflow = false;
  for (; i < end && IsDigit(text[i]); ++i, ++digits) {
    whole = whole * 10 + (text[i] - '0');
    if (whole > kLimit) overflow = true, whole = kLimit;
  }
  int first_fraction_digit = -1;
  bool fraction_beyond_half = false;
  if (i < end && text[i] == '.') {
    ++i;
    for (; i < end && IsDigit(text[i]); ++i, ++digits) {
      if (first_fraction_digit < 0) {
        first_fraction_digit = text[i] - '0';
      } else if (text[i] != '0') {
        fraction_beyond_half = true;
      }
    }
  }
  if (digits == 0 || i != end) throw Failure("Type mismatch");

  if (first_fraction_digit > 5 || (first_fraction_digit == 5 && fraction_beyond_half) ||
      (first_fraction_digit == 5 && !fraction_beyond_half && whole % 2 == 1)) {
    ++whole;
  }
  const int64_t value = negative ? -whole : whole;
  if (overflow || value > std::numeric_limits<int32_t>::max() ||
      value < std::numeric_limits<int32_t>::min()) {
    throw Failure("Overflow");
  }
  return static_cast<int32_t>(value);
}

int16_t CInt(int32_t value) {
  if (value > std::numeric_limits<int16_t>::max() || value < std::numeric_limits<int16_t>::min()) {
    throw Failure("Overflow");
  }
  return static_cast<int16_t>(value);
}

}  // namespace tidewell
