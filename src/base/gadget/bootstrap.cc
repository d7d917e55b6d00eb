#include "base/gadget/bootstrap.h"

#include "base/platform/memory.h"
#include "base/platform/platform.h"
#include "base/platform/system.h"

std::uint32_t page_size() {
  const std::uint32_t size = base::platform::get<base::platform::Memory>().page_size();
  return size <= 4096 ? 4096 : size;
}

std::uint64_t physical_memory_size() {
  return base::platform::get<base::platform::Memory>().physical_memory();
}

std::uint32_t bootstrap_thread_count() {
  const std::uint32_t count =
      base::platform::get<base::platform::System>().active_processor_count();
  return count == 0 ? 1 : count;
}
