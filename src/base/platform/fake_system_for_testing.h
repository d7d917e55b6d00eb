// Scripted System area for tests: every answer is a public field. Installs itself for its
// lifetime.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/platform/platform.h"
#include "base/platform/system.h"

namespace base::platform {

class FakeSystem final : public System {
 public:
  FakeSystem() : scope_(*this) {}

  struct HostMachines {
    std::uint16_t process_machine = kMachineUnknown;
    std::uint16_t native_machine = kMachineX86_64;
  };
  bool host_query_available = true;
  std::optional<HostMachines> host_machines = HostMachines{};     // nullopt: the query fails
  std::optional<std::string> name = "fake-host";                  // nullopt: cannot be read
  std::set<std::string> modules;                                  // loaded module file names
  std::uint32_t previous_execution_state = kExecutionContinuous;  // answer of each request
  std::vector<std::uint32_t> execution_requests;                  // every flags value, in order
  std::uint32_t processors = 4;

  bool host_machine_query_available() override { return host_query_available; }
  bool query_host_machines(std::uint16_t* process_machine, std::uint16_t* native_machine) override;
  bool computer_name(char* buffer, std::uint32_t size) override;
  bool module_loaded(const std::string& module) override { return modules.count(module) != 0; }
  std::uint32_t set_thread_execution_state(std::uint32_t flags) override;
  std::uint32_t active_processor_count() override { return processors; }

 private:
  ScopedPlatform<System> scope_;
};

}  // namespace base::platform
