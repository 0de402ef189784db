// Text in the Windows code pages (1250-1252, and the double-byte 932, 936, 949
// and 950), which the core cannot decode by itself: the platform converts it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tidewell {

class CodePageDecoder {
 public:
  virtual ~CodePageDecoder() = default;
  // `bytes` of Windows code page `codePage` as UTF-8; nothing when the page
  // is not known or the bytes are not text in it.
  virtual std::optional<std::string> ToUtf8(int32_t codePage, std::string_view bytes) const = 0;
};

}  // namespace tidewell
