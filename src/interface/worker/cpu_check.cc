// The avx2 build's entry check: before anything else of the program runs, make sure the
// machine can run it (cpu_check.h), and otherwise say so and exit 1. This file is compiled for
// the baseline processor and calls nothing but the kernel, so no instruction of the newer sets
// runs before the check has passed.
#include "cpu_check.h"

#include <unistd.h>

#if defined(CORVALITH_WORKER_NEEDS_AVX2)
#include <cpuid.h>

namespace {

worker::CpuReadout read_cpu() {
  worker::CpuReadout cpu;
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  __cpuid(0, eax, ebx, ecx, edx);
  cpu.highest_basic_leaf = eax;
  if (cpu.highest_basic_leaf == 0) return cpu;
  __cpuid(1, eax, ebx, ecx, edx);
  cpu.leaf1_ecx = ecx;
  if ((ecx >> 27) & 1) {  // OSXSAVE: XGETBV may be executed
    unsigned low = 0, high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    cpu.xcr0 = (static_cast<std::uint64_t>(high) << 32) | low;
  }
  if (cpu.highest_basic_leaf >= 7) {
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    cpu.leaf7_ebx = ebx;
  }
  return cpu;
}

// Priority 101 runs before every ordinary static initialiser of the program.
__attribute__((constructor(101))) void refuse_without_avx2() {
  if (worker::avx2_build_supported(read_cpu())) return;
  static const char kMessage[] =
      "corvalith_avx2.exe: this machine does not support AVX2 and FMA; use the x86_64 build.\n";
  ssize_t written = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  (void)written;
  _exit(1);
}

}  // namespace
#endif
