// Scripted fake backends for the platform areas, for tests. Each fake answers from public
// fields that a test fills in, and installs itself for the fake's lifetime:
//
//   base::platform::FakeLocations locations;
//   locations.executable = "/opt/suite/corvalith";
//   ... code under test sees the fake ...
//
// Fakes for further areas live beside their area as fake_<area>_for_testing.h.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/platform/clock.h"
#include "base/platform/locations.h"
#include "base/platform/platform.h"
#include "base/platform/process.h"

namespace base::platform {

class FakeClock final : public Clock {
 public:
  FakeClock() : scope_(*this) {}

  std::optional<std::int64_t> counter = 0;  // nullopt: the counter cannot be read
  std::int64_t counter_step = 0;            // added to counter after each read
  std::optional<std::int64_t> frequency = 1'000'000;
  std::uint32_t tick_count = 0;
  std::tm time{};
  std::int64_t pid = 0;
  std::int64_t tid = 0;

  bool performance_counter(std::int64_t* ticks) override;
  bool performance_frequency(std::int64_t* frequency) override;
  std::uint32_t tick_count_ms() override { return tick_count; }
  std::tm local_time() override { return time; }
  std::int64_t process_id() override { return pid; }
  std::int64_t thread_id() override { return tid; }

 private:
  ScopedPlatform<Clock> scope_;
};

class FakeProcess final : public ProcessApi {
 public:
  FakeProcess() : scope_(*this) {}

  struct Spawned {
    std::string program;
    std::vector<std::string> argv;
  };
  bool spawn_succeeds = true;
  std::optional<std::uint32_t> exit_code = 0;  // nullopt: the wait fails
  std::vector<Spawned> spawned;                // every spawn call, in order
  std::vector<std::int64_t> waited;            // every handle waited for

  bool spawn(const std::string& program, const std::vector<std::string>& argv,
             std::int64_t* handle) override;
  bool wait(std::int64_t handle, std::uint32_t* exit_code) override;

 private:
  ScopedPlatform<ProcessApi> scope_;
};

class FakeLocations final : public Locations {
 public:
  FakeLocations() : scope_(*this) {}

  std::string executable;
  std::string profile;
  std::string temp;
  std::map<std::string, std::string> env;
  std::set<std::string> existing;    // paths that exist; make_directory adds to it
  std::set<std::string> unmakeable;  // paths where make_directory fails
  std::vector<std::string> made;     // every folder created, in order

  std::string executable_path() override { return executable; }
  std::string user_profile() override { return profile; }
  std::string temp_folder() override { return temp; }
  std::optional<std::string> environment(const std::string& name) override;
  bool file_exists(const std::string& path) override { return existing.count(path) != 0; }
  bool make_directory(const std::string& path) override;

 private:
  ScopedPlatform<Locations> scope_;
};

}  // namespace base::platform
