#include "base/platform/system.h"

#include <link.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstring>

namespace base::platform {
namespace {

std::uint16_t machine_code(const char* machine) {
  if (std::strcmp(machine, "x86_64") == 0) return kMachineX86_64;
  if (std::strcmp(machine, "aarch64") == 0 || std::strcmp(machine, "arm64") == 0) {
    return kMachineArm64;
  }
  if (machine[0] == 'i' && std::strcmp(machine + 2, "86") == 0) return kMachineX86;
  return kMachineUnknown;
}

struct ModuleSearch {
  const char* name;
  bool found;
};

int match_module(dl_phdr_info* info, std::size_t, void* data) {
  auto* search = static_cast<ModuleSearch*>(data);
  const char* path = info->dlpi_name;
  if (path == nullptr || *path == '\0') return 0;
  const char* slash = std::strrchr(path, '/');
  const char* file = slash ? slash + 1 : path;
  if (std::strcmp(file, search->name) == 0) {
    search->found = true;
    return 1;
  }
  return 0;
}

class LinuxSystem final : public System {
 public:
  bool host_machine_query_available() override { return true; }

  bool query_host_machines(std::uint16_t* process_machine, std::uint16_t* native_machine) override {
    utsname names;
    if (uname(&names) != 0) return false;
    *process_machine = kMachineUnknown;
    *native_machine = machine_code(names.machine);
    return true;
  }

  bool computer_name(char* buffer, std::uint32_t size) override {
    if (size == 0) return false;
    if (gethostname(buffer, size) != 0) return false;
    // gethostname may truncate without a terminator; a name that filled the buffer did not fit.
    return std::memchr(buffer, '\0', size) != nullptr;
  }

  bool module_loaded(const std::string& name) override {
    if (name.empty()) return false;
    ModuleSearch search{name.c_str(), false};
    dl_iterate_phdr(match_module, &search);
    return search.found;
  }

  std::uint32_t set_thread_execution_state(std::uint32_t) override { return 0; }

  std::uint32_t active_processor_count() override {
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<std::uint32_t>(count) : 0;
  }
};

}  // namespace

System& System::linux_backend() {
  static LinuxSystem system;
  return system;
}

}  // namespace base::platform
