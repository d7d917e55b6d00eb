// Scripted CPUID and XGETBV for tests: a register table per (leaf, subleaf) and an XCR0 value.
//
//   base::platform::FakeCpuInstructions cpu;
//   cpu.set(0, 0, {7, 0, 0, 0});                 // highest basic leaf 7
//   cpu.set(1, 0, {0, 0, kOsxsave | kAvx, 0});
//   cpu.xcr0 = 0x7;
//
// Leaves not in the table answer all zeros. Installs itself for its lifetime.
#pragma once

#include <cstdint>
#include <map>
#include <utility>

#include "base/platform/cpu_instructions.h"
#include "base/platform/platform.h"

namespace base::platform {

class FakeCpuInstructions final : public CpuInstructions {
 public:
  FakeCpuInstructions() : scope_(*this) {}

  std::map<std::pair<std::uint32_t, std::uint32_t>, CpuidRegisters> leaves;
  std::uint64_t xcr0 = 0;
  int cpuid_calls = 0;
  int xgetbv_calls = 0;

  void set(std::uint32_t leaf, std::uint32_t subleaf, CpuidRegisters registers) {
    leaves[{leaf, subleaf}] = registers;
  }

  CpuidRegisters cpuid(std::uint32_t leaf, std::uint32_t subleaf) override;
  std::uint64_t xgetbv(std::uint32_t index) override;

 private:
  ScopedPlatform<CpuInstructions> scope_;
};

}  // namespace base::platform
