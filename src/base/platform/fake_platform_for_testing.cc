#include "base/platform/fake_platform_for_testing.h"

namespace base::platform {

bool FakeClock::performance_counter(std::int64_t* ticks) {
  if (!counter) return false;
  *ticks = *counter;
  *counter += counter_step;
  return true;
}

bool FakeClock::performance_frequency(std::int64_t* out) {
  if (!frequency) return false;
  *out = *frequency;
  return true;
}

bool FakeProcess::spawn(const std::string& program, const std::vector<std::string>& argv,
                        std::int64_t* handle) {
  spawned.push_back({program, argv});
  if (!spawn_succeeds) return false;
  *handle = static_cast<std::int64_t>(spawned.size());
  return true;
}

bool FakeProcess::wait(std::int64_t handle, std::uint32_t* out) {
  waited.push_back(handle);
  if (!exit_code) return false;
  *out = *exit_code;
  return true;
}

std::optional<std::string> FakeLocations::environment(const std::string& name) {
  auto it = env.find(name);
  if (it == env.end()) return std::nullopt;
  return it->second;
}

bool FakeLocations::make_directory(const std::string& path) {
  if (unmakeable.count(path) || existing.count(path)) return false;
  existing.insert(path);
  made.push_back(path);
  return true;
}

}  // namespace base::platform
