// Reads the allocator's options back from jemalloc: the fixed option string must be in force.
#include <gtest/gtest.h>
#include <jemalloc/jemalloc.h>

#include <memory>

namespace {

TEST(AllocatorTest, OptionStringIsInForce) {
  unsigned narenas = 0;
  size_t size = sizeof(narenas);
  ASSERT_EQ(mallctl("opt.narenas", &narenas, &size, nullptr, 0), 0);
  EXPECT_EQ(narenas, 4u);
  size_t threshold = 0;
  size = sizeof(threshold);
  ASSERT_EQ(mallctl("opt.oversize_threshold", &threshold, &size, nullptr, 0), 0);
  EXPECT_EQ(threshold, 100663296u);
}

TEST(AllocatorTest, NewAndDeleteGoThroughJemalloc) {
  auto block = std::make_unique<char[]>(1000);
  EXPECT_GE(malloc_usable_size(block.get()), 1000u);  // jemalloc knows the pointer
  struct alignas(256) Aligned {
    char bytes[256];
  };
  auto aligned = std::make_unique<Aligned>();
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(aligned.get()) % 256, 0u);
}

}  // namespace
