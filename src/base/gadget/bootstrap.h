// Start-up facts of the system model that need no model object.
#pragma once

#include <cstdint>

// The native page size in bytes, never below 4096. Image storage is aligned to it.
[[nodiscard]] std::uint32_t page_size();
// Total physical memory in bytes; 0 when unknown.
[[nodiscard]] std::uint64_t physical_memory_size();
// Logical processors of the machine, at least 1 (1 when the system cannot say).
[[nodiscard]] std::uint32_t bootstrap_thread_count();
