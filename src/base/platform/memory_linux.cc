#include "base/platform/memory.h"

#include <unistd.h>

namespace base::platform {
namespace {

class LinuxMemory final : public Memory {
 public:
  std::uint32_t page_size() override {
    const long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::uint32_t>(size) : 0;
  }
  std::uint64_t physical_memory() override {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || size <= 0) return 0;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size);
  }
};

}  // namespace

Memory& Memory::linux_backend() {
  static LinuxMemory memory;
  return memory;
}

}  // namespace base::platform
