#include "text/iconv_code_pages.h"

#include "platform/failure.h"
#include "text/charsets.h"

namespace tidewell {

std::optional<std::string> IconvCodePages::ToUtf8(int32_t codePage, std::string_view bytes) const {
  try {
    return ConvertCharset(bytes, "CP" + std::to_string(codePage), "UTF-8");
  } catch (const Failure&) {
    return std::nullopt;  // a code page iconv does not know
  }
}

}  // namespace tidewell
