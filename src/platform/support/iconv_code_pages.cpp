#include "platform/support/iconv_code_pages.h"

#include "engine/rich_text.h"
#include "platform/failure.h"
#include "platform/vdir/content_line.h"

namespace tidewell {

std::optional<std::string> IconvCodePages::ToUtf8(int32_t codePage, std::string_view bytes) const {
  try {
    return vdir::ConvertCharset(bytes, "CP" + std::to_string(codePage), "UTF-8");
  } catch (const Failure&) {
    return std::nullopt;  // a code page iconv does not know
  }
}

void UseIconvCodePages() {
  static const IconvCodePages pages;
  SetCodePageDecoder(&pages);
}

}  // namespace tidewell
