// The platform's CodePageDecoder: glibc's iconv.
#pragma once

#include "platform/code_pages.h"

namespace tidewell {

class IconvCodePages final : public CodePageDecoder {
 public:
  std::optional<std::string> ToUtf8(int32_t codePage, std::string_view bytes) const override;
};

}  // namespace tidewell
