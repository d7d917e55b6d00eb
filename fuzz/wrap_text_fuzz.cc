// wrap_text never crashes and never loses a character other than the breaks it may drop.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/strings.h"

namespace {

std::string without_breaks(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c != ' ' && c != '\t' && c != '\n') out.push_back(c);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int width = data[0] % 100;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string wrapped = strings::wrap_text(text, width);
  if (without_breaks(wrapped) != without_breaks(text)) std::abort();
  return 0;
}
