// Platform area: the processor's identification instructions, CPUID and XGETBV.
//
// They are real instructions on x86-64, but every reader goes through this area so that tests can
// answer from register tables of other processors (fake_cpu_instructions_for_testing.h).
#pragma once

#include <cstdint>

namespace base::platform {

// The four results of one CPUID query, in register order.
struct CpuidRegisters {
  std::uint32_t eax = 0;
  std::uint32_t ebx = 0;
  std::uint32_t ecx = 0;
  std::uint32_t edx = 0;
};

class CpuInstructions {
 public:
  virtual ~CpuInstructions() = default;

  // Executes CPUID with EAX = leaf and ECX = subleaf. On a processor without CPUID (not x86)
  // every register is 0, which reads as "highest basic leaf 0": no features.
  [[nodiscard]] virtual CpuidRegisters cpuid(std::uint32_t leaf, std::uint32_t subleaf) = 0;
  // Executes XGETBV with ECX = index and returns EDX:EAX. Only meaningful when CPUID leaf 1
  // reports OSXSAVE; callers test that first (the instruction faults otherwise). 0 off x86.
  [[nodiscard]] virtual std::uint64_t xgetbv(std::uint32_t index) = 0;

  // The instructions themselves.
  static CpuInstructions& linux_backend();
};

}  // namespace base::platform
