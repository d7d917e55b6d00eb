// Platform area: memory facts of the machine.
#pragma once

#include <cstdint>

namespace base::platform {

class Memory {
 public:
  virtual ~Memory() = default;

  // The native page size in bytes; 0 when unknown.
  [[nodiscard]] virtual std::uint32_t page_size() = 0;
  // Total physical memory in bytes; 0 when unknown.
  [[nodiscard]] virtual std::uint64_t physical_memory() = 0;

  // sysconf(_SC_PAGESIZE), sysconf(_SC_PHYS_PAGES).
  static Memory& linux_backend();
};

}  // namespace base::platform
