#include "base/image_row_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace base {
namespace {

using Copy = void (*)(std::uint8_t*, const std::uint8_t*, std::size_t);

struct Variant {
  std::string name;
  Copy copy;
};

std::vector<Variant> runnable_variants() {
  std::vector<Variant> variants{{"dispatch", copy_to_aligned_row}};
#if defined(__x86_64__)
  variants.push_back({"sse2", copy_to_aligned_row_sse2});
  if (__builtin_cpu_supports("avx2")) variants.push_back({"avx2", copy_to_aligned_row_avx2});
#endif
  return variants;
}

// Every variant copies exactly `bytes` for lengths around both vector widths and a long row
// with a tail, from sources on and off every alignment, and leaves the bytes after it alone.
TEST(ImageRowCopyTest, CopiesExactlyTheRowFromAnySourceAlignment) {
  constexpr std::size_t kLengths[] = {0, 1, 15, 16, 17, 31, 32, 33, 63, 64, 65, 12000, 12007};
  constexpr std::size_t kGuard = 64;
  for (const Variant& variant : runnable_variants()) {
    for (std::size_t length : kLengths) {
      for (std::size_t offset : {0, 1, 8, 16, 31}) {
        SCOPED_TRACE(variant.name + " length " + std::to_string(length) + " offset " +
                     std::to_string(offset));
        std::vector<std::uint8_t> source(length + offset);
        for (std::size_t i = 0; i < source.size(); ++i) {
          source[i] = static_cast<std::uint8_t>(i * 7 + 3);
        }
        alignas(32) static std::uint8_t target[12007 + kGuard];
        std::fill(std::begin(target), std::end(target), 0xEE);
        variant.copy(target, source.data() + offset, length);
        EXPECT_TRUE(std::equal(target, target + length, source.begin() + offset));
        EXPECT_TRUE(std::all_of(target + length, target + length + kGuard,
                                [](std::uint8_t b) { return b == 0xEE; }));
      }
    }
  }
}

}  // namespace
}  // namespace base
