#include "base/timer.h"

#include <cmath>

#include <fmt/format.h>
#include <fmt/xchar.h>

#include "base/logging.h"
#include "base/platform/clock.h"
#include "base/platform/platform.h"

namespace base {
namespace {

// Named after the counter calls so that a failed check reads the same on every platform.
bool QueryPerformanceCounter(std::int64_t* value) {
  return platform::get<platform::Clock>().performance_counter(value);
}
bool QueryPerformanceFrequency(std::int64_t* value) {
  return platform::get<platform::Clock>().performance_frequency(value) && *value > 0;
}

std::int64_t frequency() {
  std::int64_t freq = 0;
  CHECK(QueryPerformanceFrequency(&freq));
  return freq;
}

std::string duration_text(std::int32_t s) {
  return fmt::format("{:02d}:{:02d}:{:02d}", s / 3600, (s / 60) % 60, s % 60);
}

std::wstring duration_wtext(std::int32_t s) {
  return fmt::format(L"{:02d}:{:02d}:{:02d}", s / 3600, (s / 60) % 60, s % 60);
}

// Whole seconds as a 32-bit count; out-of-range values saturate instead of being undefined.
std::int32_t whole_seconds(double seconds) {
  if (!(seconds > 0)) return 0;
  if (seconds >= 2147483647.0) return 2147483647;
  return static_cast<std::int32_t>(seconds);
}

}  // namespace

std::int64_t Timer::now() {
  std::int64_t tv = 0;
  CHECK(QueryPerformanceCounter(&tv));
  return tv;
}

double Timer::ticks_to_seconds(std::int64_t ticks) {
  return static_cast<double>(ticks) / static_cast<double>(frequency());
}

void Timer::reset() {
  start_ = 0;
  stop_ = 0;
  running_ = false;
}

void Timer::start() {
  start_ = now();
  running_ = true;
}

void Timer::stop() {
  stop_ = now();
  running_ = false;
}

double Timer::elapsed() const {
  if (!running_ && start_ == 0 && stop_ == 0) return 0.0;
  const std::int64_t end = running_ ? now() : stop_;
  return ticks_to_seconds(end - start_);
}

std::string Timer::elapsed_string() const { return duration_text(whole_seconds(elapsed())); }
std::wstring Timer::elapsed_wstring() const { return duration_wtext(whole_seconds(elapsed())); }

std::string format_duration(double seconds) {
  return duration_text(whole_seconds(std::floor(seconds)));
}
std::wstring format_duration_wide(double seconds) {
  return duration_wtext(whole_seconds(std::floor(seconds)));
}

}  // namespace base
