#include "base/platform/clock.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace base::platform {
namespace {

class LinuxClock final : public Clock {
 public:
  bool performance_counter(std::int64_t* ticks) override {
    timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return false;
    *ticks = static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
    return true;
  }
  bool performance_frequency(std::int64_t* frequency) override {
    *frequency = 1'000'000'000;
    return true;
  }
  std::uint32_t tick_count_ms() override {
    timespec ts;
    if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0) return 0;
    const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
    return static_cast<std::uint32_t>(ms);
  }
  std::tm local_time() override {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm;
  }
  std::int64_t process_id() override { return getpid(); }
  std::int64_t thread_id() override { return static_cast<std::int64_t>(syscall(SYS_gettid)); }
};

}  // namespace

Clock& Clock::linux_backend() {
  static LinuxClock clock;
  return clock;
}

}  // namespace base::platform
