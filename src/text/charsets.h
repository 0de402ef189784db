// Character sets other than UTF-8, through glibc's iconv.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tidewell {

// Whether `charset` names UTF-8 ("utf-8", "UTF_8", "UTF8"); an empty name
// counts as UTF-8 too.
bool IsUtf8Name(const std::string& charset);

// `text` converted between character sets with iconv; nothing when a byte or
// character does not convert. Throws Failure for an unknown character set.
std::optional<std::string> ConvertCharset(std::string_view text, const std::string& from,
                                          const std::string& to);

}  // namespace tidewell
