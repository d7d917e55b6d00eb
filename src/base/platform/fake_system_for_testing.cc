#include "base/platform/fake_system_for_testing.h"

#include <cstring>

namespace base::platform {

bool FakeSystem::query_host_machines(std::uint16_t* process_machine,
                                     std::uint16_t* native_machine) {
  if (!host_query_available || !host_machines) return false;
  *process_machine = host_machines->process_machine;
  *native_machine = host_machines->native_machine;
  return true;
}

bool FakeSystem::computer_name(char* buffer, std::uint32_t size) {
  if (!name || name->size() + 1 > size) return false;
  std::memcpy(buffer, name->c_str(), name->size() + 1);
  return true;
}

std::uint32_t FakeSystem::set_thread_execution_state(std::uint32_t flags) {
  execution_requests.push_back(flags);
  return previous_execution_state;
}

}  // namespace base::platform
