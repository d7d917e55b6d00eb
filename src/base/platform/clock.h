// Platform area: clocks and the identity of the calling process and thread.
#pragma once

#include <cstdint>
#include <ctime>

namespace base::platform {

class Clock {
 public:
  virtual ~Clock() = default;

  // High-resolution monotonic counter (the performance counter). False when it cannot be read.
  [[nodiscard]] virtual bool performance_counter(std::int64_t* ticks) = 0;
  // Counts per second of performance_counter. False when unknown.
  [[nodiscard]] virtual bool performance_frequency(std::int64_t* frequency) = 0;
  // Milliseconds since the system started, as a wrapping 32-bit value (the tick count).
  [[nodiscard]] virtual std::uint32_t tick_count_ms() = 0;
  // The current calendar time broken down in local time.
  [[nodiscard]] virtual std::tm local_time() = 0;
  [[nodiscard]] virtual std::int64_t process_id() = 0;
  [[nodiscard]] virtual std::int64_t thread_id() = 0;

  // clock_gettime(CLOCK_MONOTONIC) in nanoseconds, CLOCK_BOOTTIME, localtime_r, getpid, gettid.
  static Clock& linux_backend();
};

}  // namespace base::platform
