#include "log_text.h"

namespace orvane::apps {

std::string log_text(std::string_view text, size_t max_chars) {
  static constexpr char kHex[] = "0123456789abcdef";
  const bool cut = text.size() > max_chars;
  if (cut) text = text.substr(0, max_chars);
  std::string out;
  out.reserve(text.size() + 3);
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
      out.push_back(c);
    } else {
      out += "\\x";
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0x0f]);
    }
  }
  if (cut) out += "...";
  return out;
}

}  // namespace orvane::apps
