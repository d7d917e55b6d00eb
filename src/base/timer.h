// An interval timer on the high-resolution monotonic counter, and duration text "HH:MM:SS".
#pragma once

#include <cstdint>
#include <string>

namespace base {

// Not thread-safe: a Timer belongs to one thread. A failing counter read throws
// base::CheckException.
class Timer {
 public:
  Timer() = default;

  // The current counter reading.
  [[nodiscard]] static std::int64_t now();
  // `ticks` in seconds at the counter's frequency.
  [[nodiscard]] static double ticks_to_seconds(std::int64_t ticks);

  void reset();
  // Takes a new start reading; the stop reading stays until the next stop().
  void start();
  void stop();
  // Seconds from start to now while running, from start to stop otherwise; 0 for a new timer.
  [[nodiscard]] double elapsed() const;
  [[nodiscard]] std::string elapsed_string() const;
  [[nodiscard]] std::wstring elapsed_wstring() const;

 private:
  std::int64_t start_ = 0;
  std::int64_t stop_ = 0;
  bool running_ = false;
};

// Whole seconds (floor) as "{:02d}:{:02d}:{:02d}" hours, minutes, seconds; hours unbounded,
// so 360000 gives "100:00:00".
[[nodiscard]] std::string format_duration(double seconds);
[[nodiscard]] std::wstring format_duration_wide(double seconds);

}  // namespace base
