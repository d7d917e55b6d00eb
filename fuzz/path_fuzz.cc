// Every path operation in both styles on arbitrary text: no crash, and the results hold
// together (extension ends the file name; without_extension + extension restores a path that has no
// trailing separator).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/path.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

void exercise(const std::string& a, const std::string& b, PathStyle style) {
  (void)path::is_absolute(a, style);
  const std::string stripped = path::without_trailing_separators(a, style);
  check(stripped.size() <= a.size() && a.compare(0, stripped.size(), stripped) == 0);
  check(path::without_trailing_separators(stripped, style) == stripped);
  const std::string joined = path::join(a, b, style);
  check(joined.size() >= b.size() && joined.compare(joined.size() - b.size(), b.size(), b) == 0);
  const std::string parent = path::parent(a, style);
  check(!parent.empty());
  const std::string name = path::filename(a, style);
  const std::string ext = path::extension(a, style);
  check(ext.size() <= name.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0);
  const std::string bare = path::without_extension(a, style);
  check(bare.size() <= a.size() && a.compare(0, bare.size(), bare) == 0);
  if (!ext.empty() && stripped == a) check(bare + ext == a);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string all(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = all.find('\0');
  const std::string a = all.substr(0, cut);
  const std::string b = cut == std::string::npos ? std::string() : all.substr(cut + 1);
  exercise(a, b, PathStyle::kWindows);
  exercise(a, b, PathStyle::kPosix);
  return 0;
}
