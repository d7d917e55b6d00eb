#include "base/platform/cpu_instructions.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace base::platform {
namespace {

class NativeCpuInstructions final : public CpuInstructions {
 public:
  CpuidRegisters cpuid(std::uint32_t leaf, std::uint32_t subleaf) override {
    CpuidRegisters r;
#if defined(__x86_64__) || defined(__i386__)
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
#else
    (void)leaf;
    (void)subleaf;
#endif
    return r;
  }

  std::uint64_t xgetbv(std::uint32_t index) override {
#if defined(__x86_64__) || defined(__i386__)
    std::uint32_t eax = 0;
    std::uint32_t edx = 0;
    // Spelled as the instruction so that no target option (-mxsave) is needed to build it.
    __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(index));
    return (static_cast<std::uint64_t>(edx) << 32) | eax;
#else
    (void)index;
    return 0;
#endif
  }
};

}  // namespace

CpuInstructions& CpuInstructions::linux_backend() {
  static NativeCpuInstructions instructions;
  return instructions;
}

}  // namespace base::platform
