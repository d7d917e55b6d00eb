#include "base/platform/fake_cpu_instructions_for_testing.h"

namespace base::platform {

CpuidRegisters FakeCpuInstructions::cpuid(std::uint32_t leaf, std::uint32_t subleaf) {
  ++cpuid_calls;
  auto it = leaves.find({leaf, subleaf});
  return it == leaves.end() ? CpuidRegisters{} : it->second;
}

std::uint64_t FakeCpuInstructions::xgetbv(std::uint32_t index) {
  ++xgetbv_calls;
  return index == 0 ? xcr0 : 0;
}

}  // namespace base::platform
