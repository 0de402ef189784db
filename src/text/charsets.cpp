#include "text/charsets.h"

#include <cerrno>

#include <iconv.h>

#include "platform/failure.h"

namespace tidewell {

bool IsUtf8Name(const std::string& charset) {
  if (charset == "UTF-8") return true;  // what nearly every line has
  std::string compact;
  for (char c : charset) {
    if (c != '-' && c != '_')
      compact += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return compact.empty() || compact == "UTF8";
}

std::optional<std::string> ConvertCharset(std::string_view text, const std::string& from,
                                          const std::string& to) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw Failure("The character set '" + (IsUtf8Name(to) ? from : to) + "' is not known.");
  }
  std::string out(text.size() * 2 + 16, '\0');
  char* in_ptr = const_cast<char*>(text.data());
  size_t in_left = text.size();
  size_t used = 0;
  std::optional<std::string> result;
  bool flushing = false;
  for (;;) {
    char* out_ptr = out.data() + used;
    size_t out_left = out.size() - used;
    // Once all the text is in, a call without input writes what a stateful
    // character set still holds: UTF-7's last bits, ISO-2022's shift back.
    size_t rc = flushing ? iconv(cd, nullptr, nullptr, &out_ptr, &out_left)
                         : iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    used = out.size() - out_left;
    if (rc != static_cast<size_t>(-1)) {
      if (rc == 0 && !flushing) {
        flushing = true;
        continue;
      }
      if (rc == 0) {
        out.resize(used);
        result = std::move(out);
      }
      break;
    }
    if (errno != E2BIG) break;
    out.resize(out.size() * 2);
  }
  iconv_close(cd);
  return result;
}

}  // namespace tidewell
