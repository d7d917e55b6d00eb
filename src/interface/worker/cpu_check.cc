// The avx2 build's entry check: before anything else of the program runs, make sure the
// processor has AVX2 and FMA and the operating system saves AVX state, and otherwise say so and
// exit 1. This file is compiled for the baseline processor and calls nothing but the kernel, so
// no instruction of the newer sets runs before the check has passed.
#include <unistd.h>

#if defined(CORVALITH_WORKER_NEEDS_AVX2)
#include <cpuid.h>

namespace {

bool avx2_and_fma_usable() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  __cpuid(0, eax, ebx, ecx, edx);
  const unsigned highest = eax;
  if (highest < 7) return false;
  __cpuid(1, eax, ebx, ecx, edx);
  const bool fma = (ecx >> 12) & 1;
  const bool osxsave = (ecx >> 27) & 1;
  const bool avx = (ecx >> 28) & 1;
  if (!fma || !osxsave || !avx) return false;
  unsigned xcr0_low = 0, xcr0_high = 0;
  __asm__ volatile("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
  if ((xcr0_low & 0x6) != 0x6) return false;  // SSE and AVX register state
  __cpuid_count(7, 0, eax, ebx, ecx, edx);
  return (ebx >> 5) & 1;
}

// Priority 101 runs before every ordinary static initialiser of the program.
__attribute__((constructor(101))) void refuse_without_avx2() {
  if (avx2_and_fma_usable()) return;
  static const char kMessage[] =
      "corvalith_avx2.exe: this machine does not support AVX2 and FMA; use the x86_64 build.\n";
  ssize_t written = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  (void)written;
  _exit(1);
}

}  // namespace
#endif
