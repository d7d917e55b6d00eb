#include "base/audio/audio_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <new>
#include <string>
#include <utility>

namespace base {
namespace {

TEST(AudioBufferTest, DefaultIsAllZerosWithoutAllocation) {
  AudioBuffer buffer;
  EXPECT_EQ(buffer.size, 0);
  EXPECT_EQ(buffer.capacity, 0);
  EXPECT_EQ(buffer.sample_rate, 0);
  EXPECT_EQ(buffer.channels, 0);
  EXPECT_EQ(buffer.samples, nullptr);
  EXPECT_EQ(buffer.frames(), 0);
}

TEST(AudioBufferTest, AppendGrowsToExactlyTheSamplesHeld) {
  AudioBuffer buffer;
  buffer.channels = 2;
  const int16_t first[] = {1, -2, 3, -4};
  const int16_t second[] = {5, -6};
  buffer.append(first, 4);
  EXPECT_EQ(buffer.capacity, 4);
  buffer.append(second, 2);
  EXPECT_EQ(buffer.size, 6);
  EXPECT_EQ(buffer.capacity, 6);
  EXPECT_EQ(buffer.frames(), 3);
  const int16_t expected[] = {1, -2, 3, -4, 5, -6};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(buffer.samples[i], expected[i]) << i;

  buffer.reset();
  EXPECT_EQ(buffer.samples, nullptr);
  EXPECT_EQ(buffer.size, 0);
  EXPECT_EQ(buffer.capacity, 0);
  EXPECT_EQ(buffer.channels, 2);  // the format stays
}

TEST(AudioBufferTest, MoveHandsOverTheAllocation) {
  AudioBuffer source;
  source.sample_rate = 8000;
  source.channels = 1;
  const int16_t data[] = {7, 8, 9};
  source.append(data, 3);
  int16_t* block = source.samples;

  AudioBuffer moved(std::move(source));
  EXPECT_EQ(moved.samples, block);
  EXPECT_EQ(moved.size, 3);
  EXPECT_EQ(moved.sample_rate, 8000);
  EXPECT_EQ(source.samples, nullptr);
  EXPECT_EQ(source.size, 0);

  AudioBuffer assigned;
  assigned.append(data, 1);
  assigned = std::move(moved);
  EXPECT_EQ(assigned.samples, block);
  EXPECT_EQ(assigned.size, 3);
  EXPECT_EQ(moved.samples, nullptr);
}

// The sample count is 32-bit: growth past it is refused before anything is touched.
TEST(AudioBufferTest, AppendPastThirtyTwoBitsThrowsBadAllocationAndKeepsTheBuffer) {
  AudioBuffer buffer;
  const int16_t data[] = {1, 2};
  buffer.append(data, 2);
  int16_t* block = buffer.samples;
  buffer.size = std::numeric_limits<int32_t>::max() - 1;  // pretend; nothing is copied
  try {
    buffer.append(data, 2);
    FAIL() << "no exception";
  } catch (const std::bad_alloc& e) {
    EXPECT_STREQ(e.what(), "bad allocation");
  }
  EXPECT_EQ(buffer.samples, block);
  buffer.size = 2;
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(AudioBufferTest, AllocationFailureThrowsBadAllocation) {
  // The sanitizer's allocator reports such a request instead of answering null.
  try {
    void* block = allocate_or_throw(std::numeric_limits<size_t>::max() / 2);
    free(block);
    FAIL() << "no exception";
  } catch (const std::bad_alloc& e) {
    EXPECT_STREQ(e.what(), "bad allocation");
  }
  void* block = allocate_or_throw(16);
  EXPECT_THROW((void)reallocate_or_throw(block, std::numeric_limits<size_t>::max() / 2),
               std::bad_alloc);
  free(block);  // still owned after the failed growth
}
#endif

}  // namespace
}  // namespace base
